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

    def work(planner, request, config, token):
        started.set()
        results.append(planner.plan(request, config, token))

    worker = threading.Thread(target=work, args=(planner, request, config, token))
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
