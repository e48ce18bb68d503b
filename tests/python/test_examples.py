"""The examples are part of the documentation: each must run and report success."""

import math
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
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


def test_readme_dask_snippet_runs_as_printed(tmp_path):
    pytest.importorskip("distributed")
    readme = (ROOT / "README.md").read_text()
    [snippet] = re.findall(r"```python\n(.*?)```", readme[readme.index("On a Dask cluster"):], re.S)[:1]
    (tmp_path / "snippet.py").write_text(snippet)
    out = subprocess.run([sys.executable, str(tmp_path / "snippet.py")], cwd=ROOT, capture_output=True,
                         text=True, timeout=300)
    assert out.returncode == 0, out.stdout + out.stderr
    from veltrax_se2 import plan_many  # the snippet's requests, on threads

    requests = [((1.0, 5.0, 0.0), (12.0, 5.0, math.pi)), ((2.4, 1.0, 0.0), (3.5, 2.8, -math.pi / 2))]
    local = plan_many(EXAMPLES / "maps" / "warehouse.yaml", requests, workers=1)
    assert out.stdout == f"{[f'{r.diagnostics.path_length:.2f} m' for r in local]}\n"

@pytest.mark.parametrize("argv, message", [
    (["/nonexistent/run.json"], "summarize_suite: cannot read /nonexistent/run.json: No such file or directory "
                                "(bench_suite --json /nonexistent/run.json writes it)\n"),
    (["--compare", "a.json"], "usage: summarize_suite.py --compare BASE.json OTHER.json\n"),
])
def test_summarize_suite_refuses_with_a_message(argv, message):
    out = subprocess.run([sys.executable, str(ROOT / "bench" / "summarize_suite.py"), *argv],
                         capture_output=True, text=True)
    assert (out.returncode, out.stderr) == (1, message)
