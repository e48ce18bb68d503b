import math
import threading

import numpy as np
import pytest

import _se2_planner as m

INF = float("inf")
NAN = float("nan")

DEFAULTS = [
    ("minimum_turning_radius", 0.4),
    ("allow_in_place_rotation", False),
    ("allow_reverse", True),
    ("angle_bins", 72),
    ("position_tolerance", 0.1),
    ("yaw_tolerance", 0.1),
    ("collision_check_step", 0.025),
    ("path_output_spacing", 0.05),
    ("cost_penalty", 2.0),
    ("non_straight_penalty", 1.05),
    ("reverse_penalty", 2.0),
    ("direction_switch_penalty", 2.0),
    ("steering_change_penalty", 0.05),
    ("retrospective_penalty", 0.0),
    ("max_expanded_nodes", 1000000),
    ("max_planning_time_seconds", 5.0),
    ("terminal_check_interval", 256),
    ("allow_unknown", False),
    ("cache_obstacle_heuristic", True),
    ("analytic_expansion_ratio", 3.5),
    ("analytic_expansion_max_length", 3.0),
    ("analytic_expansion_max_cost", 200),
    ("smooth_path", True),
    ("smoother_max_iterations", 1000),
    ("smoother_weight_data", 0.2),
    ("smoother_weight_smooth", 0.3),
    ("smoother_tolerance", 1e-10),
]


# --- PlannerConfig ---------------------------------------------------------------------------


def test_config_has_the_27_fields_with_their_defaults():
    config = m.PlannerConfig()
    assert len(DEFAULTS) == 27
    for name, value in DEFAULTS:
        got = getattr(config, name)
        assert got == value and type(got) is type(value), name
    assert config.validate() == []


@pytest.mark.parametrize(
    "field, value",
    [
        ("max_expanded_nodes", -1),
        ("max_expanded_nodes", 2**64),
        ("analytic_expansion_max_cost", 256),
        ("analytic_expansion_max_cost", -1),
        ("angle_bins", 2**32),
        ("angle_bins", -8),
        ("terminal_check_interval", 2**32),
        ("smoother_max_iterations", -1),
        ("angle_bins", 72.0),
        ("minimum_turning_radius", "0.4"),
    ],
)
def test_assignment_out_of_range_or_of_the_wrong_type_raises_type_error(field, value):
    config = m.PlannerConfig()
    before = getattr(config, field)
    with pytest.raises(TypeError):
        setattr(config, field, value)
    assert getattr(config, field) == before


@pytest.mark.parametrize(
    "field, value",
    [
        ("max_expanded_nodes", 2**64 - 1),
        ("analytic_expansion_max_cost", 255),
        ("analytic_expansion_max_cost", 0),
        ("angle_bins", 2**32 - 1),
        ("minimum_turning_radius", 3),
        ("allow_reverse", np.bool_(False)),
        ("smooth_path", 0),
    ],
)
def test_assignment_within_range_is_stored(field, value):
    config = m.PlannerConfig()
    setattr(config, field, value)
    assert getattr(config, field) == value


def test_nothing_is_validated_on_assignment():
    config = m.PlannerConfig()
    config.angle_bins = 4
    config.yaw_tolerance = NAN
    assert config.validate() == [
        "angle_bins must be at least 8",
        "yaw_tolerance must be finite and non-negative",
    ]


@pytest.mark.parametrize("value", [NAN, INF, -INF, -1.0])
def test_non_negative_check(value):
    config = m.PlannerConfig()
    config.yaw_tolerance = value
    assert config.validate() == ["yaw_tolerance must be finite and non-negative"]


def test_negative_zero_passes_the_non_negative_check():
    config = m.PlannerConfig()
    config.yaw_tolerance = -0.0
    assert config.validate() == []


def test_radius_is_checked_only_without_in_place_rotation():
    config = m.PlannerConfig()
    config.minimum_turning_radius = 0.0
    assert config.validate()[0] == "minimum_turning_radius must be finite and positive"
    config.allow_in_place_rotation = True
    assert config.validate() == []


@pytest.mark.parametrize("bins, ok", [(7, False), (8, True)])
def test_angle_bins_boundary(bins, ok):
    config = m.PlannerConfig()
    config.angle_bins = bins
    assert config.validate() == ([] if ok else ["angle_bins must be at least 8"])


def test_several_faults_in_order():
    config = m.PlannerConfig()
    config.smoother_tolerance = 0.0
    config.max_expanded_nodes = 0
    config.collision_check_step = -1.0
    config.minimum_turning_radius = INF
    assert config.validate() == [
        "minimum_turning_radius must be finite and positive",
        "collision_check_step must be finite and positive",
        "max_expanded_nodes must be positive",
        "smoother_tolerance must be finite and positive",
    ]


# --- PlanRequest -----------------------------------------------------------------------------


def test_request_defaults():
    request = m.PlanRequest()
    for pose in (request.start, request.goal):
        assert (pose.x, pose.y, pose.yaw) == (0.0, 0.0, 0.0)
    assert (request.map_revision, request.goal_revision, request.robot_revision) == (0, 0, 0)


def test_request_poses_are_views():
    request = m.PlanRequest()
    start = request.start
    start.x = 1.5
    request.goal.yaw = 7.0
    assert request.start.x == 1.5
    assert request.goal.yaw == 7.0
    del request
    assert start.x == 1.5  # the view keeps its owner alive


def test_request_pose_assignment_copies():
    request = m.PlanRequest()
    pose = m.Pose2D(x=2.0)
    request.goal = pose
    pose.x = 3.0
    assert request.goal.x == 2.0


@pytest.mark.parametrize("field", ["map_revision", "goal_revision", "robot_revision"])
def test_request_revisions_are_unsigned_64_bit(field):
    request = m.PlanRequest()
    setattr(request, field, 2**64 - 1)
    assert getattr(request, field) == 2**64 - 1
    with pytest.raises(TypeError):
        setattr(request, field, -1)


@pytest.mark.skipif(not hasattr(m, "CircleFootprint"), reason="footprint classes not bound")
def test_request_footprint_is_a_view_of_the_default_circle():
    request = m.PlanRequest()
    footprint = request.footprint
    assert isinstance(footprint, m.CircleFootprint)
    assert footprint.radius == 0.25
    footprint.radius = 0.5
    assert request.footprint.radius == 0.5


# --- PlannerStatus ---------------------------------------------------------------------------

STATUSES = [
    "SUCCESS",
    "NO_PATH",
    "TIMEOUT",
    "CANCELLED",
    "INVALID_REQUEST",
    "START_OUT_OF_BOUNDS",
    "GOAL_OUT_OF_BOUNDS",
    "START_IN_COLLISION",
    "GOAL_IN_COLLISION",
    "MAX_NODES_EXCEEDED",
    "INTERNAL_ERROR",
]


def test_status_members_in_order():
    assert [(name, int(v)) for name, v in m.PlannerStatus.__members__.items()] == [
        (name, value) for value, name in enumerate(STATUSES)
    ]


@pytest.mark.parametrize("value, name", list(enumerate(STATUSES)))
def test_status_repr_str_and_name(value, name):
    member = getattr(m.PlannerStatus, name)
    assert repr(member) == f"<PlannerStatus.{name}: {value}>"
    assert str(member) == f"PlannerStatus.{name}"
    assert m.planner_status_name(member) == name
    assert not hasattr(m, name)


def test_planner_status_name_is_positional_only():
    with pytest.raises(TypeError):
        m.planner_status_name(status=m.PlannerStatus.SUCCESS)
    with pytest.raises(TypeError):
        m.planner_status_name(0)


# --- PlannerDiagnostics and PlannerResult ----------------------------------------------------

DIAGNOSTICS = [
    ("obstacle_heuristic_cache_hit", False),
    ("total_time_ms", 0.0),
    ("search_time_ms", 0.0),
    ("obstacle_heuristic_time_ms", 0.0),
    ("kinematic_heuristic_time_ms", 0.0),
    ("collision_check_time_ms", 0.0),
    ("analytic_expansion_time_ms", 0.0),
    ("smoothing_time_ms", 0.0),
    ("expanded_nodes", 0),
    ("generated_nodes", 0),
    ("collision_checks", 0),
    ("path_length", 0.0),
    ("reverse_count", 0),
    ("direction_switch_count", 0),
    ("in_place_rotation_count", 0),
]


@pytest.mark.parametrize("name, value", DIAGNOSTICS)
def test_diagnostics_defaults(name, value):
    got = getattr(m.PlannerDiagnostics(), name)
    assert got == value and type(got) is type(value)


def test_diagnostics_counters_refuse_negative_values():
    diagnostics = m.PlannerDiagnostics()
    with pytest.raises(TypeError):
        diagnostics.expanded_nodes = -1
    with pytest.raises(TypeError):
        diagnostics.reverse_count = 2**32


def test_fresh_result():
    result = m.PlannerResult()
    assert result.status == m.PlannerStatus.INTERNAL_ERROR
    assert result.message == ""
    assert result.path == []
    assert result.directions == []
    assert (result.map_revision, result.goal_revision, result.robot_revision) == (0, 0, 0)
    assert result.diagnostics.expanded_nodes == 0
    assert result.path_array.shape == (0, 3) and result.path_array.dtype == np.float64
    assert result.directions_array.shape == (0,) and result.directions_array.dtype == np.int8


def test_result_diagnostics_is_a_view():
    result = m.PlannerResult()
    diagnostics = result.diagnostics
    diagnostics.expanded_nodes = 42
    diagnostics.path_length = 1.25
    assert result.diagnostics.expanded_nodes == 42
    assert result.diagnostics.path_length == 1.25


def test_result_path_and_directions_are_copies():
    result = m.PlannerResult()
    result.path = [m.Pose2D(x=1.0, y=2.0, yaw=3.0), m.Pose2D(x=4.0, y=5.0, yaw=-0.5)]
    result.directions = [1, -1]
    path = result.path
    path[0].x = 99.0
    path.append(m.Pose2D())
    directions = result.directions
    directions[0] = 0
    assert [(p.x, p.y, p.yaw) for p in result.path] == [(1.0, 2.0, 3.0), (4.0, 5.0, -0.5)]
    assert result.directions == [1, -1]
    assert all(type(d) is int for d in result.directions)


def test_result_arrays():
    result = m.PlannerResult()
    result.path = [m.Pose2D(x=1.0, y=2.0, yaw=3.0), m.Pose2D(x=4.0, y=5.0, yaw=-0.5)]
    result.directions = [m.Direction.FORWARD, m.Direction.REVERSE, 0]
    path_array = result.path_array
    np.testing.assert_array_equal(path_array, [[1.0, 2.0, 3.0], [4.0, 5.0, -0.5]])
    assert path_array.flags.c_contiguous and path_array.flags.writeable
    np.testing.assert_array_equal(result.directions_array, np.array([1, -1, 0], dtype=np.int8))
    # The two arrays follow their own fields; writing into them changes nothing.
    path_array[0, 0] = 77.0
    result.directions_array[0] = -1
    assert result.path[0].x == 1.0
    assert result.directions == [1, -1, 0]


@pytest.mark.parametrize("value", [128, -129])
def test_result_directions_are_signed_8_bit(value):
    result = m.PlannerResult()
    with pytest.raises(TypeError):
        result.directions = [value]
    assert result.directions == []


@pytest.mark.parametrize(
    "arguments, expected",
    [
        ((1, 2, 3), True),
        ((0, 2, 3), False),
        ((1, 0, 3), False),
        ((1, 2, 0), False),
        ((3, 2, 1), False),
    ],
)
def test_matches_revisions(arguments, expected):
    result = m.PlannerResult()
    result.map_revision, result.goal_revision, result.robot_revision = 1, 2, 3
    assert result.matches_revisions(*arguments) is expected


def test_matches_revisions_is_positional_only():
    with pytest.raises(TypeError):
        m.PlannerResult().matches_revisions(map_revision=0, goal_revision=0, robot_revision=0)


def test_result_status_and_message_are_writable():
    result = m.PlannerResult()
    result.status = m.PlannerStatus.NO_PATH
    result.message = "text"
    assert result.status == m.PlannerStatus.NO_PATH
    assert result.message == "text"
    with pytest.raises(TypeError):
        result.status = 1


# --- CancellationToken -----------------------------------------------------------------------


def test_token_cancel_and_reset():
    token = m.CancellationToken()
    assert token.cancelled is False
    assert token.cancel() is None
    assert token.cancelled is True
    assert token.reset() is None
    assert token.cancelled is False
    with pytest.raises(AttributeError):
        token.cancelled = True


def test_token_cancelled_from_another_thread():
    token = m.CancellationToken()
    worker = threading.Thread(target=token.cancel)
    worker.start()
    worker.join()
    assert token.cancelled is True
