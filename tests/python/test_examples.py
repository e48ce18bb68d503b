"""The examples are part of the documentation: each must run and report success."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
EXPECTED = {
    "costmap_basics.py": "world (+1.00, +0.00) -> outside the map",
    "quickstart.py": "SUCCESS: path found",
    "reverse_out_of_bay.py": "status:     SUCCESS (path found)",
    "plan_parking.py": "status: SUCCESS (path found)",
    "differential_drive.py": "SUCCESS: path found",
    "polygon_footprint.py": "SUCCESS: path found",
    "batch_planning.py": "20/20 solved",
}


@pytest.mark.parametrize("script", sorted(p.name for p in EXAMPLES.glob("*.py")))
def test_example_runs(script, tmp_path):
    out = subprocess.run([sys.executable, str(EXAMPLES / script)], cwd=tmp_path,
                         capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stdout + out.stderr
    assert EXPECTED[script] in out.stdout  # a new example needs its line here
