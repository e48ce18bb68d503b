import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _se2_planner as m

INF = float("inf")
NAN = float("nan")


def pose_tuple(pose):
    return (pose.x, pose.y, pose.yaw)


# --- KinematicStateSpace ---------------------------------------------------------------------


@pytest.mark.parametrize("radius", [0.0, -1.0, INF, -INF, NAN])
@pytest.mark.parametrize("reverse", [True, False])
def test_constructor_refuses_radius(radius, reverse):
    with pytest.raises(ValueError, match="^minimum turning radius must be positive$"):
        m.KinematicStateSpace(radius, reverse)


def test_constructor_takes_keywords_and_has_no_defaults():
    space = m.KinematicStateSpace(minimum_turning_radius=1.0, allow_reverse=True)
    assert space.distance(m.Pose2D(), m.Pose2D(x=-1.0)) == 1.0
    with pytest.raises(TypeError):
        m.KinematicStateSpace(1.0)


def test_queries_are_positional_only():
    space = m.KinematicStateSpace(1.0, False)
    with pytest.raises(TypeError):
        space.distance(m.Pose2D(), to=m.Pose2D())
    with pytest.raises(TypeError):
        space.interpolate(m.Pose2D(), m.Pose2D(x=1.0), spacing=0.1)


@pytest.mark.parametrize("spacing", [0.0, -0.1, INF, NAN])
@pytest.mark.parametrize("method", ["interpolate", "interpolate_with_directions"])
def test_interpolation_refuses_spacing(spacing, method):
    space = m.KinematicStateSpace(1.0, True)
    with pytest.raises(ValueError, match="^spacing must be positive$"):
        getattr(space, method)(m.Pose2D(), m.Pose2D(x=1.0), spacing)


@pytest.mark.parametrize("bad", [m.Pose2D(x=NAN), m.Pose2D(y=INF), m.Pose2D(yaw=-INF)])
@pytest.mark.parametrize("reverse", [True, False])
def test_non_finite_poses_are_refused(bad, reverse):
    space = m.KinematicStateSpace(0.5, reverse)
    with pytest.raises(ValueError, match="^pose must be finite$"):
        space.distance(bad, m.Pose2D(x=1.0))
    with pytest.raises(ValueError, match="^pose must be finite$"):
        space.interpolate_with_directions(m.Pose2D(x=1.0), bad, 0.1)


def test_tiny_spacing_is_refused():
    space = m.KinematicStateSpace(1.0, False)
    with pytest.raises(ValueError, match="^spacing is too small for the curve length$"):
        space.interpolate(m.Pose2D(), m.Pose2D(x=1.0), 1e-300)


def test_poses_too_far_apart_are_refused():
    space = m.KinematicStateSpace(1.0, True)
    with pytest.raises(ValueError, match="^poses are too far apart$"):
        space.distance(m.Pose2D(), m.Pose2D(x=1e10, y=3.0, yaw=1.0))


def test_dubins_straight_line_in_quarters():
    space = m.KinematicStateSpace(1.0, False)
    samples = space.interpolate_with_directions(m.Pose2D(), m.Pose2D(x=1.0), 0.3)
    assert [pose_tuple(s.pose) for s in samples] == [
        (0.25, 0.0, 0.0),
        (0.5, 0.0, 0.0),
        (0.75, 0.0, 0.0),
        (1.0, 0.0, 0.0),
    ]
    assert [s.direction for s in samples] == [1, 1, 1, 1]


def test_reeds_shepp_straight_back_in_quarters():
    space = m.KinematicStateSpace(1.0, True)
    samples = space.interpolate_with_directions(m.Pose2D(), m.Pose2D(x=-1.0), 0.3)
    assert [s.pose.x for s in samples] == pytest.approx([-0.25, -0.5, -0.75, -1.0], abs=1e-15)
    assert [s.direction for s in samples] == [-1, -1, -1, -1]
    assert space.distance(m.Pose2D(), m.Pose2D(x=-1.0)) == 1.0


@pytest.mark.parametrize("reverse", [True, False])
def test_coincident_poses_give_the_goal_once(reverse):
    space = m.KinematicStateSpace(0.4, reverse)
    pose = m.Pose2D(x=1.0, y=2.0, yaw=math.pi)
    samples = space.interpolate_with_directions(pose, pose, 0.05)
    assert len(samples) == 1
    assert pose_tuple(samples[0].pose) == (1.0, 2.0, -math.pi)
    assert samples[0].direction == 1
    assert space.distance(pose, pose) == 0.0


def test_sample_direction_is_a_plain_int_and_read_only():
    space = m.KinematicStateSpace(1.0, True)
    sample = space.interpolate_with_directions(m.Pose2D(), m.Pose2D(x=-1.0), 0.5)[0]
    assert type(sample.direction) is int
    assert sample.direction == -1
    with pytest.raises(AttributeError):
        sample.direction = 1
    with pytest.raises(AttributeError):
        sample.pose = m.Pose2D()
    with pytest.raises(TypeError):
        m.KinematicSample()


@pytest.mark.parametrize("reverse", [True, False])
def test_interpolate_returns_the_poses_of_the_samples(reverse):
    space = m.KinematicStateSpace(0.4, reverse)
    start = m.Pose2D(x=0.1, y=-0.2, yaw=2.5)
    goal = m.Pose2D(x=-1.3, y=0.9, yaw=-1.0)
    poses = space.interpolate(start, goal, 0.05)
    samples = space.interpolate_with_directions(start, goal, 0.05)
    assert len(poses) > 10
    assert [pose_tuple(p) for p in poses] == [pose_tuple(s.pose) for s in samples]


@pytest.mark.parametrize("stop_at", [0, 1, 6])
def test_interpolate_while_stops_at_the_first_refused_sample(stop_at):
    space = m.KinematicStateSpace(0.4, True)
    start = m.Pose2D(x=0.1, y=-0.2, yaw=2.5)
    goal = m.Pose2D(x=-1.3, y=0.9, yaw=-1.0)
    everything = space.interpolate_with_directions(start, goal, 0.05)
    seen = []

    def keep(sample):
        seen.append(pose_tuple(sample.pose))
        return len(seen) != stop_at

    finished, kept = space.interpolate_while(start, goal, 0.05, keep)
    expected = everything if stop_at == 0 else everything[: stop_at - 1]
    assert finished is (stop_at == 0)
    assert len(seen) == (len(everything) if stop_at == 0 else stop_at)
    assert [pose_tuple(s.pose) for s in kept] == [pose_tuple(s.pose) for s in expected]
    assert [s.direction for s in kept] == [s.direction for s in expected]


def test_interpolate_while_passes_the_callbacks_exception_on():
    space = m.KinematicStateSpace(0.4, False)

    def keep(sample):
        raise KeyError("from the callback")

    with pytest.raises(KeyError, match="from the callback"):
        space.interpolate_while(m.Pose2D(), m.Pose2D(x=1.0), 0.1, keep)
    with pytest.raises(ValueError, match="spacing must be positive"):
        space.interpolate_while(m.Pose2D(), m.Pose2D(x=1.0), 0.0, keep)


def test_dubins_distance_is_asymmetric():
    space = m.KinematicStateSpace(1.0, False)
    a = m.Pose2D()
    b = m.Pose2D(x=1.0, y=0.5, yaw=0.5)
    assert space.distance(a, b) != space.distance(b, a)


def test_the_nearly_aligned_pair_that_aborts_ompl_is_answered():
    space = m.KinematicStateSpace(0.4, False)
    start = m.Pose2D(x=0.0, y=0.0, yaw=-3e-7)
    goal = m.Pose2D(x=5.0, y=0.8, yaw=math.pi)
    assert space.distance(start, goal) == pytest.approx(5.0 + 0.4 * math.pi, abs=1e-5)
    assert pose_tuple(space.interpolate(start, goal, 0.05)[-1]) == (5.0, 0.8, -math.pi)


finite = st.floats(min_value=-5.0, max_value=5.0, allow_nan=False)
angles = st.floats(min_value=-math.pi, max_value=math.pi, allow_nan=False)
poses = st.builds(m.Pose2D, x=finite, y=finite, yaw=angles)


@settings(max_examples=300, deadline=None, derandomize=True)
@given(start=poses, goal=poses, radius=st.sampled_from([0.05, 0.4, 1.0, 3.0]))
def test_curve_lengths_are_bounded_by_geometry(start, goal, radius):
    straight = math.hypot(goal.x - start.x, goal.y - start.y)
    reeds_shepp = m.KinematicStateSpace(radius, True)
    dubins = m.KinematicStateSpace(radius, False)
    rs = reeds_shepp.distance(start, goal)
    assert rs == pytest.approx(reeds_shepp.distance(goal, start), rel=1e-12, abs=1e-12)
    assert straight - 1e-9 <= rs
    # Reversing never makes a curve longer, except for positions less than 1e-6 radii apart,
    # where the Dubins curve is taken to be the straight line between them (as OMPL does). OMPL's
    # Reeds-Shepp answers for sub-millimetre moves can be a few micrometres long, hence the slack.
    if straight > 1e-6 * radius:
        assert rs <= dubins.distance(start, goal) + 1e-5
    last = dubins.interpolate(start, goal, 0.1)[-1]
    assert (last.x, last.y) == (goal.x, goal.y)
    assert -math.pi <= last.yaw < math.pi


# --- Direction and Steering ------------------------------------------------------------------


@pytest.mark.parametrize(
    "enum, members",
    [
        (m.Direction, [("REVERSE", -1), ("ROTATION", 0), ("FORWARD", 1)]),
        (m.Steering, [("RIGHT", -1), ("STRAIGHT", 0), ("LEFT", 1)]),
    ],
)
def test_enumerations(enum, members):
    assert [(name, int(value)) for name, value in enum.__members__.items()] == members
    for name, value in members:
        member = getattr(enum, name)
        assert repr(member) == f"<{enum.__name__}.{name}: {value}>"
        assert str(member) == f"{enum.__name__}.{name}"
        assert int(member) == value
        assert member == getattr(enum, name)
        assert hash(member) == hash(getattr(enum, name))
        assert not hasattr(m, name)


def test_enumerations_have_no_ordering():
    with pytest.raises(TypeError):
        m.Direction.REVERSE < m.Direction.FORWARD


def test_named_examples():
    assert repr(m.Direction.REVERSE) == "<Direction.REVERSE: -1>"
    assert int(m.Steering.LEFT) == 1


# --- MotionPrimitiveTable --------------------------------------------------------------------


def test_default_table():
    table = m.MotionPrimitiveTable(0.05, m.PlannerConfig())
    assert table.primitive_length == 0.05
    with pytest.raises(AttributeError):
        table.primitive_length = 1.0
    forward_straight = table.generate(m.Pose2D())[0]
    assert [pose_tuple(p) for p in forward_straight.samples] == [(0.025, 0.0, 0.0), (0.05, 0.0, 0.0)]
    assert forward_straight.length == 0.05


def test_constructor_keywords_and_generate_positional_only():
    table = m.MotionPrimitiveTable(resolution=0.05, config=m.PlannerConfig())
    with pytest.raises(TypeError):
        table.generate(pose=m.Pose2D())


F, R, ROT = m.Direction.FORWARD, m.Direction.REVERSE, m.Direction.ROTATION
S, L, RI = m.Steering.STRAIGHT, m.Steering.LEFT, m.Steering.RIGHT


@pytest.mark.parametrize(
    "in_place, reverse, expected",
    [
        (False, True, [(F, S), (F, L), (F, RI), (R, S), (R, L), (R, RI)]),
        (False, False, [(F, S), (F, L), (F, RI)]),
        (True, True, [(F, S), (R, S), (ROT, L), (ROT, RI)]),
        (True, False, [(F, S), (ROT, L), (ROT, RI)]),
    ],
)
def test_generate_order(in_place, reverse, expected):
    config = m.PlannerConfig()
    config.allow_in_place_rotation = in_place
    config.allow_reverse = reverse
    primitives = m.MotionPrimitiveTable(0.05, config).generate(m.Pose2D(x=1.0, y=1.0, yaw=0.3))
    assert [(p.direction, p.steering) for p in primitives] == expected
    assert all(isinstance(p.direction, m.Direction) for p in primitives)


def test_forward_left_arc():
    primitive = m.MotionPrimitiveTable(0.05, m.PlannerConfig()).generate(m.Pose2D())[1]
    for sample, theta in zip(primitive.samples, [1 / 16, 1 / 8]):
        assert sample.x == pytest.approx(0.4 * math.sin(theta), abs=1e-15)
        assert sample.y == pytest.approx(0.4 * (1 - math.cos(theta)), abs=1e-15)
        assert sample.yaw == pytest.approx(theta, abs=1e-15)


def test_samples_are_a_new_list_of_new_poses_per_read():
    primitive = m.MotionPrimitiveTable(0.05, m.PlannerConfig()).generate(m.Pose2D())[0]
    samples = primitive.samples
    samples[0].x = 99.0
    samples.append(m.Pose2D())
    assert primitive.samples[0].x == 0.025
    assert len(primitive.samples) == 2
    with pytest.raises(TypeError):
        m.MotionPrimitive()


def test_in_place_rotation_wraps():
    config = m.PlannerConfig()
    config.allow_in_place_rotation = True
    rotation_left = m.MotionPrimitiveTable(0.05, config).generate(m.Pose2D(yaw=math.pi - 0.01))[-2]
    assert rotation_left.direction == ROT
    assert len(rotation_left.samples) == 1
    assert rotation_left.samples[0].yaw < 0.0
    assert rotation_left.length == 0.05


@pytest.mark.parametrize(
    "field, value, message",
    [
        ("angle_bins", 4, "angle_bins must be at least 8"),
        ("minimum_turning_radius", -1.0, "minimum_turning_radius must be finite and positive"),
        ("collision_check_step", 1e-300, "collision_check_step is too small for the primitive length"),
    ],
)
def test_table_refuses_configuration(field, value, message):
    config = m.PlannerConfig()
    setattr(config, field, value)
    with pytest.raises(ValueError, match=f"^{message}$"):
        m.MotionPrimitiveTable(0.05, config)


@pytest.mark.parametrize("resolution", [0.0, -0.05, INF, NAN])
def test_table_refuses_resolution(resolution):
    with pytest.raises(ValueError, match="^resolution must be finite and positive$"):
        m.MotionPrimitiveTable(resolution, m.PlannerConfig())


@pytest.mark.parametrize(
    "pose, message",
    [(m.Pose2D(yaw=NAN), "yaw must be finite"), (m.Pose2D(x=INF), "pose must be finite")],
)
def test_generate_refuses_non_finite_poses(pose, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        m.MotionPrimitiveTable(0.05, m.PlannerConfig()).generate(pose)
