import json
import math
import pathlib
import subprocess
import sys

import pytest

from veltrax_se2 import cli

MAPS = pathlib.Path(__file__).resolve().parents[2] / "examples" / "maps"
PARKING = str(MAPS / "parking_lot.yaml")
# Reversing into a free slot of the lower row, facing out of it.
INTO_SLOT = ["--start", "2.0", "4.8", "0", "--goal", "3.04", "0.9", str(math.pi / 2)]


def test_plans_into_a_parking_slot_and_writes_files(tmp_path, capsys):
    svg, js, csv = tmp_path / "plan.svg", tmp_path / "plan.json", tmp_path / "plan.csv"
    code = cli.run([PARKING, *INTO_SLOT, "--svg", str(svg), "--json", str(js), "--csv", str(csv)])
    out = capsys.readouterr().out
    assert code == 0, out
    assert "status:   SUCCESS: path found" in out
    assert f"map:      {PARKING} (240 x 160 cells of 0.05 m)" in out
    result = json.loads(js.read_text())
    assert result["status"] == "SUCCESS"
    assert result["diagnostics"]["reverse_count"] > 0
    assert svg.read_text().startswith("<?xml") or svg.read_text().startswith("<svg")
    rows = csv.read_text().splitlines()
    assert len(rows) == len(result["path"]) + 1


def test_planning_failure_exits_with_one(capsys):
    # The goal lies on the island in the middle of the lane.
    code = cli.run([PARKING, "--start", "2.0", "4.8", "0", "--goal", "6.0", "4.0", "0"])
    out = capsys.readouterr().out
    assert code == 1
    assert "status:   GOAL_IN_COLLISION: goal footprint is in collision" in out


@pytest.mark.parametrize(
    "extra, message",
    [
        (["--set", "angle_bins=4"], "configuration: angle_bins must be at least 8"),
        (["--set", "no_such_field=1"], "--set: PlannerConfig has no field 'no_such_field'"),
        (["--set", "allow_reverse=maybe"], "--set allow_reverse: cannot use 'maybe' (expected bool)"),
        (["--radius", "-1"], "footprint: circle radius must be finite and positive"),
        (["--polygon", "0,0;1;1,1"], "--polygon: cannot read vertex '1' (expected X,Y)"),
        (["--resolution", "0.05"], "--resolution and --origin apply to PGM, CSV and MovingAI maps; a YAML map carries its own"),
    ],
)
def test_bad_arguments_exit_with_two(extra, message, capsys):
    code = cli.run([PARKING, *INTO_SLOT, *extra])
    err = capsys.readouterr().err
    assert code == 2
    assert err == f"veltrax-plan: error: {message}\n"


def test_bad_map_files_exit_with_two(tmp_path, capsys):
    broken = tmp_path / "broken.pgm"
    broken.write_bytes(b"P5\n100000 100000\n255\n\x00")
    assert cli.run([str(broken), "--resolution", "0.05", *INTO_SLOT]) == 2
    assert capsys.readouterr().err == f"veltrax-plan: error: {broken}: PGM pixel data is truncated\n"
    assert cli.run([str(tmp_path / "none.csv"), "--resolution", "0.05", *INTO_SLOT]) == 2
    assert "cannot open input file" in capsys.readouterr().err
    assert cli.run([str(tmp_path / "map.bmp"), *INTO_SLOT]) == 2
    assert "unknown map format" in capsys.readouterr().err
    assert cli.run([str(tmp_path / "map.pgm"), *INTO_SLOT]) == 2
    assert "--resolution is required for PGM, CSV and MovingAI maps" in capsys.readouterr().err


def test_unwritable_output_exits_with_two(tmp_path, capsys):
    target = tmp_path / "missing-dir" / "plan.json"
    assert cli.run([PARKING, *INTO_SLOT, "--json", str(target), "--quiet"]) == 2
    assert "veltrax-plan: error:" in capsys.readouterr().err


def test_settings_reach_the_planner(capsys):
    code = cli.run([PARKING, *INTO_SLOT, "--set", "max_expanded_nodes=1", "--set", "smooth_path=false"])
    out = capsys.readouterr().out
    assert code == 1
    assert "MAX_NODES_EXCEEDED: maximum expanded nodes exceeded" in out


def test_module_entry_point_runs():
    out = subprocess.run([sys.executable, "-m", "veltrax_se2", PARKING, *INTO_SLOT, "--quiet"],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout == ""
