import gc
import math
import weakref

import numpy as np
import pytest

import _se2_planner as se2


def costmap(costs=(), size=10, resolution=1.0, background=0):
    """A size x size map at the origin; `costs` holds (mx, my, cost) triples."""
    cells = np.full((size, size), background, dtype=np.uint8)
    for mx, my, cost in costs:
        cells[my, mx] = cost  # array rows are grid rows (world y)
    return se2.Costmap(cells, resolution, 0.0, 0.0)


def polygon(*points):
    return se2.PolygonFootprint([se2.Point2D(x, y) for x, y in points])


def triple(result):
    return (result.collision, result.outside_map, result.max_cost)


HALF_DISC = se2.CircleFootprint(0.5)
CENTRE = se2.Pose2D(5.5, 5.5, 0.0)


@pytest.mark.parametrize(
    "costs, allow_unknown, expected",
    [
        ([], False, (False, False, 0)),
        ([(6, 5, 254)], False, (True, False, 254)),
        ([(6, 6, 254)], False, (False, False, 0)),  # visited, not touched
        ([(4, 5, 254)], False, (False, False, 0)),  # touched at one point, never visited
        ([(5, 6, 253), (6, 5, 100)], False, (False, False, 253)),
        ([(5, 6, 255)], False, (True, False, 255)),
        ([(5, 6, 255)], True, (False, False, 255)),
        ([(5, 5, 254), (5, 6, 255)], True, (True, False, 255)),
    ],
)
def test_check_results(costs, allow_unknown, expected):
    checker = se2.CollisionChecker(costmap(costs), allow_unknown=allow_unknown)
    assert triple(checker.check(CENTRE, HALF_DISC)) == expected


def test_allow_unknown_defaults_to_false():
    cells = costmap([(5, 5, 255)])
    assert triple(se2.CollisionChecker(cells).check(CENTRE, HALF_DISC)) == (True, False, 255)
    assert triple(se2.CollisionChecker(cells, True).check(CENTRE, HALF_DISC)) == (False, False, 255)


@pytest.mark.parametrize(
    "pose, expected",
    [
        (se2.Pose2D(0.5, 5.0, 0.0), (True, True, 254)),
        (se2.Pose2D(1.0, 5.0, 0.0), (False, False, 0)),
        (se2.Pose2D(9.0, 5.0, 0.0), (False, False, 0)),
        (se2.Pose2D(9.0, 9.5, 0.0), (True, True, 254)),
    ],
)
def test_outside_is_judged_by_the_bounding_box(pose, expected):
    checker = se2.CollisionChecker(costmap())
    assert triple(checker.check(pose, se2.CircleFootprint(1.0))) == expected


def test_polygon_touches_closed_neighbour_cells():
    square = polygon((-0.5, -0.5), (0.5, -0.5), (0.5, 0.5), (-0.5, 0.5))
    for cell, expected in [((6, 6), (True, False, 254)), ((4, 5), (False, False, 0))]:
        checker = se2.CollisionChecker(costmap([(*cell, 254)]))
        assert triple(checker.check(CENTRE, square)) == expected


def test_multi_polygon_stops_at_its_first_colliding_component():
    multi = se2.MultiPolygonFootprint(
        [polygon((1.2, 1.2), (1.8, 1.2), (1.5, 1.8)), polygon((7.2, 7.2), (7.8, 7.2), (7.5, 7.8))]
    )
    checker = se2.CollisionChecker(costmap([(1, 1, 254), (7, 7, 255)]), True)
    assert triple(checker.check(se2.Pose2D(), multi)) == (True, False, 254)


def test_checker_keeps_its_costmap_alive():
    cells = costmap([(5, 5, 254)])
    watch = weakref.ref(cells)
    checker = se2.CollisionChecker(cells)
    del cells
    gc.collect()
    assert watch() is not None
    assert triple(checker.check(CENTRE, HALF_DISC)) == (True, False, 254)
    del checker
    gc.collect()
    assert watch() is None


@pytest.mark.parametrize(
    "pose",
    [se2.Pose2D(5, 5, math.nan), se2.Pose2D(math.inf, 5, 0), se2.Pose2D(5, -math.inf, 0)],
)
def test_check_rejects_non_finite_poses(pose):
    with pytest.raises(ValueError, match="^collision pose must be finite$"):
        se2.CollisionChecker(costmap()).check(pose, HALF_DISC)


def test_check_judges_the_footprint_before_the_pose():
    with pytest.raises(ValueError, match="^circle radius must be finite and positive$"):
        se2.CollisionChecker(costmap()).check(se2.Pose2D(math.nan, 0, 0), se2.CircleFootprint(0.0))


@pytest.mark.parametrize("footprint", [se2.Pose2D(), None, 0.5, [se2.Point2D(0, 0)]])
def test_check_refuses_other_footprint_objects(footprint):
    with pytest.raises(TypeError):
        se2.CollisionChecker(costmap()).check(CENTRE, footprint)


def test_check_is_positional_only():
    with pytest.raises(TypeError):
        se2.CollisionChecker(costmap()).check(pose=CENTRE, footprint=HALF_DISC)


def test_checker_constructor_takes_keywords_and_needs_a_costmap():
    checker = se2.CollisionChecker(costmap=costmap([(5, 5, 255)]), allow_unknown=True)
    assert triple(checker.check(CENTRE, HALF_DISC)) == (False, False, 255)
    with pytest.raises(TypeError):
        se2.CollisionChecker(np.zeros((3, 3), dtype=np.uint8))


def test_collision_result_has_no_constructor_and_read_only_fields():
    with pytest.raises(TypeError):
        se2.CollisionResult()
    result = se2.CollisionChecker(costmap()).check(CENTRE, HALF_DISC)
    for name in ("collision", "outside_map", "max_cost"):
        with pytest.raises(AttributeError):
            setattr(result, name, 1)


# --- validate_path --------------------------------------------------------------------------


@pytest.mark.parametrize("step", [0.0, -1.0, math.nan, math.inf])
def test_validate_path_rejects_bad_steps_first(step):
    checker = se2.CollisionChecker(costmap())
    with pytest.raises(ValueError, match="^interpolation_step must be finite and positive$"):
        checker.validate_path([], se2.CircleFootprint(-1.0), step)


def test_validate_path_judges_the_footprint_even_for_an_empty_path():
    checker = se2.CollisionChecker(costmap())
    with pytest.raises(ValueError, match="^multi-polygon footprint requires at least one polygon$"):
        checker.validate_path([], se2.MultiPolygonFootprint([]), 0.1)
    assert triple(checker.validate_path([], HALF_DISC, 0.1)) == (False, False, 0)


# Resolution 0.1, a disc of 1 cm; the path runs along row 5 from x = 0.05 to 0.85.
ROW_PATH = (se2.Pose2D(0.05, 0.55, 0.0), se2.Pose2D(0.85, 0.55, 0.0))


@pytest.mark.parametrize(
    "costs, step, expected",
    [
        ([(4, 5, 254)], 0.25, (True, False, 254)),  # sample at x = 0.45
        ([(3, 5, 254), (5, 5, 254), (7, 5, 254)], 0.25, (False, False, 0)),  # between samples
        ([(3, 5, 254)], 0.15, (True, False, 254)),  # six samples: x = 0.3167 is in cell 3
        ([(0, 5, 10), (4, 5, 30), (8, 5, 20)], 0.25, (False, False, 30)),
        ([(8, 5, 254)], 100.0, (True, False, 254)),  # the last pose is itself a sample
    ],
)
def test_validate_path_samples(costs, step, expected):
    checker = se2.CollisionChecker(costmap(costs, resolution=0.1))
    result = checker.validate_path(
        path=list(ROW_PATH), footprint=se2.CircleFootprint(0.01), interpolation_step=step
    )
    assert triple(result) == expected


def test_validate_path_stops_at_the_first_collision():
    checker = se2.CollisionChecker(costmap([(5, 1, 254), (8, 1, 255)], resolution=0.1), True)
    path = tuple(se2.Pose2D(x, 0.15, 0.0) for x in (0.15, 0.35, 0.55, 0.85))
    assert triple(checker.validate_path(path, se2.CircleFootprint(0.01), 0.5)) == (True, False, 254)


def test_validate_path_reports_leaving_the_map():
    checker = se2.CollisionChecker(costmap(resolution=0.1))
    path = [se2.Pose2D(0.05, 0.05, 0.0), se2.Pose2D(0.05, 1.5, 0.0)]
    assert triple(checker.validate_path(path, se2.CircleFootprint(0.01), 0.2)) == (True, True, 254)


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
