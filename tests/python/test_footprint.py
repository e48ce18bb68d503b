
import pytest

import _se2_planner as se2

def polygon(*points):
    return se2.PolygonFootprint([se2.Point2D(x, y) for x, y in points])


def square(x0=0.0, y0=0.0, edge=1.0):
    return polygon((x0, y0), (x0 + edge, y0), (x0 + edge, y0 + edge), (x0, y0 + edge))


@pytest.mark.parametrize("value", [None, 1.0, se2.Point2D(0, 0), [se2.Point2D(0, 0)], "circle"])
def test_validate_footprint_refuses_other_objects(value):
    with pytest.raises(TypeError):
        se2.validate_footprint(value)


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




@pytest.mark.parametrize("bins", [-1, 2**32, 8.0, None])
def test_templates_bin_count_must_be_an_unsigned_32_bit_int(bins):
    with pytest.raises(TypeError):
        se2.YawBinFootprintTemplates(se2.CircleFootprint(1.0), bins)


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


def test_templates_keep_their_own_copy():
    circle = se2.CircleFootprint(0.5)
    templates = se2.YawBinFootprintTemplates(circle, 16)
    circle.radius = 2.0
    assert templates.at(3).radius == 0.5
    returned = templates.at(3)
    returned.radius = 7.0
    assert templates.at(3).radius == 0.5
