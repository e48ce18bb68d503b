
import pytest

import _se2_planner as m


NAN = float("nan")


def pose_tuple(pose):
    return (pose.x, pose.y, pose.yaw)


@pytest.mark.parametrize("radius", [0.0, NAN])
def test_constructor_refuses_radius(radius):
    reverse = True
    with pytest.raises(ValueError, match="^minimum turning radius must be positive$"):
        m.KinematicStateSpace(radius, reverse)


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


def test_samples_are_a_new_list_of_new_poses_per_read():
    primitive = m.MotionPrimitiveTable(0.05, m.PlannerConfig()).generate(m.Pose2D())[0]
    samples = primitive.samples
    samples[0].x = 99.0
    samples.append(m.Pose2D())
    assert primitive.samples[0].x == 0.025
    assert len(primitive.samples) == 2
    with pytest.raises(TypeError):
        m.MotionPrimitive()

