"""Reproducers of faults found by using the module as a hostile or careless caller would.

Inputs that once crashed the interpreter or hung run in a child process under a time and memory
limit, so that a regression fails one row instead of the whole run; each row states the one answer
the library must give now."""

import math
import os
import resource
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _se2_planner as sp
from veltrax_se2 import MapFileError, cli, load_map

FAR = "costmap corners are too far from the origin for its resolution"


def isolated(code):
    """Runs code in a fresh interpreter (20 s, 4 GB of address space); its output, stripped."""

    def limits():
        resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))

    prelude = textwrap.dedent(
        """
        import math, os, sys, threading
        import numpy as np
        import _se2_planner as sp

        def report(call):
            try:
                print("returned", call())
            except Exception as error:
                print(f"{type(error).__name__}: {error}")
        """
    )
    done = subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True, text=True, timeout=20, preexec_fn=limits,
    )
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout.strip()


# --- crashes and hangs, each in its own interpreter ------------------------------------------

PLAN_FAR = """
o = 2.0**60
report(lambda: sp.HybridAStar(np.zeros((430, 430), np.uint8), 0.3, o, o))
"""

# Another thread rewrites what plan was given while it runs: every answer must be one of those the
# two settings give on their own.
RACE = """
p = sp.HybridAStar(np.zeros((60, 60), np.uint8), 0.1, 0.0, 0.0)
r = sp.PlanRequest(); r.start = sp.Pose2D(1, 1, 0); r.goal = sp.Pose2D(5, 4, 1.57)
cfg = sp.PlannerConfig()
polygon = sp.PolygonFootprint([sp.Point2D(0.25 * math.cos(2 * math.pi * k / 60),
                                          0.25 * math.sin(2 * math.pi * k / 60)) for k in range(60)])
circle = sp.CircleFootprint(0.25)
stop = False
def flip():
    k = 0
    while not stop:
        k += 1
        if FIELD == "footprint":
            r.footprint = polygon if k % 2 else circle
        else:
            cfg.terminal_check_interval = 0 if k % 2 else 256
threading.Thread(target=flip, daemon=True).start()
seen = set()
for _ in range(40):
    res = p.plan(r, cfg)
    seen.add((sp.planner_status_name(res.status), res.message))
stop = True
allowed = {("SUCCESS", "path found"),
           ("INVALID_REQUEST", "terminal_check_interval must be positive")}
print("ok" if seen <= allowed else seen)
"""

MILLION_POINTS = """
pts = [sp.Point2D(math.cos(t), math.sin(t)) for t in np.linspace(0, 6.28, 1_000_000, endpoint=False)]
print(sp.validate_footprint(sp.PolygonFootprint(pts)))
"""

# The node index over 2000 x 2000 cells x 72 bins wants 1.15 GB of address space.
ADDRESS_SPACE = """
import resource
resource.setrlimit(resource.RLIMIT_AS, (1_000_000_000, 1_000_000_000))
p = sp.HybridAStar(np.zeros((2000, 2000), np.uint8), 0.05, 0.0, 0.0)
r = sp.PlanRequest(); r.start = sp.Pose2D(10, 10, 0); r.goal = sp.Pose2D(30, 12, 1.0)
print(sp.planner_status_name(p.plan(r, sp.recommended_config(0.05, r.footprint)).status))
"""

@pytest.mark.parametrize(
    ("code", "expected"),
    [
        (PLAN_FAR, f"ValueError: {FAR}"),
        (ADDRESS_SPACE, "SUCCESS"),
        ("FIELD = 'footprint'\n" + RACE, "ok"),
        ("FIELD = 'interval'\n" + RACE, "ok"),
        (MILLION_POINTS, "['polygon footprint must have at most 1024 points']"),
    ],
    ids=["far_origin_segfault", "address_space_limit", "footprint_race", "config_race", "million_points"],
)
def test_crash_and_hang_reproducers(code, expected):
    assert isolated(code) == expected


# --- files read wrongly or quoted unsafely ---------------------------------------------------------


@pytest.mark.parametrize(
    ("name", "data", "error", "message"),
    [
        ("a.pgm", b"P5 4000000000 4000000000 255\n\x01", RuntimeError, "PGM pixel data is truncated"),
        ("c.pgm", b"P2 -18446744073709551614 1 255\n0 0", RuntimeError, "invalid PGM width"),
        ("d.csv", b"1,,3\n", RuntimeError, "empty field in CSV costmap row: 1,,3"),
        ("e.csv", b"1 2\n" + b"7" * 100_000 + b"x\n", RuntimeError,
         "invalid CSV costmap row: " + "7" * 40 + "..."),
        ("f.csv", b"1 \xff\xfe\n", RuntimeError, r"invalid CSV costmap row: 1 \xff\xfe"),
    ],
)
def test_bad_map_files(tmp_path, name, data, error, message):
    path = tmp_path / name
    path.write_bytes(data)
    loader = sp.load_costmap_pgm if name.endswith(".pgm") else sp.load_costmap_csv
    with pytest.raises(error) as caught:
        loader(str(path), 0.05)
    assert str(caught.value) == message


# --- maps through YAML and the command line -----------------------------------------------------


def write_map(tmp_path, image_name, image_bytes=None, **fields):
    if image_bytes is not None:
        (tmp_path / image_name).write_bytes(image_bytes)
    text = "".join(f"{key}: {value}\n" for key, value in {
        "image": image_name, "resolution": 0.05, "origin": "[0, 0, 0]", **fields}.items())
    path = tmp_path / "map.yaml"
    path.write_bytes(text.encode("utf-8", "surrogateescape"))
    return path


def png(tmp_path, mode, size, value):
    Image = pytest.importorskip("PIL.Image")
    Image.new(mode, size, value).save(tmp_path / "m.png")
    return "m.png"


@pytest.mark.parametrize(
    ("make", "message"),
    [
        (lambda t: write_map(t, png(t, "I;16", (3, 2), 1000)),
         "m.png: images with more than 8 bits per channel are not supported (mode I;16)"),
        (lambda t: write_map(t, png(t, "L", (8000, 8000), 0)),
         "m.png: image of 8000 x 8000 pixels exceeds the limit of 40,000,000 pixels"),
        (lambda t: write_map(t, "m.pgm", b"P2 1 1 255 0", resolution="1" + "0" * 400),
         "map.yaml: 'resolution' must be a finite number, got 1" + "0" * 56 + "..."),
        (lambda t: write_map(t, "m\udcff.pgm", b"P2 1 1 255 0"), "map.yaml: not UTF-8 text"),
        (lambda t: write_map(t, '"m\\0.pgm"', None), "map.yaml: 'image' contains a NUL character"),
        (lambda t: write_map(t, "m.pgm", b"P2 1 1 255 0", origin="[1.0e+15, 0, 0]"), f"m.pgm: {FAR}"),
    ],
    ids=["png_16_bit", "png_bomb", "huge_integer", "not_utf8", "nul_in_image", "far_origin"],
)
def test_map_files_fail_with_map_file_error(tmp_path, capsys, make, message):
    path = make(tmp_path)
    with pytest.raises(MapFileError) as caught:
        load_map(path)
    assert str(caught.value).replace(f"{tmp_path}{os.sep}", "") == message
    # The command line reports it as a bad file (2), not as a failed plan with a traceback.
    assert cli.run([str(path), "--start", "0", "0", "0", "--goal", "0", "0", "0"]) == 2
    assert capsys.readouterr().err.replace(f"{tmp_path}{os.sep}", "") == f"veltrax-plan: error: {message}\n"


def test_nan_start_is_a_bad_argument(tmp_path, capsys):
    path = write_map(tmp_path, "m.pgm", b"P2 1 1 255 0")
    assert cli.run([str(path), "--start", "nan", "0", "0", "--goal", "0", "0", "0"]) == 2
    assert capsys.readouterr().err == "veltrax-plan: error: --start and --goal must be finite numbers\n"
