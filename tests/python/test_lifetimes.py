"""Who keeps whom alive: views keep their owners, copies do not, and nothing leaks."""

import gc
import sys
import threading
import weakref

import numpy as np
import pytest

import _se2_planner as se2
import veltrax_se2 as vx
from veltrax_se2.planning import copy_config


# (owner factory, view getter, a field of the view) for every attribute that hands out a view.
VIEWS = [
    pytest.param(se2.PlanRequest, lambda r: r.start, "x", id="request.start"),
    pytest.param(se2.PlannerResult, lambda r: r.diagnostics, "path_length", id="result.diagnostics"),
    pytest.param(lambda: se2.KinematicStateSpace(1.0, True).interpolate_with_directions(
        se2.Pose2D(0, 0, 0), se2.Pose2D(2, 1, 0.5), 0.5)[1], lambda s: s.pose, "y", id="sample.pose"),
]


@pytest.mark.parametrize(("make_owner", "get_view", "field"), VIEWS)
def test_view_outlives_its_owner_then_releases_it(make_owner, get_view, field):
    owner = make_owner()
    watch = weakref.ref(owner)
    references = sys.getrefcount(owner)
    view = get_view(owner)
    assert sys.getrefcount(owner) == references + 1  # the view holds exactly one reference
    setattr(view, field, 2.5)
    assert getattr(get_view(owner), field) == 2.5  # a view, not a copy
    del owner
    gc.collect()
    assert watch() is not None
    del view
    gc.collect()
    assert watch() is None


def test_plan_keeps_its_arguments_alive_without_the_interpreter_lock():
    # The goal sits in a box whose one-cell door the robot cannot pass: the search runs until cancelled.
    cells = np.zeros((300, 300), dtype=np.uint8)
    cells[200, 200:261] = cells[260, 200:261] = cells[200:261, 200] = cells[200:261, 260] = 254
    cells[200, 230] = 0
    planner = se2.HybridAStar(cells, 0.05, 0.0, 0.0)
    request = vx.make_request((1.0, 1.0, 0.0), (11.5, 11.5, 0.0), 0.3)
    config = copy_config(max_expanded_nodes=100_000_000, max_planning_time_seconds=120.0,
                         terminal_check_interval=16)
    token = se2.CancellationToken()
    watches = [weakref.ref(o) for o in (planner, request, config, token)]
    results = []
    started = threading.Event()

    def work(planner, request, config, token, report):
        started.set()
        report(planner.plan(request, config, token))

    worker = threading.Thread(target=work, args=(planner, request, config, token, results.append))
    worker.start()
    started.wait()
    canceller = token.cancel
    del planner, request, config, token  # the call's own references must carry it
    gc.collect()
    canceller()
    worker.join()
    assert (results[0].status, results[0].message) == (se2.PlannerStatus.CANCELLED, "planning cancelled")
    del worker, canceller, results
    gc.collect()
    assert all(watch() is None for watch in watches)


def _set_whole(planner, walled):
    new_map = se2.Costmap(walled, 0.05, 0.0, 0.0)
    planner.set_costmap(new_map)  # same map_revision: the cached heuristic must not survive
    del new_map


def _update_window(planner, walled):
    window = walled[:45, 38:43].copy()  # row 0 of the window is map row 0
    planner.update_costmap(38, 0, window)
    window[:] = 0  # the planner took a copy


@pytest.mark.parametrize("change", [_set_whole, _update_window], ids=["set_costmap", "update_costmap"])
@pytest.mark.parametrize("lazy", [False, True], ids=["cached", "lazy"])
def test_map_change_takes_a_copy_and_plans_as_a_new_planner(change, lazy):
    free = np.zeros((60, 80), dtype=np.uint8)
    walled = free.copy()
    walled[:45, 40] = se2.LETHAL_COST
    request = vx.make_request((1.0, 1.0, 0.0), (3.0, 1.0, 0.0))
    config = se2.recommended_config(0.05, request.footprint)
    config.lazy_obstacle_heuristic = lazy
    planner = se2.HybridAStar(se2.Costmap(free, 0.05, 0.0, 0.0))
    straight = planner.plan(request, config).path_array
    change(planner, walled)
    gc.collect()
    around = planner.plan(request, config).path_array
    config.lazy_obstacle_heuristic = False
    expected = se2.HybridAStar(se2.Costmap(walled, 0.05, 0.0, 0.0)).plan(request, config).path_array
    assert len(around) > len(straight)
    assert np.array_equal(around, expected)


@pytest.mark.parametrize(("x0", "y0", "cells", "error", "message"), [
    (79, 0, np.zeros((1, 2), np.uint8), IndexError, "update window is outside the costmap"),
    (0, 59, np.zeros((2, 1), np.uint8), IndexError, "update window is outside the costmap"),
    (0, 0, np.zeros((2, 2), np.int32), TypeError, "costmap cells dtype must be uint8"),
    (0, 0, np.zeros(4, np.uint8), ValueError, "costmap cells must be a 2D array"),
])
def test_update_costmap_refuses_and_changes_nothing(x0, y0, cells, error, message):
    planner = se2.HybridAStar(se2.Costmap(np.zeros((60, 80), dtype=np.uint8), 0.05, 0.0, 0.0))
    request = vx.make_request((3.0, 2.9, 0.0), (1.0, 2.9, 0.0))  # along the top row
    config = se2.recommended_config(0.05, request.footprint)
    before = planner.plan(request, config).path_array
    with pytest.raises(error, match=f"^{message}$"):
        planner.update_costmap(x0, y0, cells + 254 if cells.dtype == np.uint8 else cells)
    assert np.array_equal(planner.plan(request, config).path_array, before)


def test_an_inflated_window_keeps_the_planner_equal_to_one_on_the_whole_inflation():
    raw = np.zeros((60, 80), dtype=np.uint8)
    raw[:45, 40] = se2.LETHAL_COST
    inflation = (0.3, 0.25, 5.0)
    planner = se2.HybridAStar(se2.inflate_costmap(se2.Costmap(raw, 0.05, 0.0, 0.0), *inflation))
    raw[47:50, 40] = se2.LETHAL_COST  # the gap above the wall narrows
    changed = se2.Costmap(raw, 0.05, 0.0, 0.0)
    # The changed cells grown by the inflation radius (6 cells) and one more.
    window = se2.inflate_costmap_window(changed, 33, 40, 15, 17, *inflation)
    assert window.shape == (17, 15) and window[7, 7] == se2.LETHAL_COST  # cell (40, 47)
    planner.update_costmap(33, 40, window)
    request = vx.make_request((1.0, 1.0, 0.0), (3.0, 1.0, 0.0))
    config = se2.recommended_config(0.05, request.footprint)
    expected = se2.HybridAStar(se2.inflate_costmap(changed, *inflation)).plan(request, config)
    assert np.array_equal(planner.plan(request, config).path_array, expected.path_array)
    with pytest.raises(IndexError, match="^inflation window is outside the costmap$"):
        se2.inflate_costmap_window(changed, 70, 0, 11, 1, *inflation)
