"""The veltrax-plan command line: files written, exit codes, failures explained, and one line on
stderr for every fault of the caller's."""

import json
import math
import os
import pathlib
import subprocess
import sys

import pytest

from veltrax_se2 import cli

MAPS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps"
PARKING = str(MAPS / "parking_lot.yaml")
WAREHOUSE = str(MAPS / "warehouse.yaml")
# Reversing into a free slot of the lower row, facing out of it.
INTO_SLOT = ["--start", "2.0", "4.8", "0", "--goal", "3.04", "0.9", str(math.pi / 2)]


def test_module_plans_into_a_parking_slot_and_writes_files(tmp_path):
    svg, js, csv = tmp_path / "plan.svg", tmp_path / "plan.json", tmp_path / "plan.csv"
    out = subprocess.run([sys.executable, "-m", "veltrax_se2", PARKING, *INTO_SLOT, "--svg", str(svg),
                          "--json", str(js), "--csv", str(csv)], capture_output=True, text=True)
    assert out.returncode == 0, out.stdout + out.stderr
    assert "status:   SUCCESS: path found" in out.stdout
    assert f"map:      {PARKING} (240 x 160 cells of 0.05 m)" in out.stdout
    result = json.loads(js.read_text())
    labels = [pose["direction"] for pose in result["path"] if pose["direction"] != 0]
    assert sum(a != b for a, b in zip(labels, labels[1:])) == 1  # in forward, back into the slot
    d = result["diagnostics"]
    assert out.stdout.splitlines()[2:] == [
        f"path:     {d['path_length']:.3f} m, {len(result['path'])} poses, 1 cusp, {d['reverse_count']} "
        f"reverse steps, {d['in_place_rotation_count']} rotation steps", *out.stdout.splitlines()[3:-1],
        f"written:  {svg}, {js}, {csv}"]
    assert svg.read_text().startswith("<?xml")
    assert len(csv.read_text().splitlines()) == len(result["path"]) + 1


ACROSS = [WAREHOUSE, "--start", "1", "1", "0", "--goal", "14", "9", "0", "--set", "max_expanded_nodes=5000"]
FROM_LANE = [PARKING, "--start", "2", "4.8", "0"]


# Across the bundled warehouse: a few hundred expansions with the recommended configuration the
# command line starts from, over a hundred thousand with the library defaults. Failures say why.
@pytest.mark.parametrize("argv, code, line", [
    (ACROSS, 0, "status:   SUCCESS: path found"),
    ([*ACROSS, "--library-defaults"], 1, "status:   MAX_NODES_EXCEEDED: maximum expanded nodes exceeded"),
    ([*FROM_LANE, "--goal", "0.4", "4", "0", "--radius", "0.2"], 1,
     "reason:   goal footprint touches unknown cells; --set allow_unknown=1 plans through unknown space"),
    ([PARKING, "--start", "0.4", "4.2", "0", "--goal", "6", "4", "0", "--radius", "0.4"], 1,
     "reason:   start footprint touches lethal and unknown cells; move the start or use a smaller footprint "
     "(--set allow_unknown=1 alone would not free it)"),
    ([*FROM_LANE, "--goal", "6", "4", "0", "--radius", "30"], 1,  # centimetres meant
     "reason:   start footprint touches off-map cells; move the start or use a smaller footprint; the footprint "
     "reaches 30 m from the robot's origin, wider than the map (8 m across): footprints are in metres (a radius "
     "of 30 cm is 0.3)"),
    ([*FROM_LANE, "--goal", "30", "4", "0"], 1,
     "reason:   goal (30, 4) is outside the map, which covers x 0..12 m, y 0..8 m"),
    ([*FROM_LANE, "--goal", "3.04", "0.9", "90", "--degrees", "--set", "max_expanded_nodes=10"], 1,
     "reason:   gave up after 10 expansions (--set max_expanded_nodes=...); the recommended configuration or "
     "a larger budget may solve it"),
    ([WAREHOUSE, "--start", "1", "5", "0", "--goal", "1", "5", "180", "--degrees", "--in-place-rotation"], 0,
     "path:     0.000 m, 36 poses, 0 cusps, 0 reverse steps, 35 rotation steps"),  # turning on the spot
    # An explicit radius keeps the inscribed band (the 0.25 m circle's) and 10 per metre beyond it.
    ([*ACROSS, "--inflate", "0.6"], 0, f"map:      {WAREHOUSE} (300 x 200 cells of 0.05 m), inflated to 0.60 m "
                                       "(cost scaling 10.00 per m, inscribed 0.25 m)"),
])
def test_outcomes_exit_codes_and_what_to_change(argv, code, line, capsys):
    assert cli.run(argv) == code
    lines = capsys.readouterr().out.splitlines()
    assert line in lines
    radius = float(argv[argv.index("--radius") + 1]) if "--radius" in argv else 0.25  # costs 10/252 of 252 there
    assert "--inflate" in argv or lines[0].endswith(
        f"inflated to {radius:.2f} m (cost scaling {math.log(25.2) / radius:.2f} per m)")
    assert float(lines[-1].split()[1]) > 0  # measured wall time, also where the record has none


@pytest.mark.parametrize(
    "argv, message",
    [
        ([PARKING, *INTO_SLOT, "--set", "angle_bins=4"], "configuration: angle_bins must be at least 8"),
        ([PARKING, *INTO_SLOT, "--set", "no_such_field=1"], "--set: PlannerConfig has no field 'no_such_field'"),
        ([PARKING, *INTO_SLOT, "--set", "max_node=1"],
         "--set: PlannerConfig has no field 'max_node'; did you mean 'max_expanded_nodes'?"),
        ([PARKING, *INTO_SLOT, "--set", "allow_reverse=maybe"], "--set allow_reverse: cannot use 'maybe' (expected bool)"),
        ([PARKING, *INTO_SLOT, "--radius", "-1"], "footprint: circle radius must be finite and positive"),
        ([PARKING, *INTO_SLOT, "--polygon", "0,0;1;1,1"], "--polygon: cannot read vertex '1' (expected X,Y)"),
        ([PARKING, *INTO_SLOT, "--resolution", "0.05"],
         "--resolution and --origin apply to PGM, CSV and MovingAI maps; a YAML map carries its own"),
        ([PARKING, "--start", "nan", "0", "0", "--goal", "0", "0", "0"], "--start and --goal must be finite numbers"),
        (["map.bmp", *INTO_SLOT], "map.bmp: unknown map format (expected .yaml, .yml, .map, .pgm or .csv)"),
        (["map.pgm", *INTO_SLOT], "--resolution is required for PGM, CSV and MovingAI maps"),
        ([PARKING, *INTO_SLOT, "--inflate", "-1"], "--inflate: invalid inflation parameters"),
        (["/nonexistent/m.pgm", "--resolution", "0.05", *INTO_SLOT],
         "/nonexistent/m.pgm: cannot open input file: /nonexistent/m.pgm"),
        ([PARKING, *INTO_SLOT, "--json", "/nonexistent/plan.json", "--quiet"],
         "cannot open output file: /nonexistent/plan.json"),
        # Deep nesting once escaped as a RecursionError, a huge integer as an OverflowError.
        *[([PARKING, *INTO_SLOT, "--polygon", text], f"--polygon: cannot read {text!r:.57}... (expected [[x, y], "
           "[x, y], ...])") for text in ("[" * 100_000, "[[1" + "0" * 400 + ", 0]]")],
        # Requests the planner refuses before searching once exited with 1, as failed plans.
        *[([PARKING, *INTO_SLOT, *more], f"invalid request: {reason}") for more, reason in [
            (["--start", "2", "4.8", "1e300", "--degrees"], "start and goal yaw must be within 1e6 radians of zero"),
            (["--goal", "3", "1", "1e7"], "start and goal yaw must be within 1e6 radians of zero"),
            (["--set", "minimum_turning_radius=1e-300"], "minimum_turning_radius is too small for the costmap extent"),
        ]],
    ],
)
def test_bad_arguments_exit_with_two(argv, message, capsys):
    assert cli.run(argv) == 2
    out, err = capsys.readouterr()
    warning = "veltrax-plan: warning: --goal yaw 1e+07 is larger than 2π in magnitude: radians expected; use " \
              "--degrees\n"
    assert (out, err) == ("", (warning if "1e7" in argv else "") + f"veltrax-plan: error: {message}\n")


# Each output is checked against the map, its image and the other outputs, through links too.
@pytest.mark.parametrize("outputs, message", [
    (["--json", "{d}/out", "--csv", "{d}/out"], "--csv: {d}/out is also the --json output"),
    (["--svg", "{d}/sub/../p.svg", "--plot", "{d}/p.svg"], "--plot: {d}/p.svg is also the --svg output"),
    (["--json", "{d}/dangling", "--csv", "{d}/nowhere"], "--csv: {d}/nowhere is also the --json output"),
    (["--json", "{d}/parking_lot.yaml"], "--json: {d}/parking_lot.yaml is the input map"),
    (["--csv", "{d}/hard.yaml"], "--csv: {d}/hard.yaml is the input map"),
    (["--svg", "{d}/image.pgm"], "--svg: {d}/image.pgm is the map's image"),
])
def test_outputs_never_overwrite_an_input_or_each_other(tmp_path, capsys, outputs, message):
    for name in ("parking_lot.yaml", "parking_lot.pgm"):
        (tmp_path / name).write_bytes((MAPS / name).read_bytes())
    (tmp_path / "sub").mkdir()
    (tmp_path / "image.pgm").symlink_to("parking_lot.pgm")
    (tmp_path / "dangling").symlink_to("nowhere")
    os.link(tmp_path / "parking_lot.yaml", tmp_path / "hard.yaml")
    files = {path: path.read_bytes() for path in tmp_path.iterdir() if path.is_file()}
    argv = [str(tmp_path / "parking_lot.yaml"), *INTO_SLOT, *(arg.format(d=tmp_path) for arg in outputs)]
    assert cli.run(argv) == 2
    advice = "write the output elsewhere" if " is the " in message else "write each output to a file of its own"
    assert capsys.readouterr() == ("", f"veltrax-plan: error: {message.format(d=tmp_path)}; {advice}\n")
    assert {path: path.read_bytes() for path in tmp_path.iterdir() if path.is_file()} == files


def test_a_partial_path_on_request_is_shown_and_written(tmp_path, capsys):
    written = tmp_path / "plan.json"
    assert cli.run([*FROM_LANE, "--goal", "3.04", "0.9", "90", "--degrees", "--set", "max_expanded_nodes=100",
                    "--set", "return_partial_path=1", "--json", str(written)]) == 1
    lines = capsys.readouterr().out.splitlines()
    result = json.loads(written.read_text())
    assert (result["status"], result["partial"]) == ("MAX_NODES_EXCEEDED", True)
    assert lines[2].startswith(f"path:     partial, {result['diagnostics']['path_length']:.3f} m, "
                               f"{len(result['path'])} poses, ")
    end = result["path"][-1]
    assert lines[3].endswith(f"; the partial path returned ({result['diagnostics']['path_length']:.2f} m) ends "
                             f"{math.hypot(3.04 - end['x'], 0.9 - end['y']):.2f} m from the goal")
    assert result["path"][0] == {"x": 2, "y": 4.8, "yaw": 0, "direction": 1}


# A turning radius given with --set sizes the recommended penalties for it (and turns the manoeuvre
# estimate on); without one, or with one the configuration refuses, the plain recommendation.
@pytest.mark.parametrize(("settings", "radius", "code"), [
    ([], None, 0),
    (["--set", "minimum_turning_radius=0.6"], 0.6, 0),
    (["--set", "minimum_turning_radius=-1"], None, 2),
])
def test_a_turning_radius_reaches_the_recommended_configuration(monkeypatch, settings, radius, code):
    asked = []
    recommended = cli.sp.recommended_config

    def recording(*args, minimum_turning_radius=None):
        asked.append(minimum_turning_radius)
        return recommended(*args, minimum_turning_radius=minimum_turning_radius)

    monkeypatch.setattr(cli.sp, "recommended_config", recording)
    assert cli.run([PARKING, *INTO_SLOT, *settings]) == code
    assert asked == [radius]
