import math
import threading

import numpy as np
import pytest

import _se2_planner as se2

RES = 0.05


def draw(width_m, height_m, cost):
    """A uint8 cell array (row 0 at y = 0) filled by cost(x, y) at the cell centres."""
    w, h = round(width_m / RES), round(height_m / RES)
    xs = (np.arange(w) + 0.5) * RES
    ys = (np.arange(h) + 0.5) * RES
    gx, gy = np.meshgrid(xs, ys)
    return np.ascontiguousarray(cost(gx, gy).astype(np.uint8))


def box(gx, gy, x0, y0, x1, y1):
    return (gx >= x0) & (gx <= x1) & (gy >= y0) & (gy <= y1)


def open_field():
    return draw(6, 6, lambda gx, gy: np.zeros_like(gx))


def wall_with_gap():
    return draw(8, 6, lambda gx, gy: np.where(
        box(gx, gy, 3.9, 0, 4.1, 2.5) | box(gx, gy, 3.9, 3.5, 4.1, 6), 254, 0))


def request(start, goal, revisions=(0, 0, 0)):
    r = se2.PlanRequest()
    r.start = se2.Pose2D(x=start[0], y=start[1], yaw=start[2])
    r.goal = se2.Pose2D(x=goal[0], y=goal[1], yaw=goal[2])
    r.map_revision, r.goal_revision, r.robot_revision = revisions
    return r


def check_valid(result, req):
    """The path as list and as arrays: the same numbers, the documented dtypes and shapes."""
    assert result.status == se2.PlannerStatus.SUCCESS, result.message
    path = result.path_array
    assert path.dtype == np.float64 and path.shape == (len(result.path), 3)
    assert tuple(path[0]) == (req.start.x, req.start.y, req.start.yaw)
    assert np.array_equal(path, [(p.x, p.y, p.yaw) for p in result.path])
    directions = result.directions_array
    assert directions.dtype == np.int8 and directions.shape == (len(result.path),)
    assert directions.tolist() == [int(d) for d in result.directions]


SCENARIOS = {"wall_with_gap": (wall_with_gap, (1.5, 1.5, 0), (6.5, 4.5, 0))}


@pytest.mark.parametrize("name", sorted(SCENARIOS))
def test_scenario_paths_are_valid_and_repeatable(name):
    make, start, goal = SCENARIOS[name]
    cells = make()
    planner = se2.HybridAStar(cells, RES, 0.0, 0.0)
    config = se2.PlannerConfig()
    req = request(start, goal, (3, 4, 5))
    first = planner.plan(req, config)
    check_valid(first, req)
    assert first.matches_revisions(3, 4, 5)
    second = planner.plan(req, config, None)
    assert np.array_equal(second.path_array, first.path_array)
    assert second.directions == first.directions


def test_both_constructors_plan_alike_and_keep_their_own_copy():
    cells = wall_with_gap()
    from_array = se2.HybridAStar(cells, RES, 0.0, 0.0)
    from_costmap = se2.HybridAStar(se2.Costmap(cells, RES, 0.0, 0.0))
    cells[:] = 254  # later changes must not reach either planner
    req = request((1.5, 1.5, 0), (6.5, 4.5, 0))
    a = from_array.plan(req, se2.PlannerConfig())
    b = from_costmap.plan(request=req, config=se2.PlannerConfig(), cancellation=None)
    assert a.status == b.status == se2.PlannerStatus.SUCCESS
    assert np.array_equal(a.path_array, b.path_array)


@pytest.mark.parametrize("field,value,message", [
    ("cost_penalty", -1.0, "cost_penalty must be finite and non-negative"),
])
def test_invalid_config_is_a_status_not_an_exception(field, value, message):
    planner = se2.HybridAStar(open_field(), RES, 0.0, 0.0)
    config = se2.PlannerConfig()
    setattr(config, field, value)
    result = planner.plan(request((1, 1, 0), (2, 1, 0)), config)
    assert result.status == se2.PlannerStatus.INVALID_REQUEST
    assert result.message == message
    assert config.validate() == [message]
    assert result.path == [] and result.path_array.shape == (0, 3)


def test_two_planners_in_parallel_threads_match_serial_results():
    cells = wall_with_gap()
    reqs = [request((1.5, 1.5, 0), (6.5, 4.5, 0)), request((1.0, 4.5, 0), (7.0, 1.0, 0))]
    config = se2.PlannerConfig()
    serial = [se2.HybridAStar(cells, RES, 0.0, 0.0).plan(r, config) for r in reqs]
    planners = [se2.HybridAStar(cells, RES, 0.0, 0.0) for _ in reqs]
    results = [None, None]

    def run(i):
        results[i] = planners[i].plan(reqs[i], config)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for got, expected in zip(results, serial):
        assert got.status == se2.PlannerStatus.SUCCESS
        assert np.array_equal(got.path_array, expected.path_array)


def test_one_planner_from_two_threads_serialises():
    planner = se2.HybridAStar(wall_with_gap(), RES, 0.0, 0.0)
    req = request((1.5, 1.5, 0), (6.5, 4.5, 0))
    config = se2.PlannerConfig()
    results = [None, None]

    def run(i):
        results[i] = planner.plan(req, config)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    # Serialised calls: exactly one built the heuristic, the other found it cached.
    assert sorted(r.diagnostics.obstacle_heuristic_cache_hit for r in results) == [False, True]
    assert np.array_equal(results[0].path_array, results[1].path_array)
    assert results[0].status == se2.PlannerStatus.SUCCESS


def test_default_result_arrays():
    result = se2.PlannerResult()
    assert result.path_array.shape == (0, 3) and result.path_array.dtype == np.float64
    assert result.directions_array.shape == (0,) and result.directions_array.dtype == np.int8


@pytest.mark.parametrize("x,y", [(3, 0), (10 ** 6, 10 ** 6)])
def test_obstacle_heuristic_index_errors(x, y):
    costmap = se2.Costmap(np.zeros((1, 3), np.uint8), 1.0, 0.0, 0.0)
    with pytest.raises(IndexError, match="^heuristic goal outside map$"):
        se2.ObstacleHeuristic(costmap, se2.GridIndex(x, y), False, 2.0)
    h = se2.ObstacleHeuristic(costmap, se2.GridIndex(0, 0), False, 2.0)
    with pytest.raises(IndexError, match="^heuristic index outside map$"):
        h.distance(x, y)


@pytest.mark.parametrize("path,spacing,message", [
    ([], 0.0, "path spacing must be positive"),
    ([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, 0)], 1e-300,
     "path spacing is too small for the path length"),
    ([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, math.nan)], 0.1, "yaw must be finite"),
])
def test_resample_errors(path, spacing, message):
    with pytest.raises(ValueError, match="^" + message + "$"):
        se2.PathSmoother.resample(path, spacing)


def test_smooth_static_method():
    costmap = se2.Costmap(np.zeros((60, 60), np.uint8), 0.1, -2.0, -2.0)
    checker = se2.CollisionChecker(costmap, False)
    config = se2.PlannerConfig()
    config.minimum_turning_radius = 0.01
    config.smoother_max_iterations = 1
    vee = [se2.Pose2D(0, 0, 0), se2.Pose2D(1, 1, 0.7), se2.Pose2D(2, 0, 0)]
    out = se2.PathSmoother.smooth(vee, checker, se2.CircleFootprint(0.05), config)
    assert (out[1].x, out[1].y, out[1].yaw) == pytest.approx((1.0, 0.4, 0.0))
    assert (out[0].x, out[2].x) == (0.0, 2.0)
