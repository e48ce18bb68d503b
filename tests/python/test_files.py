"""Inflation, costmap loaders and result writers, through the module."""

import math
import os
import pathlib

import numpy as np
import pytest

import _se2_planner as sp

def seed_map(width=13, height=13, resolution=0.1, seeds=((6, 6),), fill=0):
    cells = np.full((height, width), fill, dtype=np.uint8)
    for x, y in seeds:
        cells[y, x] = 254
    return sp.Costmap(cells, resolution, 0.5, -0.25)


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


@pytest.mark.parametrize(
    ("inflation", "inscribed", "factor"),
    [
        (0.5, 0.6, 1.0),
        (math.nan, 0.0, 1.0),
    ],
)
def test_inflation_rejects_parameters(inflation, inscribed, factor):
    with pytest.raises(ValueError, match=r"^invalid inflation parameters$"):
        sp.inflate_costmap(seed_map(), inflation, inscribed, factor)


def test_inflation_needs_a_costmap():
    with pytest.raises(TypeError):
        sp.inflate_costmap(np.zeros((3, 3), dtype=np.uint8), 0.5, 0.2, 1.0)


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


@pytest.mark.parametrize(
    ("data", "error", "message"),
    [
        ("P3 1 1 255 0", RuntimeError, "only P2 and P5 PGM files are supported"),
        ("P5 2 1 255\n\x01", RuntimeError, "PGM pixel data is truncated"),
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
        (sp.save_path_csv, "output file is not a regular file: /dev/full"),
        (sp.save_result_json, "output file is not a regular file: /dev/full"),
    ],
)
def test_writers_report_failed_writes(writer, message):
    with pytest.raises(RuntimeError) as caught:
        writer(sample_result(), "/dev/full")
    assert str(caught.value) == message


def test_writer_argument_order_is_result_then_path(tmp_path):
    with pytest.raises(TypeError):
        sp.save_path_csv(str(tmp_path / "p.csv"), sample_result())
