import math

import pytest

import _se2_planner as se2

THREE_POINTS = "polygon footprint requires at least three points"
FINITE_POINTS = "polygon footprint points must be finite"
DUPLICATES = "polygon footprint must not contain duplicate points"
SELF_INTERSECT = "polygon footprint must not self-intersect"
ZERO_AREA = "polygon footprint must have non-zero area"
CIRCLE = "circle radius must be finite and positive"
EMPTY_MULTI = "multi-polygon footprint requires at least one polygon"


def polygon(*points):
    return se2.PolygonFootprint([se2.Point2D(x, y) for x, y in points])


def square(x0=0.0, y0=0.0, edge=1.0):
    return polygon((x0, y0), (x0 + edge, y0), (x0 + edge, y0 + edge), (x0, y0 + edge))


BOW_TIE = ((0, 0), (1, 1), (1, 0), (0, 1))


@pytest.mark.parametrize("radius, expected", [(0.0, [CIRCLE]), (math.nan, [CIRCLE]), (1e-300, [])])
def test_circle_validation(radius, expected):
    assert se2.validate_footprint(se2.CircleFootprint(radius)) == expected


@pytest.mark.parametrize(
    "points, expected",
    [
        ((), [THREE_POINTS]),
        (((0, 0), (math.nan, 0)), [THREE_POINTS, FINITE_POINTS]),
        (((0, 0), (1, 0), (1, 1), (0, 0)), [DUPLICATES]),
        (BOW_TIE, [SELF_INTERSECT]),
        (((0, 0), (1, 0), (2, 0)), [ZERO_AREA]),
        (((0, 0), (0, 1), (1, 1), (1, 0)), []),
    ],
)
def test_polygon_validation(points, expected):
    assert se2.validate_footprint(polygon(*points)) == expected


@pytest.mark.parametrize(
    "components, expected",
    [
        ([], [EMPTY_MULTI]),
        ([square(), polygon(*BOW_TIE)], ["multi-polygon component 1: " + SELF_INTERSECT]),
        ([square(), polygon((0, 0), (1, 1))], ["multi-polygon component 1: " + THREE_POINTS]),
        ([square(), square(0.5, 0.5)], []),
    ],
)
def test_multi_polygon_validation(components, expected):
    assert se2.validate_footprint(se2.MultiPolygonFootprint(components)) == expected


@pytest.mark.parametrize("value", [None, 1.0, se2.Point2D(0, 0), [se2.Point2D(0, 0)], "circle"])
def test_validate_footprint_refuses_other_objects(value):
    with pytest.raises(TypeError):
        se2.validate_footprint(value)


def test_validate_footprint_is_positional_only():
    with pytest.raises(TypeError):
        se2.validate_footprint(footprint=se2.CircleFootprint(1.0))


@pytest.mark.parametrize(
    "cls", [se2.CircleFootprint, se2.PolygonFootprint, se2.MultiPolygonFootprint]
)
def test_footprint_classes_need_their_argument(cls):
    with pytest.raises(TypeError):
        cls()


def test_footprint_constructors_take_keywords_and_do_not_validate():
    assert se2.CircleFootprint(radius=-2.0).radius == -2.0
    assert len(se2.PolygonFootprint(points=[se2.Point2D(1, 2)]).points) == 1
    assert len(se2.MultiPolygonFootprint(polygons=[]).polygons) == 0


def test_points_accept_any_sequence_but_not_strings():
    assert [(p.x, p.y) for p in se2.PolygonFootprint((se2.Point2D(1, 2), se2.Point2D(3, 4))).points] == [
        (1.0, 2.0),
        (3.0, 4.0),
    ]
    with pytest.raises(TypeError):
        se2.PolygonFootprint("ab")
    with pytest.raises(TypeError):
        se2.PolygonFootprint([(0.0, 0.0)])


def test_list_attributes_are_fresh_copies():
    poly = square()
    points = poly.points
    points.append(se2.Point2D(9, 9))
    points[0].x = 42.0
    assert len(poly.points) == 4
    assert poly.points[0].x == 0.0
    poly.points = [se2.Point2D(1, 1)]
    assert [(p.x, p.y) for p in poly.points] == [(1.0, 1.0)]
    # A point read before the assignment stays valid after the vector behind it is replaced.
    assert (points[1].x, points[1].y) == (1.0, 0.0)

    multi = se2.MultiPolygonFootprint([square()])
    multi.polygons[0].points = []
    assert len(multi.polygons[0].points) == 4
    multi.polygons = [square(), square(2, 2)]
    assert len(multi.polygons) == 2


# --- yaw-bin templates ----------------------------------------------------------------------


def test_templates_reject_fewer_than_eight_bins():
    with pytest.raises(ValueError, match="^angle_bins must be at least 8$"):
        se2.YawBinFootprintTemplates(se2.CircleFootprint(1.0), 7)
    assert se2.YawBinFootprintTemplates(footprint=se2.CircleFootprint(1.0), angle_bins=8).angle_bins == 8


def test_templates_cap_the_bin_count():
    with pytest.raises(ValueError, match="^angle_bins must be at most 65536$"):
        se2.YawBinFootprintTemplates(se2.CircleFootprint(1.0), 2**32 - 1)


def test_templates_judge_the_footprint_first():
    with pytest.raises(ValueError, match="^polygon footprint must not self-intersect$"):
        se2.YawBinFootprintTemplates(polygon(*BOW_TIE), 4)


@pytest.mark.parametrize("bins", [-1, 2**32, 8.0, None])
def test_templates_bin_count_must_be_an_unsigned_32_bit_int(bins):
    with pytest.raises(TypeError):
        se2.YawBinFootprintTemplates(se2.CircleFootprint(1.0), bins)


@pytest.mark.parametrize(
    "bins, yaw, expected", [(8, math.pi, 4), (8, -0.01, 7), (8, -1e-20, 0), (72, -0.01, 71), (8, 3, 3)]
)
def test_yaw_to_bin(bins, yaw, expected):
    templates = se2.YawBinFootprintTemplates(se2.CircleFootprint(0.5), bins)
    assert templates.yaw_to_bin(yaw) == expected


@pytest.mark.parametrize("yaw", [math.nan, math.inf, -math.inf])
def test_yaw_to_bin_rejects_non_finite_yaw(yaw):
    templates = se2.YawBinFootprintTemplates(se2.CircleFootprint(0.5), 8)
    with pytest.raises(ValueError, match="^yaw must be finite$"):
        templates.yaw_to_bin(yaw)


def test_template_methods_are_positional_only():
    templates = se2.YawBinFootprintTemplates(se2.CircleFootprint(0.5), 8)
    with pytest.raises(TypeError):
        templates.yaw_to_bin(yaw=1.0)
    with pytest.raises(TypeError):
        templates.at(bin=1)


def test_angle_bins_is_read_only():
    templates = se2.YawBinFootprintTemplates(se2.CircleFootprint(0.5), 8)
    with pytest.raises(AttributeError):
        templates.angle_bins = 9


@pytest.mark.parametrize(
    "footprint",
    [
        se2.CircleFootprint(0.5),
        polygon((1, 0), (0, 1), (-1, 0)),
        se2.MultiPolygonFootprint([polygon((1, 0), (0, 1), (-1, 0)), square(2, 2)]),
    ],
    ids=["circle", "polygon", "multi"],
)
def test_at_returns_the_stored_class_and_checks_the_bin(footprint):
    templates = se2.YawBinFootprintTemplates(footprint, 16)
    assert type(templates.at(15)) is type(footprint)
    with pytest.raises(IndexError, match="^yaw bin is out of range$"):
        templates.at(16)
    for bad in (-1, 2**32):
        with pytest.raises(TypeError):
            templates.at(bad)


def test_polygon_templates_are_rotated_by_the_lower_bin_edge():
    templates = se2.YawBinFootprintTemplates(polygon((1, 0), (0, 1), (-1, 0)), 8)
    assert [(p.x, p.y) for p in templates.at(0).points] == [(1.0, 0.0), (0.0, 1.0), (-1.0, 0.0)]
    assert [(p.x, p.y) for p in templates.at(2).points][0] == (math.cos(math.pi / 2), math.sin(math.pi / 2))
    for p, q in zip(templates.at(4).points, [(-1, 0), (0, -1), (1, 0)]):
        assert p.x == pytest.approx(q[0], abs=1e-15)
        assert p.y == pytest.approx(q[1], abs=1e-15)


def test_multi_polygon_templates_keep_component_order():
    multi = se2.MultiPolygonFootprint([polygon((1, 0), (0, 1), (-1, 0)), square(2, 2)])
    templates = se2.YawBinFootprintTemplates(multi, 8)
    for b in range(8):
        assert [len(c.points) for c in templates.at(b).polygons] == [3, 4]


def test_templates_keep_their_own_copy():
    circle = se2.CircleFootprint(0.5)
    templates = se2.YawBinFootprintTemplates(circle, 16)
    circle.radius = 2.0
    assert templates.at(3).radius == 0.5
    returned = templates.at(3)
    returned.radius = 7.0
    assert templates.at(3).radius == 0.5
