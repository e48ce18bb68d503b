import numpy as np
import pytest

import _se2_planner as m


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


def test_diagnostics_counters_refuse_negative_values():
    diagnostics = m.PlannerDiagnostics()
    with pytest.raises(TypeError):
        diagnostics.expanded_nodes = -1
    with pytest.raises(TypeError):
        diagnostics.reverse_count = 2**32


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
