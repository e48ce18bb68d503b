"""Maps described by YAML files, as the veltrax_se2 package reads them and the command line reports
their faults."""

import os

import numpy as np
import pytest

from veltrax_se2 import MapFileError, cli, load_map, read_map_metadata

# One image row (the top of the map) with grey levels chosen around the default thresholds:
# occupancy = (255 - grey) / 255; occupied above 0.65, free below 0.196.
GREYS = [0, 89, 90, 204, 205, 254, 255]
FAR = "costmap corners are too far from the origin for its resolution"


def write_map(directory, image="map.pgm", image_bytes=None, **fields):
    if image_bytes is None:
        rows = np.array([GREYS, [254] * len(GREYS)], dtype=np.uint8)
        image_bytes = b"P5\n7 2\n255\n" + rows.tobytes()
    if image_bytes:
        (directory / image).write_bytes(image_bytes)
    values = {"image": image, "resolution": 0.5, "origin": "[1.0, -2.0, 0.0]", "negate": 0,
              "occupied_thresh": 0.65, "free_thresh": 0.196, **fields}
    text = "".join(f"{key}: {value}\n" for key, value in values.items() if value is not None)
    path = directory / "map.yaml"
    path.write_bytes(text.encode("utf-8", "surrogateescape"))
    return path


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
def test_occupancy_conventions(tmp_path, fields, expected_top_row):
    costmap = load_map(write_map(tmp_path, **fields))
    assert (costmap.width, costmap.height) == (7, 2)
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, 1.0, -2.0)
    # The image's first row is the top of the map: grid row height - 1.
    assert costmap.cells_array[1].tolist() == expected_top_row


def test_image_path_is_relative_to_the_yaml_file(tmp_path, monkeypatch):
    yaml_path = write_map(tmp_path)
    monkeypatch.chdir(tmp_path.parent)
    assert read_map_metadata(yaml_path).image == str(tmp_path / "map.pgm")
    assert load_map(yaml_path).width == 7


def png(directory, mode, size, value):
    Image = pytest.importorskip("PIL.Image")
    Image.new(mode, size, value).save(directory / "m.png")
    return "m.png"


# The 16-bit PNG once loaded clipped to 8 bits (occupied as free), the others crashed or hung.
@pytest.mark.parametrize(
    ("make", "message"),
    [
        (lambda t: write_map(t, origin="[1.0, -2.0, 0.5]"),
         "map.yaml: origin yaw 0.5 is not supported; costmaps are axis-aligned, rotate the image instead"),
        (lambda t: write_map(t, origin="[1.0]"), "map.yaml: 'origin' must be a list [x, y, yaw] of finite numbers"),
        (lambda t: write_map(t, resolution=None), "map.yaml: missing key 'resolution'"),
        (lambda t: write_map(t, resolution="fine"), "map.yaml: 'resolution' must be a finite number, got 'fine'"),
        (lambda t: write_map(t, resolution="1" + "0" * 400),
         "map.yaml: 'resolution' must be a finite number, got 1" + "0" * 56 + "..."),
        (lambda t: write_map(t, mode="fancy"), "map.yaml: 'mode' must be one of trinary, scale, raw, got 'fancy'"),
        (lambda t: write_map(t, negate=2), "map.yaml: 'negate' must be 0 or 1, got 2"),
        (lambda t: write_map(t, free_thresh=0.9),
         "map.yaml: thresholds must satisfy 0 <= free_thresh <= occupied_thresh <= 1"),
        (lambda t: write_map(t, image="none.pgm", image_bytes=b""), "none.pgm: cannot open input file: none.pgm"),
        (lambda t: write_map(t, image=png(t, "I;16", (3, 2), 1000), image_bytes=b""),
         "m.png: images with more than 8 bits per channel are not supported (mode I;16)"),
        (lambda t: write_map(t, image=png(t, "L", (8000, 8000), 0), image_bytes=b""),
         "m.png: image of 8000 x 8000 pixels exceeds the limit of 40,000,000 pixels"),
        (lambda t: write_map(t, image="m\udcff.pgm"), "map.yaml: not UTF-8 text"),
        (lambda t: write_map(t, image='"m\\0.pgm"', image_bytes=b""), "map.yaml: 'image' contains a NUL character"),
        (lambda t: write_map(t, origin="[1.0e+15, 0, 0]"), f"map.pgm: {FAR}"),
        (lambda t: "a\0.yaml", "map file name 'a\\x00.yaml' contains a NUL character"),
    ],
    ids=["origin_yaw", "short_origin", "no_resolution", "word_resolution", "huge_integer", "mode", "negate",
         "thresholds", "missing_image", "png_16_bit", "png_bomb", "not_utf8", "nul_in_image", "far_origin",
         "nul_in_yaml_name"],
)
def test_bad_map_files_are_map_file_errors_and_exit_with_two(tmp_path, capsys, make, message):
    path = make(tmp_path)
    with pytest.raises(MapFileError) as caught:
        load_map(path)
    assert str(caught.value).replace(f"{tmp_path}{os.sep}", "") == message
    # The command line reports it as a bad file, not as a failed plan with a traceback.
    assert cli.run([str(path), "--start", "0", "0", "0", "--goal", "0", "0", "0"]) == 2
    assert capsys.readouterr().err.replace(f"{tmp_path}{os.sep}", "") == f"veltrax-plan: error: {message}\n"
