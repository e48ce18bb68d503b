import math
import threading
import time

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


def parking_slot():
    return draw(6, 5, lambda gx, gy: np.where(
        box(gx, gy, 2.5, 0.2, 2.6, 1.8) | box(gx, gy, 3.4, 0.2, 3.5, 1.8)
        | box(gx, gy, 2.5, 0.2, 3.5, 0.3), 254, 0))


def corridor():
    def cost(gx, gy):
        inside = (gx > 1.5) & (gx < 6.5)
        wall = inside & ((gy < 1.6) | (gy > 2.4))
        graded = inside & (np.abs(gy - 2.0) > 0.3)
        return np.where(wall, 254, np.where(graded, 120, 0))
    return draw(8, 4, cost)


def blocked_gap(width_m=3.0, height_m=1.5):
    """A wall with a 0.2 m gap: connected for the grid heuristic, closed to a 0.5 m robot."""
    mid_x, mid_y = width_m / 2, height_m / 2
    return draw(width_m, height_m, lambda gx, gy: np.where(
        box(gx, gy, mid_x - 0.1, 0, mid_x + 0.1, mid_y - 0.1)
        | box(gx, gy, mid_x - 0.1, mid_y + 0.1, mid_x + 0.1, height_m), 254, 0))


def request(start, goal, revisions=(0, 0, 0)):
    r = se2.PlanRequest()
    r.start = se2.Pose2D(x=start[0], y=start[1], yaw=start[2])
    r.goal = se2.Pose2D(x=goal[0], y=goal[1], yaw=goal[2])
    r.map_revision, r.goal_revision, r.robot_revision = revisions
    return r


def wrap(a):
    return (a + math.pi) % (2 * math.pi) - math.pi


def check_valid(result, req, config, cells):
    assert result.status == se2.PlannerStatus.SUCCESS, result.message
    assert result.message == "path found"
    path = result.path_array
    assert path.dtype == np.float64 and path.shape == (len(result.path), 3)
    assert tuple(path[0]) == (req.start.x, req.start.y, req.start.yaw)
    assert math.hypot(path[-1, 0] - req.goal.x, path[-1, 1] - req.goal.y) <= config.position_tolerance + 1e-9
    assert abs(wrap(path[-1, 2] - req.goal.yaw)) <= config.yaw_tolerance + 1e-9
    steps = np.hypot(np.diff(path[:, 0]), np.diff(path[:, 1]))
    assert np.all(steps <= config.path_output_spacing * (1 + 1e-9))
    assert result.diagnostics.path_length == pytest.approx(steps.sum(), abs=1e-9)
    assert np.array_equal(path[:, 2], [p.yaw for p in result.path])
    directions = result.directions_array
    assert directions.dtype == np.int8 and directions.shape == (len(result.path),)
    assert directions.tolist() == [int(d) for d in result.directions]
    checker = se2.CollisionChecker(se2.Costmap(cells, RES, 0.0, 0.0), config.allow_unknown)
    assert not checker.validate_path(result.path, req.footprint, config.collision_check_step).collision
    if not config.allow_in_place_rotation:
        assert se2.PathSmoother.respects_turning_radius(result.path, config.minimum_turning_radius)
    rotations = sum(1 for d in result.directions[:-1] if int(d) == 0)
    assert result.diagnostics.in_place_rotation_count == rotations


def in_place(config):
    config.allow_in_place_rotation = True
    config.minimum_turning_radius = 0.0


def forward_only(config):
    config.allow_reverse = False


SCENARIOS = {
    "open_field": (open_field, (1, 1, 0), (4.5, 4, math.pi / 2), None),
    "wall_with_gap": (wall_with_gap, (1.5, 1.5, 0), (6.5, 4.5, 0), None),
    "parking_reverse": (parking_slot, (1.0, 3.5, 0), (3.0, 0.9, math.pi / 2), None),
    "narrow_corridor": (corridor, (0.7, 2.0, 0), (7.3, 2.0, 0), None),
    "in_place_rotation": (wall_with_gap, (1.5, 1.5, 0), (6.5, 4.5, -math.pi / 2), in_place),
    "forward_only": (wall_with_gap, (1.5, 1.5, 0), (6.5, 4.5, math.pi), forward_only),
}


@pytest.mark.parametrize("name", sorted(SCENARIOS))
def test_scenario_paths_are_valid_and_repeatable(name):
    make, start, goal, tune = SCENARIOS[name]
    cells = make()
    planner = se2.HybridAStar(cells, RES, 0.0, 0.0)
    config = se2.PlannerConfig()
    if tune:
        tune(config)
    req = request(start, goal, (3, 4, 5))
    first = planner.plan(req, config)
    check_valid(first, req, config, cells)
    assert first.matches_revisions(3, 4, 5)
    second = planner.plan(req, config, None)
    assert np.array_equal(second.path_array, first.path_array)
    assert second.directions == first.directions
    if name == "parking_reverse":
        assert first.diagnostics.reverse_count >= 1
        assert -1 in first.directions_array
    if name == "forward_only":
        assert first.diagnostics.reverse_count == 0
        assert -1 not in first.directions_array
    if name == "in_place_rotation":
        assert 0 in first.directions_array
        assert first.diagnostics.analytic_expansion_time_ms == 0.0


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


def test_constructor_refuses_non_uint8_cells():
    with pytest.raises(TypeError, match="costmap cells dtype must be uint8"):
        se2.HybridAStar(np.zeros((4, 4), dtype=np.float64), RES, 0.0, 0.0)


def test_plan_argument_types():
    planner = se2.HybridAStar(open_field(), RES, 0.0, 0.0)
    with pytest.raises(TypeError):
        planner.plan(se2.PlannerConfig(), se2.PlanRequest())
    with pytest.raises(TypeError):
        planner.plan(se2.PlanRequest(), se2.PlannerConfig(), "token")


@pytest.mark.parametrize("field,value,message", [
    ("angle_bins", 4, "angle_bins must be at least 8"),
    ("path_output_spacing", 0.0, "path_output_spacing must be finite and positive"),
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


@pytest.mark.parametrize("start,goal,status,message", [
    ((-1, 1, 0), (2, 1, 0), se2.PlannerStatus.START_OUT_OF_BOUNDS, "start is outside costmap"),
    ((1, 1, 0), (2, 9, 0), se2.PlannerStatus.GOAL_OUT_OF_BOUNDS, "goal is outside costmap"),
    ((1, 1, math.nan), (2, 1, 0), se2.PlannerStatus.INVALID_REQUEST,
     "start and goal poses must be finite"),
    ((4.0, 1.0, 0), (2, 1, 0), se2.PlannerStatus.START_IN_COLLISION,
     "start footprint is in collision"),
    ((1, 1, 0), (4.0, 4.5, 0), se2.PlannerStatus.GOAL_IN_COLLISION,
     "goal footprint is in collision"),
])
def test_request_statuses(start, goal, status, message):
    planner = se2.HybridAStar(wall_with_gap(), RES, 0.0, 0.0)
    result = planner.plan(request(start, goal), se2.PlannerConfig())
    assert result.status == status
    assert result.message == message
    assert result.diagnostics.expanded_nodes == 0


def test_search_statuses():
    planner = se2.HybridAStar(blocked_gap(), RES, 0.0, 0.0)
    config = se2.PlannerConfig()
    exhausted = planner.plan(request((0.6, 0.75, 0), (2.4, 0.75, 0)), config)
    assert (exhausted.status, exhausted.message) == (se2.PlannerStatus.NO_PATH, "open set exhausted")
    config.max_expanded_nodes = 5
    budget = planner.plan(request((0.6, 0.75, 0), (2.4, 0.75, 0)), config)
    assert budget.status == se2.PlannerStatus.MAX_NODES_EXCEEDED
    assert budget.message == "maximum expanded nodes exceeded"
    assert budget.diagnostics.expanded_nodes == 5
    config.max_expanded_nodes = 1000000
    config.terminal_check_interval = 1
    config.max_planning_time_seconds = 1e-12
    timeout = planner.plan(request((0.6, 0.75, 0), (2.4, 0.75, 0)), config)
    assert (timeout.status, timeout.message) == (se2.PlannerStatus.TIMEOUT, "planning timed out")
    assert timeout.diagnostics.expanded_nodes == 1


def test_disconnected_goal():
    cells = open_field()
    cells[50:90, 50:90] = 254
    cells[52:88, 52:88] = 0
    planner = se2.HybridAStar(cells, RES, 0.0, 0.0)
    result = planner.plan(request((1, 1, 0), (3.5, 3.5, 0)), se2.PlannerConfig())
    assert result.status == se2.PlannerStatus.NO_PATH
    assert result.message == "goal is disconnected in obstacle heuristic"
    assert result.diagnostics.expanded_nodes == 0


def test_cancelled_before_the_call_then_reset():
    planner = se2.HybridAStar(open_field(), RES, 0.0, 0.0)
    token = se2.CancellationToken()
    token.cancel()
    req = request((1, 1, 0), (2, 1, 0))
    result = planner.plan(req, se2.PlannerConfig(), token)
    assert (result.status, result.message) == (se2.PlannerStatus.CANCELLED, "planning cancelled")
    assert result.diagnostics.obstacle_heuristic_time_ms == 0.0
    token.reset()
    assert planner.plan(req, se2.PlannerConfig(), token).status == se2.PlannerStatus.SUCCESS


def long_search():
    """A search that explores a whole 10 m x 10 m room before giving up: seconds of work."""
    planner = se2.HybridAStar(blocked_gap(20.0, 10.0), RES, 0.0, 0.0)
    config = se2.PlannerConfig()
    config.max_planning_time_seconds = 600.0
    config.max_expanded_nodes = 10 ** 12
    config.terminal_check_interval = 16
    return planner, config, request((5.0, 5.0, 0), (15.0, 5.0, 0))


def test_cancel_from_another_thread_ends_a_long_plan():
    planner, config, req = long_search()
    token = se2.CancellationToken()
    outcome = {}
    started = threading.Event()

    def run():
        started.set()
        outcome["result"] = planner.plan(req, config, token)

    worker = threading.Thread(target=run)
    worker.start()
    started.wait()
    # The whole search takes well over 20 s. This thread runs while the other one plans (the
    # interpreter lock is released), so it can cancel the call long before that.
    time.sleep(0.5)
    token.cancel()
    worker.join(timeout=120)
    assert not worker.is_alive()
    assert token.cancelled
    result = outcome["result"]
    assert result.status == se2.PlannerStatus.CANCELLED
    assert result.message == "planning cancelled"
    assert result.diagnostics.expanded_nodes > 0
    assert result.diagnostics.expanded_nodes % config.terminal_check_interval == 0
    token.reset()
    small = planner.plan(request((5.0, 5.0, 0), (6.0, 5.0, 0)), se2.PlannerConfig(), token)
    assert small.status == se2.PlannerStatus.SUCCESS


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


# ---- ObstacleHeuristic

def test_obstacle_heuristic_values():
    costmap = se2.Costmap(np.array([[0, 126, 0]], dtype=np.uint8), 0.5, 0.0, 0.0)
    h = se2.ObstacleHeuristic(costmap=costmap, goal=se2.GridIndex(0, 0), allow_unknown=False,
                              cost_penalty=2.0)
    assert [h.distance(x, 0) for x in range(3)] == [0.0, 1.0, 1.5]
    diagonal = se2.ObstacleHeuristic(se2.Costmap(np.zeros((2, 2), np.uint8), 1.0, 0.0, 0.0),
                                     se2.GridIndex(0, 0), False, 2.0)
    assert diagonal.distance(1, 1) == 1.4142135623730951
    walled = se2.ObstacleHeuristic(se2.Costmap(np.array([[0, 255, 0]], np.uint8), 1.0, 0.0, 0.0),
                                   se2.GridIndex(0, 0), False, 2.0)
    assert walled.distance(2, 0) == math.inf


@pytest.mark.parametrize("x,y", [(3, 0), (0, 1), (10 ** 6, 10 ** 6)])
def test_obstacle_heuristic_index_errors(x, y):
    costmap = se2.Costmap(np.zeros((1, 3), np.uint8), 1.0, 0.0, 0.0)
    with pytest.raises(IndexError, match="^heuristic goal outside map$"):
        se2.ObstacleHeuristic(costmap, se2.GridIndex(x, y), False, 2.0)
    h = se2.ObstacleHeuristic(costmap, se2.GridIndex(0, 0), False, 2.0)
    with pytest.raises(IndexError, match="^heuristic index outside map$"):
        h.distance(x, y)


@pytest.mark.parametrize("penalty", [-0.5, math.nan, math.inf])
def test_obstacle_heuristic_refuses_bad_penalty(penalty):
    costmap = se2.Costmap(np.zeros((2, 2), np.uint8), 1.0, 0.0, 0.0)
    with pytest.raises(ValueError, match="^cost_penalty must be finite and non-negative$"):
        se2.ObstacleHeuristic(costmap, se2.GridIndex(0, 0), False, penalty)


# ---- PathSmoother

def test_path_smoother_has_no_constructor():
    with pytest.raises(TypeError):
        se2.PathSmoother()


def test_resample_on_the_class():
    out = se2.PathSmoother.resample([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, math.pi / 2)], 0.3)
    assert [(p.x, p.y) for p in out] == pytest.approx([(0.25 * j, 0.0) for j in range(5)])
    assert [p.yaw for p in out] == pytest.approx([math.pi / 8 * j for j in range(5)])


@pytest.mark.parametrize("path,spacing,message", [
    ([], 0.0, "path spacing must be positive"),
    ([se2.Pose2D(0, 0, 0)], math.nan, "path spacing must be positive"),
    ([se2.Pose2D(math.inf, 0, 0)], 0.1, "path positions must be finite"),
    ([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, 0)], 1e-300,
     "path spacing is too small for the path length"),
    ([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, math.nan)], 0.1, "yaw must be finite"),
])
def test_resample_errors(path, spacing, message):
    with pytest.raises(ValueError, match="^" + message + "$"):
        se2.PathSmoother.resample(path, spacing)


@pytest.mark.parametrize("radius,expected", [(0.7, True), (0.72, False)])
def test_respects_turning_radius(radius, expected):
    path = [se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, math.pi / 2)]
    assert se2.PathSmoother.respects_turning_radius(path, radius) is expected


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
