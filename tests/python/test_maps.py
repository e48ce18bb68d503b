"""Maps described by YAML files, as the veltrax_se2 package reads them and the command line reports
their faults."""

import os

import numpy as np
import pytest

import _se2_planner as sp
import veltrax_se2
from veltrax_se2 import MapFileError, cli, load_map, read_map_metadata

# One image row (the top of the map) with grey levels chosen around the default thresholds:
# occupancy = (255 - grey) / 255; occupied above 0.65, free below 0.196.
GREYS = [0, 89, 90, 204, 205, 254, 255]
FAR = "costmap corners are too far from the origin for its resolution"


def write_map(directory, image="map.pgm", image_bytes=None, **fields):
    if image_bytes is None:
        image_bytes = b"P5\n7 2\n255\n" + bytes(GREYS + [254] * len(GREYS))
    if image_bytes:
        (directory / image).write_bytes(image_bytes)
    values = {"image": image, "resolution": 0.5, "origin": "[1.0, -2.0, 0.0]", "negate": 0,
              "occupied_thresh": 0.65, "free_thresh": 0.196, **fields}
    text = "".join(f"{key}: {value}\n" for key, value in values.items() if value is not None)
    path = directory / "map.yaml"
    path.write_bytes(text.encode("utf-8", "surrogateescape"))
    return path


# The conventions themselves are the library's (tests/cpp/test_io.cpp); scale shows the mode is passed.
@pytest.mark.parametrize("fields, expected_top_row", [({}, [254, 254, 255, 255, 255, 0, 0]),
                                                      ({"mode": "scale"}, [254, 254, 250, 2, 0, 0, 0])])
def test_yaml_maps_load_with_the_image_beside_them(tmp_path, monkeypatch, fields, expected_top_row):
    yaml_path = write_map(tmp_path, **fields)
    monkeypatch.chdir(tmp_path.parent)
    assert read_map_metadata(yaml_path).image == str(tmp_path / "map.pgm")
    costmap = load_map(yaml_path)
    assert (costmap.width, costmap.height) == (7, 2)
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, 1.0, -2.0)
    # The image's first row is the top of the map: grid row height - 1.
    assert costmap.cells_array[1].tolist() == expected_top_row


def png(directory, mode, size, value):
    Image = pytest.importorskip("PIL.Image")
    Image.new(mode, size, value).save(directory / "m.png")
    return "m.png"


# The 16-bit PNG once loaded clipped to 8 bits (occupied as free), the others crashed or hung; the
# library's own refusals of map descriptions are in tests/cpp/test_io.cpp.
@pytest.mark.parametrize(
    ("make", "message"),
    [
        (lambda t: write_map(t, resolution="1" + "0" * 400),
         "map.yaml: 'resolution' must be a finite number, got 1" + "0" * 56 + "..."),
        (lambda t: write_map(t, mode="raw"), "map.pgm: raw occupancy value 254 is neither 0..100 nor 255 (unknown)"),
        (lambda t: write_map(t, image="none.pgm", image_bytes=b""), "none.pgm: cannot open input file: none.pgm"),
        (lambda t: write_map(t, image=png(t, "I;16", (3, 2), 1000), image_bytes=b""),
         "m.png: images with more than 8 bits per channel are not supported (mode I;16)"),
        (lambda t: write_map(t, image=png(t, "L", (8000, 8000), 0), image_bytes=b""),
         "m.png: image of 8000 x 8000 pixels exceeds the limit of 40,000,000 pixels"),
        (lambda t: write_map(t, image='"m\\0.pgm"', image_bytes=b""), "map.yaml: 'image' contains a NUL character"),
        (lambda t: write_map(t, origin="[1.0e+15, 0, 0]"), f"map.pgm: {FAR}"),
        (lambda t: "a\0.yaml", "map file name 'a\\x00.yaml' contains a NUL character"),
    ],
    ids=["huge_integer", "raw_pixel", "missing_image", "png_16_bit", "png_bomb", "nul_in_image", "far_origin",
         "nul_in_yaml_name"],
)
def test_bad_map_files_are_map_file_errors_and_exit_with_two(tmp_path, capsys, make, message):
    path = make(tmp_path)
    with pytest.raises(MapFileError) as caught:
        load_map(path)
    assert str(caught.value).replace(f"{tmp_path}{os.sep}", "") == message
    if "m.png" in message:  # the library refuses these images with the same words
        with pytest.raises(sp.MapFormatError) as caught:
            sp.load_map(str(path))
        assert str(caught.value).replace(f"{tmp_path}{os.sep}", "") == message
    # The command line reports it as a bad file, not as a failed plan with a traceback.
    assert cli.run([str(path), "--start", "0", "0", "0", "--goal", "0", "0", "0"]) == 2
    assert capsys.readouterr().err.replace(f"{tmp_path}{os.sep}", "") == f"veltrax-plan: error: {message}\n"


# A transparent pixel is unknown whether alpha or a tRNS chunk says so; the opaque one is black. The
# library's own PNG decoder (libpng) gives what Pillow's does, for these and other pixel layouts.
@pytest.mark.parametrize("mode, pixels, transparency, expected", [
    ("RGBA", [(255, 255, 255, 0), (0, 0, 0, 255)], None, [255, 254]), ("LA", [(255, 0), (0, 255)], None, [255, 254]),
    ("L", [7, 0], 7, [255, 254]), ("P", [1, 0], 1, [255, 254]), ("RGB", [(9, 9, 9), (0, 0, 0)], (9, 9, 9), [255, 254]),
    ("1", [1, 0], None, [0, 254]), ("RGB", [(250, 200, 255), (90, 0, 30)], None, [0, 254]),
    ("L", [205, 80], None, [255, 254]), ("P", [1, 0], None, [0, 254]),
])
def test_png_images_read_as_pillow_reads_them(tmp_path, mode, pixels, transparency, expected):
    Image = pytest.importorskip("PIL.Image")
    picture = Image.new(mode, (2, 1))
    if mode == "P":
        picture.putpalette([0, 0, 0, 255, 255, 255])
    picture.putdata(pixels)
    picture.save(tmp_path / "t.png", **({} if transparency is None else {"transparency": transparency}))
    yaml_path = write_map(tmp_path, image="t.png", image_bytes=b"")
    assert load_map(yaml_path).cells_array.tolist() == [expected]
    assert sp.load_map(str(yaml_path)).cells_array.tolist() == [expected]


# Random pixels of every layout, against Pillow.
@pytest.mark.parametrize("mode, save", [("L", {}), ("LA", {}), ("RGB", {}), ("RGBA", {}), ("1", {}),
                                        ("P", {"bits": 2}), ("P", {"bits": 4}), ("P", {"transparency": 3})])
def test_random_png_images_read_as_pillow_reads_them(tmp_path, mode, save):
    Image = pytest.importorskip("PIL.Image")
    rng = np.random.default_rng(len(mode) * 7 + len(save))
    bands = {"L": 1, "LA": 2, "RGB": 3, "RGBA": 4, "1": 1, "P": 1}[mode]
    limit = {"1": 2, "P": 4 if save.get("bits") == 2 else 16}.get(mode, 256)
    data = rng.integers(0, limit, size=(9, 13, bands), dtype=np.uint8)
    if mode == "1":
        picture = Image.fromarray(data[:, :, 0] * 255, mode="L").convert("1")
    elif mode == "P":
        picture = Image.frombytes("P", (13, 9), data.tobytes())
        picture.putpalette(rng.integers(0, 256, size=48, dtype=np.uint8).tolist())
    else:
        picture = Image.fromarray(data[:, :, 0] if bands == 1 else data, mode=mode)
    picture.save(tmp_path / "r.png", **save)
    yaml_path = write_map(tmp_path, image="r.png", image_bytes=b"", mode="scale")
    assert sp.load_map(str(yaml_path)).cells_array.tolist() == load_map(yaml_path).cells_array.tolist()


# The library's file failures arrive with types of their own, still the RuntimeError they always were,
# and with the library's texts; load_map picks a loader by content when the name says nothing.
@pytest.mark.parametrize("call, error, message", [
    (lambda t: sp.load_costmap_pgm(str(t / "none.pgm"), 1.0), veltrax_se2.FileError,
     "cannot open input file: none.pgm"),
    (lambda t: sp.load_costmap_csv(str(t / "none.csv"), 1.0), veltrax_se2.FileError,
     "cannot open input file: none.csv"),
    (lambda t: sp.load_map(str(write_map(t, mode="raw"))), veltrax_se2.MapFormatError,
     "map.pgm: raw occupancy value 254 is neither 0..100 nor 255 (unknown)"),
    (lambda t: sp.map_format(str(t / "m.bmp")), veltrax_se2.MapFormatError,
     "m.bmp: unknown map format (expected .yaml, .yml, .map, .pgm or .csv)"),
])
def test_file_failures_have_types_of_their_own(tmp_path, call, error, message):
    with pytest.raises(RuntimeError) as caught:
        call(tmp_path)
    assert type(caught.value) is error and issubclass(error, RuntimeError)
    assert str(caught.value).replace(f"{tmp_path}{os.sep}", "") == message


def test_load_map_reads_a_grid_by_its_contents(tmp_path):
    path = tmp_path / "grid.txt"
    path.write_text("type octile\nheight 2\nwidth 2\nmap\n.@\nT.\n")
    costmap = load_map(path, 0.5, (1.0, 2.0))
    assert costmap.cells_array.tolist() == [[254, 0], [0, 254]]
    assert (costmap.resolution, costmap.origin_x, costmap.origin_y) == (0.5, 1.0, 2.0)
