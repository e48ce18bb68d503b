import pathlib

import numpy as np
import pytest

import _se2_planner as sp
from veltrax_se2 import MapFileError, load_map, read_map_metadata

DATA_MAPS = pathlib.Path(__file__).resolve().parents[2] / "data" / "maps"
# One image row (the top of the map) with grey levels chosen around the default thresholds:
# occupancy = (255 - grey) / 255; occupied above 0.65, free below 0.196.
GREYS = [0, 89, 90, 204, 205, 254, 255]


def write_pgm(path, rows):
    rows = np.asarray(rows, dtype=np.uint8)
    header = f"P5\n{rows.shape[1]} {rows.shape[0]}\n255\n".encode()
    path.write_bytes(header + rows.tobytes())


def write_yaml(path, **fields):
    defaults = {"image": "map.pgm", "resolution": 0.5, "origin": "[1.0, -2.0, 0.0]", "negate": 0,
                "occupied_thresh": 0.65, "free_thresh": 0.196}
    defaults.update(fields)
    path.write_text("".join(f"{k}: {v}\n" for k, v in defaults.items() if v is not None))
    return path


@pytest.fixture
def map_dir(tmp_path):
    write_pgm(tmp_path / "map.pgm", [GREYS, [254] * len(GREYS)])
    return tmp_path


@pytest.mark.parametrize(
    "fields, expected_top_row",
    [
        ({}, [254, 254, 255, 255, 255, 0, 0]),
        # negate: occupancy = grey / 255, so bright is occupied.
        ({"negate": 1}, [0, 255, 255, 254, 254, 254, 254]),
        # scale: in-between occupancies graded linearly from free_thresh (0) to occupied_thresh (252).
        ({"mode": "scale"}, [254, 254, 250, 2, 0, 0, 0]),
    ],
)
def test_occupancy_conventions(map_dir, fields, expected_top_row):
    costmap = load_map(write_yaml(map_dir / "map.yaml", **fields))
    cells = costmap.cells_array
    assert (costmap.width, costmap.height) == (7, 2)
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, 1.0, -2.0)
    # The image's first row is the top of the map: grid row height - 1.
    assert cells[1].tolist() == expected_top_row


def test_image_path_is_relative_to_the_yaml_file(map_dir, tmp_path, monkeypatch):
    yaml_path = write_yaml(map_dir / "map.yaml")
    monkeypatch.chdir(tmp_path.parent)
    assert read_map_metadata(yaml_path).image == str(map_dir / "map.pgm")
    assert load_map(yaml_path).width == 7


@pytest.mark.parametrize(
    "fields, message",
    [
        ({"origin": "[1.0, -2.0, 0.5]"}, "origin yaw 0.5 is not supported"),
        ({"origin": "[1.0]"}, "'origin' must be a list [x, y, yaw] of finite numbers"),
        ({"resolution": None}, "missing key 'resolution'"),
        ({"resolution": "fine"}, "'resolution' must be a finite number"),
        ({"mode": "fancy"}, "'mode' must be one of trinary, scale, raw"),
        ({"negate": 2}, "'negate' must be 0 or 1"),
        ({"free_thresh": 0.9}, "thresholds must satisfy"),
        ({"image": "missing.pgm"}, "cannot open input file"),
    ],
)
def test_bad_descriptions_are_refused_clearly(map_dir, fields, message):
    with pytest.raises(MapFileError) as raised:
        load_map(write_yaml(map_dir / "map.yaml", **fields))
    assert message in str(raised.value)


