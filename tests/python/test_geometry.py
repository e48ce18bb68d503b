import math

import pytest

import _se2_planner as sp


@pytest.mark.parametrize(
    "yaw, expected",
    [
        (math.pi, -math.pi),
        (-math.pi, -math.pi),
        (3 * math.pi, -math.pi),
        (-3 * math.pi, -math.pi),
        (0.0, 0.0),
        (-0.0, 0.0),
        (2 * math.pi, 0.0),
        (-math.pi / 2, -math.pi / 2),
        (7 * math.pi / 2, -math.pi / 2),
        (5.0, 5.0 - 2 * math.pi),
        (3, 3.0),  # ints convert to float
    ],
)
def test_normalize_yaw(yaw, expected):
    result = sp.normalize_yaw(yaw)
    assert result == expected
    assert math.copysign(1.0, result) == math.copysign(1.0, expected) or result != 0.0


def test_normalize_yaw_never_returns_negative_zero():
    assert math.copysign(1.0, sp.normalize_yaw(-0.0)) == 1.0
    assert math.copysign(1.0, sp.normalize_yaw(-2 * math.pi)) == 1.0


@pytest.mark.parametrize("yaw", [math.inf, -math.inf, math.nan])
def test_normalize_yaw_rejects_non_finite(yaw):
    with pytest.raises(ValueError, match=r"^yaw must be finite$"):
        sp.normalize_yaw(yaw)


def test_normalize_yaw_is_positional_only():
    with pytest.raises(TypeError):
        sp.normalize_yaw(yaw=1.0)


def test_pose_defaults_and_keywords():
    pose = sp.Pose2D()
    assert (pose.x, pose.y, pose.yaw) == (0.0, 0.0, 0.0)
    pose = sp.Pose2D(yaw=7.0, x=1)
    assert (pose.x, pose.y, pose.yaw) == (1.0, 0.0, 7.0)  # yaw stored unnormalised
    pose.y = -2.5
    assert pose.y == -2.5


def test_point_defaults_and_positional():
    point = sp.Point2D(1.5, -2)
    assert (point.x, point.y) == (1.5, -2.0)
    assert (sp.Point2D().x, sp.Point2D().y) == (0.0, 0.0)


def test_grid_index_is_unsigned():
    index = sp.GridIndex(3, 4)
    assert (index.x, index.y) == (3, 4)
    assert (sp.GridIndex().x, sp.GridIndex().y) == (0, 0)
    big = sp.GridIndex(2**64 - 1, 0)
    assert big.x == 2**64 - 1
    with pytest.raises(TypeError):
        sp.GridIndex(-1, 0)
    with pytest.raises(TypeError):
        sp.GridIndex(1.5, 0)
    with pytest.raises(TypeError):
        index.x = -1
