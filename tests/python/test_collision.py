import math

import numpy as np
import pytest

import _se2_planner as se2


def costmap(costs=(), size=10, resolution=1.0, background=0):
    """A size x size map at the origin; `costs` holds (mx, my, cost) triples."""
    cells = np.full((size, size), background, dtype=np.uint8)
    for mx, my, cost in costs:
        cells[my, mx] = cost  # array rows are grid rows (world y)
    return se2.Costmap(cells, resolution, 0.0, 0.0)


def triple(result):
    return (result.collision, result.outside_map, result.max_cost)


HALF_DISC = se2.CircleFootprint(0.5)
CENTRE = se2.Pose2D(5.5, 5.5, 0.0)


@pytest.mark.parametrize(
    "costs, allow_unknown, expected",
    [
        ([], False, (False, False, 0)),
        ([(6, 5, 254)], False, (True, False, 254)),
        ([(5, 6, 255)], True, (False, False, 255)),
    ],
)
def test_check_results(costs, allow_unknown, expected):
    checker = se2.CollisionChecker(costmap(costs), allow_unknown=allow_unknown)
    assert triple(checker.check(CENTRE, HALF_DISC)) == expected


@pytest.mark.parametrize(
    "pose",
    [se2.Pose2D(5, 5, math.nan)],
)
def test_check_rejects_non_finite_poses(pose):
    with pytest.raises(ValueError, match="^collision pose must be finite$"):
        se2.CollisionChecker(costmap()).check(pose, HALF_DISC)


@pytest.mark.parametrize("footprint", [se2.Pose2D(), None, 0.5, [se2.Point2D(0, 0)]])
def test_check_refuses_other_footprint_objects(footprint):
    with pytest.raises(TypeError):
        se2.CollisionChecker(costmap()).check(CENTRE, footprint)


def test_collision_result_has_no_constructor_and_read_only_fields():
    with pytest.raises(TypeError):
        se2.CollisionResult()
    result = se2.CollisionChecker(costmap()).check(CENTRE, HALF_DISC)
    for name in ("collision", "outside_map", "max_cost"):
        with pytest.raises(AttributeError):
            setattr(result, name, 1)


@pytest.mark.parametrize(
    "path, step, message",
    [
        ([se2.Pose2D(0, 0, 0), se2.Pose2D(1, 0, math.nan)], 0.1, "yaw must be finite"),
        (
            [se2.Pose2D(1, 1, 0), se2.Pose2D(math.inf, 1, 0), se2.Pose2D(2, 1, 0)],
            0.1,
            "collision pose must be finite",
        ),
        (
            [se2.Pose2D(1, 1, 0), se2.Pose2D(9, 1, 0)],
            1e-300,
            "path segment sample count must be finite and fit in 64 bits",
        ),
    ],
)
def test_validate_path_errors(path, step, message):
    checker = se2.CollisionChecker(costmap())
    with pytest.raises(ValueError, match="^" + message + "$"):
        checker.validate_path(path, HALF_DISC, step)


@pytest.mark.parametrize("path", ["ab", [se2.Point2D(0, 0)], None])
def test_validate_path_refuses_non_pose_sequences(path):
    with pytest.raises(TypeError):
        se2.CollisionChecker(costmap()).validate_path(path, HALF_DISC, 0.1)
