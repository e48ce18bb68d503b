"""Inflation, costmap loaders and result writers, through the module."""

import json
import math
import os
import pathlib

import numpy as np
import pytest

import _se2_planner as sp

DATA = pathlib.Path(__file__).resolve().parents[2] / "data"


def seed_map(width=13, height=13, resolution=0.1, seeds=((6, 6),), fill=0):
    cells = np.full((height, width), fill, dtype=np.uint8)
    for x, y in seeds:
        cells[y, x] = 254
    return sp.Costmap(cells, resolution, 0.5, -0.25)


# --- inflation -----------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("dx", "dy", "factor", "expected"),
    [
        (1, 0, 10.0, 253),
        (2, 0, 10.0, 253),
        (3, 0, 10.0, 93),
        (4, 0, 10.0, 34),
        (5, 0, 10.0, 13),
        (6, 0, 10.0, 0),
        (1, 1, 10.0, 253),
        (2, 1, 10.0, 199),
        (0, -3, 10.0, 93),
        (5, 0, 30.0, 1),
    ],
)
def test_inflation_profile(dx, dy, factor, expected):
    inflated = sp.inflate_costmap(seed_map(), 0.5, 0.2, factor)
    assert inflated.get_cost(6 + dx, 6 + dy) == expected
    assert inflated.get_cost(6, 6) == 254


def test_inflation_returns_a_new_costmap_and_keeps_the_source():
    source = seed_map(fill=7)
    before = source.cells_array.copy()
    inflated = sp.inflate_costmap(
        source=source, inflation_radius=0.5, inscribed_radius=0.2, cost_scaling_factor=10.0
    )
    assert inflated is not source
    np.testing.assert_array_equal(source.cells_array, before)
    assert (inflated.width, inflated.height) == (13, 13)
    assert (inflated.resolution, inflated.origin_x, inflated.origin_y) == (0.1, 0.5, -0.25)
    assert inflated.get_cost(0, 0) == 7  # beyond the radius: the old cost


def test_inflation_never_lowers_and_keeps_unknown():
    cells = np.zeros((1, 13), dtype=np.uint8)
    cells[0, 6] = 254
    cells[0, 7] = 255
    cells[0, 9] = 200
    cells[0, 10] = 253
    inflated = sp.inflate_costmap(sp.Costmap(cells, 0.1, 0.0, 0.0), 0.5, 0.2, 10.0)
    assert inflated.cells_array.tolist() == [[0, 13, 34, 93, 253, 253, 254, 255, 253, 200, 253, 13, 0]]


@pytest.mark.parametrize(
    ("inflation", "inscribed", "factor"),
    [
        (0.5, 0.6, 1.0),
        (-1.0, 0.0, 1.0),
        (0.5, -0.1, 1.0),
        (math.nan, 0.0, 1.0),
        (math.inf, 0.0, 1.0),
        (0.5, 0.2, 0.0),
        (0.5, 0.2, -2.0),
        (0.5, 0.2, math.nan),
        (0.5, 0.2, math.inf),
    ],
)
def test_inflation_rejects_parameters(inflation, inscribed, factor):
    with pytest.raises(ValueError, match=r"^invalid inflation parameters$"):
        sp.inflate_costmap(seed_map(), inflation, inscribed, factor)


def test_inflation_needs_a_costmap():
    with pytest.raises(TypeError):
        sp.inflate_costmap(np.zeros((3, 3), dtype=np.uint8), 0.5, 0.2, 1.0)


def test_inflation_of_a_real_map_reaches_the_inscribed_band():
    costmap = sp.load_costmap_pgm(str(DATA / "maps/turtlebot3/map.pgm"), 0.05)
    inflated = sp.inflate_costmap(costmap, 0.3, 0.1, 5.0)
    before = costmap.cells_array
    after = inflated.cells_array
    assert (after >= before).all()
    assert ((after == 254) == (before == 254)).all()
    # Known free cells (cost 0 in the file) next to a wall become inscribed.
    assert ((before == 0) & (after == 253)).sum() > 0


# --- loaders -------------------------------------------------------------------------------


def write(tmp_path, name, data):
    path = tmp_path / name
    path.write_bytes(data if isinstance(data, bytes) else data.encode())
    return str(path)


@pytest.mark.parametrize(
    "data",
    [b"P2\n# hand made\n3 2\n255\n0 1 2\n3 4 5\n", b"P5\n3 2\n255\n\x00\x01\x02\x03\x04\x05"],
)
def test_pgm_rows_are_flipped_and_origin_defaults_to_zero(tmp_path, data):
    costmap = sp.load_costmap_pgm(write(tmp_path, "a.pgm", data), 0.5)
    assert (costmap.width, costmap.height, costmap.resolution) == (3, 2, 0.5)
    assert (costmap.origin_x, costmap.origin_y) == (0.0, 0.0)
    assert costmap.cells_array.tolist() == [[3, 4, 5], [0, 1, 2]]


def test_pgm_maxval_scaling_and_keywords(tmp_path):
    path = write(tmp_path, "a.pgm", "P2 3 1 100 50 100 0")
    costmap = sp.load_costmap_pgm(path=path, resolution=1.0, origin_x=-2.0, origin_y=3.5)
    assert costmap.cells_array.tolist() == [[128, 255, 0]]
    assert (costmap.origin_x, costmap.origin_y) == (-2.0, 3.5)


@pytest.mark.parametrize(
    ("data", "error", "message"),
    [
        ("P3 1 1 255 0", RuntimeError, "only P2 and P5 PGM files are supported"),
        ("P2 0 1 255", RuntimeError, "invalid PGM width"),
        ("P2 4x 1 255", RuntimeError, "invalid PGM width"),
        ("P2 abc 1 255", ValueError, "stoull"),
        ("P2 99999999999999999999 1 255", IndexError, "stoull"),
        ("P2 1 1 256", RuntimeError, "16-bit PGM files are not supported"),
        ("P2 2 1 255 7", RuntimeError, "unexpected end of PGM header"),
        ("P2 1 1 100 101", RuntimeError, "PGM pixel exceeds maximum value"),
        ("P2 1 1 255 1.5", RuntimeError, "invalid PGM pixel"),
        ("P5 2 1 255#\n\x01\x02", RuntimeError, "invalid PGM header separator"),
        ("P5 2 1 255\n\x01", RuntimeError, "PGM pixel data is truncated"),
        ("P5 100000 100000 255\n\x01\x02", RuntimeError, "PGM pixel data is truncated"),
        ("P5 4294967296 4294967297 255\n", ValueError, "costmap cells size does not match width*height"),
        ("P2 4294967296 2147483648 255\n", ValueError, "cannot create std::vector larger than max_size()"),
    ],
)
def test_pgm_errors(tmp_path, data, error, message):
    path = write(tmp_path, "bad.pgm", data.encode("latin-1"))
    with pytest.raises(error) as caught:
        sp.load_costmap_pgm(path, 1.0)
    assert str(caught.value) == message


def test_loader_geometry_errors(tmp_path):
    path = write(tmp_path, "a.csv", "1,2\n")
    with pytest.raises(ValueError) as caught:
        sp.load_costmap_csv(path, 0.0)
    assert str(caught.value) == "costmap resolution/origin must be finite and resolution positive"


def test_csv_rows_in_file_order(tmp_path):
    path = write(tmp_path, "a.csv", "# costs\n1,2,3\n\n4,5,6\n")
    costmap = sp.load_costmap_csv(path, 0.25)
    assert (costmap.width, costmap.height) == (3, 2)
    assert costmap.cells_array.tolist() == [[1, 2, 3], [4, 5, 6]]
    assert (costmap.origin_x, costmap.origin_y) == (0.0, 0.0)


@pytest.mark.parametrize("line", ["1,2,3", "1 2 3", "1,,2,,3", "1,2,3\r", "\t1, 2 ,3 ,"])
def test_csv_separators(tmp_path, line):
    path = write(tmp_path, "a.csv", line + "\n,,,\n")
    assert sp.load_costmap_csv(path, 1.0).cells_array.tolist() == [[1, 2, 3]]


@pytest.mark.parametrize(
    ("data", "message"),
    [
        ("1,256\n", "CSV cost values must be in [0, 255]"),
        ("-1\n", "CSV cost values must be in [0, 255]"),
        ("1,2,x\n", "invalid CSV costmap row: 1 2 x"),
        ("1,2\n1,2,3\n", "CSV costmap rows have different widths"),
    ],
)
def test_csv_errors(tmp_path, data, message):
    path = write(tmp_path, "bad.csv", data)
    with pytest.raises(RuntimeError) as caught:
        sp.load_costmap_csv(path, 1.0)
    assert str(caught.value) == message


def test_csv_empty_names_the_path(tmp_path):
    path = write(tmp_path, "empty.csv", "# nothing\n\n")
    with pytest.raises(RuntimeError) as caught:
        sp.load_costmap_csv(path, 1.0)
    assert str(caught.value) == "CSV costmap is empty: " + path


@pytest.mark.parametrize("loader", [sp.load_costmap_csv, sp.load_costmap_pgm])
def test_missing_file(tmp_path, loader):
    path = str(tmp_path / "missing")
    with pytest.raises(RuntimeError) as caught:
        loader(path, 1.0)
    assert str(caught.value) == "cannot open input file: " + path


def test_paths_as_bytes_but_not_path_objects(tmp_path):
    path = write(tmp_path, "a.csv", "9\n")
    assert sp.load_costmap_csv(os.fsencode(path), 1.0).get_cost(0, 0) == 9
    assert sp.load_costmap_csv(bytearray(os.fsencode(path)), 1.0).get_cost(0, 0) == 9
    with pytest.raises(TypeError):
        sp.load_costmap_csv(pathlib.Path(path), 1.0)


# --- writers -------------------------------------------------------------------------------


def sample_result():
    result = sp.PlannerResult()
    result.status = sp.PlannerStatus.SUCCESS
    result.message = 'say "hi"\t\\ caf\u00e9\x01'
    result.path = [sp.Pose2D(0.5, 1.0, -2.0), sp.Pose2D(0.1, 1e20, -0.0), sp.Pose2D(1.0, 2.0, 3.0)]
    result.directions = [sp.Direction.REVERSE, sp.Direction.FORWARD]
    result.map_revision = 2**64 - 1
    result.goal_revision = 3
    result.diagnostics.total_time_ms = 1.5
    result.diagnostics.path_length = math.nan
    result.diagnostics.expanded_nodes = 12
    return result


def test_path_csv_bytes(tmp_path):
    path = str(tmp_path / "path.csv")
    assert sp.save_path_csv(sample_result(), path) is None
    assert (tmp_path / "path.csv").read_bytes() == (
        b"x,y,yaw,direction\n0.5,1,-2,-1\n0.10000000000000001,1e+20,-0,1\n1,2,3,0\n"
    )


def test_empty_result_files(tmp_path):
    csv_path, json_path = tmp_path / "p.csv", tmp_path / "r.json"
    sp.save_path_csv(result=sp.PlannerResult(), path=str(csv_path))
    sp.save_result_json(result=sp.PlannerResult(), path=str(json_path))
    assert csv_path.read_bytes() == b"x,y,yaw,direction\n"
    text = json_path.read_text()
    assert text.startswith('{\n  "status": "INTERNAL_ERROR",\n  "message": "",\n')
    assert text.endswith('"in_place_rotation_count": 0},\n  "path": [\n  ]\n}\n')
    document = json.loads(text)
    assert document["revisions"] == {"map": 0, "goal": 0, "robot": 0}
    assert document["diagnostics"]["obstacle_heuristic_cache_hit"] is False
    assert document["path"] == []


def test_result_json_is_valid_and_exact(tmp_path):
    path = tmp_path / "r.json"
    sp.save_result_json(sample_result(), str(path))
    raw = path.read_bytes()
    assert b'  "message": "say \\"hi\\"\\t\\\\ caf\xc3\xa9\\u0001",\n' in raw
    assert b'  "revisions": {"map": 18446744073709551615, "goal": 3, "robot": 0},\n' in raw
    assert b'"path_length": null, ' in raw
    document = json.loads(raw)
    assert document["status"] == "SUCCESS"
    assert document["message"] == 'say "hi"\t\\ caf\u00e9\x01'
    assert document["diagnostics"]["total_time_ms"] == 1.5
    assert document["diagnostics"]["expanded_nodes"] == 12
    assert document["path"] == [
        {"x": 0.5, "y": 1, "yaw": -2, "direction": -1},
        {"x": 0.1, "y": 1e20, "yaw": -0.0, "direction": 1},
        {"x": 1, "y": 2, "yaw": 3, "direction": 0},
    ]


@pytest.mark.parametrize(
    ("writer", "prefix"),
    [(sp.save_path_csv, "cannot open output file: "), (sp.save_result_json, "cannot open output file: ")],
)
def test_writers_report_unopenable_paths(tmp_path, writer, prefix):
    for path in [str(tmp_path), str(tmp_path / "missing" / "out.txt")]:
        with pytest.raises(RuntimeError) as caught:
            writer(sample_result(), path)
        assert str(caught.value) == prefix + path
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    ("writer", "message"),
    [
        (sp.save_path_csv, "failed to write path CSV: /dev/full"),
        (sp.save_result_json, "failed to write result JSON: /dev/full"),
    ],
)
def test_writers_report_failed_writes(writer, message):
    with pytest.raises(RuntimeError) as caught:
        writer(sample_result(), "/dev/full")
    assert str(caught.value) == message


def test_writer_argument_order_is_result_then_path(tmp_path):
    with pytest.raises(TypeError):
        sp.save_path_csv(str(tmp_path / "p.csv"), sample_result())
