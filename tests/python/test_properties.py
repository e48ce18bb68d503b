"""Properties of the module that hold for every input hypothesis can think of."""

import csv
import io
import json
import math
import xml.etree.ElementTree as ElementTree

import numpy as np
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import _se2_planner as se2

# Deterministic runs: CI must not fail on a draw it never saw before, and a failure must replay.
settings.register_profile(
    "veltrax", derandomize=True, max_examples=150, deadline=None,
    suppress_health_check=[HealthCheck.function_scoped_fixture],
)
settings.load_profile("veltrax")

grids = hnp.arrays(np.uint8, hnp.array_shapes(min_dims=2, max_dims=2, min_side=1, max_side=12))
resolutions = st.floats(min_value=1e-3, max_value=10.0)
origins = st.floats(min_value=-1e3, max_value=1e3)
finite = st.floats(allow_nan=False, allow_infinity=False)
yaws = st.floats(min_value=-20.0, max_value=20.0)


@given(grids, resolutions, origins, origins)
def test_costmap_keeps_cells_and_geometry(cells, resolution, origin_x, origin_y):
    costmap = se2.Costmap(cells, resolution, origin_x, origin_y)
    assert (costmap.width, costmap.height) == (cells.shape[1], cells.shape[0])
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (resolution, origin_x, origin_y)
    np.testing.assert_array_equal(costmap.cells_array, cells)
    for my in range(costmap.height):
        for mx in range(costmap.width):
            assert costmap.get_cost(mx, my) == cells[my, mx]


@given(grids, st.booleans())
def test_pgm_file_round_trip(tmp_path, cells, plain):
    height, width = cells.shape
    image = cells[::-1]  # the first image row is the far edge of the map
    if plain:
        body = b"P2\n%d %d\n255\n" % (width, height) + b"\n".join(
            b" ".join(b"%d" % v for v in row) for row in image) + b"\n"
    else:
        body = b"P5\n%d %d\n255\n" % (width, height) + image.tobytes()
    path = tmp_path / "map.pgm"
    path.write_bytes(body)
    costmap = se2.load_costmap_pgm(str(path), 0.05)
    np.testing.assert_array_equal(costmap.cells_array, cells)
    assert (costmap.origin_x, costmap.origin_y) == (0.0, 0.0)


footprints = st.one_of(
    st.builds(se2.CircleFootprint, st.floats(min_value=0.05, max_value=1.5)),
    st.tuples(st.floats(0.05, 1.5), st.floats(0.05, 1.0)).map(
        lambda hw: se2.PolygonFootprint([se2.Point2D(hw[0], hw[1]), se2.Point2D(-hw[0], hw[1]),
                                         se2.Point2D(-hw[0], -hw[1]), se2.Point2D(hw[0], -hw[1])])),
)


any_double = st.floats(allow_nan=True, allow_infinity=True)
result_paths = st.lists(st.tuples(finite, finite, finite), max_size=10)
directions = st.sampled_from([se2.Direction.REVERSE, se2.Direction.ROTATION, se2.Direction.FORWARD])


def make_result(path, labels):
    result = se2.PlannerResult()
    result.status = se2.PlannerStatus.SUCCESS
    result.path = [se2.Pose2D(x, y, yaw) for x, y, yaw in path]
    result.directions = labels[: len(path)]
    return result


@given(result_paths, st.lists(directions, max_size=10))
def test_path_csv_reads_back_to_the_same_doubles(tmp_path, path, labels):
    target = tmp_path / "path.csv"
    se2.save_path_csv(make_result(path, labels), str(target))
    rows = list(csv.reader(io.StringIO(target.read_text())))
    assert rows[0] == ["x", "y", "yaw", "direction"]
    assert len(rows) == len(path) + 1
    for i, ((x, y, yaw), row) in enumerate(zip(path, rows[1:])):
        assert [float(v) for v in row[:3]] == [x, y, yaw]
        assert math.copysign(1.0, float(row[0])) == math.copysign(1.0, x)
        assert int(row[3]) == (int(labels[i].value) if i < len(labels) else 0)


@given(st.lists(st.tuples(any_double, any_double, any_double), max_size=8),
       st.lists(directions, max_size=8), any_double, st.text(max_size=30),
       st.integers(0, 2**64 - 1))
def test_result_json_reads_back_to_the_same_doubles(tmp_path, path, labels, length, message, revision):
    result = make_result(path, labels)
    result.message = message
    result.map_revision = revision
    result.diagnostics.path_length = length
    target = tmp_path / "result.json"
    se2.save_result_json(result, str(target))
    # %.17g writes a negative zero as "-0", which json reads as the integer 0.
    document = json.loads(target.read_bytes(), parse_int=lambda t: -0.0 if t == "-0" else int(t))
    assert document["message"] == message
    assert document["revisions"]["map"] == revision

    def same(read, value):
        return read is None if not math.isfinite(value) else read == value and (
            math.copysign(1.0, read) == math.copysign(1.0, value))

    assert same(document["diagnostics"]["path_length"], length)
    assert len(document["path"]) == len(path)
    for entry, (x, y, yaw) in zip(document["path"], path):
        assert same(entry["x"], x) and same(entry["y"], y) and same(entry["yaw"], yaw)


@given(hnp.arrays(np.uint8, hnp.array_shapes(min_dims=2, max_dims=2, min_side=1, max_side=6)),
       st.lists(st.tuples(st.floats(-5, 10), st.floats(-5, 10), yaws), max_size=6),
       st.lists(directions, max_size=6), st.text(max_size=12), st.text(max_size=12),
       st.integers(1, 12), st.booleans(), st.integers(0, 3), footprints)
def test_svg_is_well_formed_xml(cells, path, labels, color, other_color, pixels, grid, stride,
                                footprint):
    costmap = se2.Costmap(cells, 0.5, 0.0, 0.0)
    request = se2.PlanRequest()
    request.footprint = footprint
    request.start = se2.Pose2D(0.1, 0.2, 0.3)
    request.goal = se2.Pose2D(1.0, 2.0, -1.0)
    options = se2.SvgRenderOptions()
    options.pixels_per_cell = pixels
    options.draw_grid = grid
    options.footprint_stride = stride
    options.path_color = color
    options.forward_color = other_color
    options.reverse_color = color + other_color
    svg = se2.render_plan_svg(costmap, request, make_result(path, labels), options)
    root = ElementTree.fromstring(svg)
    assert root.tag == "{http://www.w3.org/2000/svg}svg"
