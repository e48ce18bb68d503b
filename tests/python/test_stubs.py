"""The module's records and the shipped type stubs and docs, which must describe it as it is."""

import pathlib
import pickle
import shutil
import subprocess
import sys

import pytest

import _se2_planner as sp
from veltrax_se2.planning import config_fields

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUB = ROOT / "python" / "_se2_planner.pyi"


@pytest.mark.parametrize("script", ["generate_stubs.py", "generate_record_docs.py"])
def test_stubs_and_record_docs_are_generated_from_the_module(script):
    out = subprocess.run([sys.executable, str(ROOT / "scripts" / script), "--check"],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stdout[-3000:] + out.stderr


def test_records_pickle_and_print_every_field():
    config = sp.PlannerConfig()
    changed = {name: (not value if isinstance(value, bool) else (value - 1 if value else 1) if isinstance(value, int)
                      else value + 0.5) for name, value in ((n, getattr(config, n)) for n in config_fields())}
    for name, value in changed.items():
        setattr(config, name, value)
    assert {n: getattr(pickle.loads(pickle.dumps(config)), n) for n in changed} == changed

    request = sp.PlanRequest()
    request.start, request.goal = sp.Pose2D(1.0, 2.0, 0.5), sp.Pose2D(-3.0, 4.25, -1.0)
    request.map_revision, request.goal_revision, request.robot_revision = 2**64 - 1, 7, 8
    request.footprint = sp.PolygonFootprint([sp.Point2D(0.5, 0.25), sp.Point2D(-0.5, 0.25), sp.Point2D(0.0, -1e-3)])
    text = ("PlanRequest(start=Pose2D(x=1.0, y=2.0, yaw=0.5), goal=Pose2D(x=-3.0, y=4.25, yaw=-1.0), "
            "footprint=PolygonFootprint(points=[(0.5, 0.25), (-0.5, 0.25), (0.0, -0.001)]), "
            "map_revision=18446744073709551615, goal_revision=7, robot_revision=8)")
    assert repr(request) == text and repr(pickle.loads(pickle.dumps(request))) == text
    request.footprint = sp.MultiPolygonFootprint([request.footprint] * 2)
    copy = pickle.loads(pickle.dumps(request))
    assert [[(p.x, p.y) for p in polygon.points] for polygon in copy.footprint.polygons] == [
        [(0.5, 0.25), (-0.5, 0.25), (0.0, -1e-3)]] * 2

    result = sp.PlannerResult()
    result.status, result.message, result.partial = sp.PlannerStatus.TIMEOUT, "f\xfcr", True
    result.path, result.directions = [sp.Pose2D(1, 2, 3), sp.Pose2D(4, 5, -6)], [-1, 0]
    result.map_revision, result.goal_revision, result.robot_revision = 1, 2, 3
    names = [n for n in dir(result.diagnostics) if not n.startswith("_")]
    for k, name in enumerate(names):
        setattr(result.diagnostics, name, k % 2 == 1 if name.endswith("hit") else k + 1)
    copy = pickle.loads(pickle.dumps(result))
    assert (copy.status, copy.message, copy.partial, copy.path_array.tolist(), copy.directions,
            copy.map_revision, copy.goal_revision, copy.robot_revision) == (
        sp.PlannerStatus.TIMEOUT, "f\xfcr", True, [[1, 2, 3], [4, 5, -6]], [-1, 0], 1, 2, 3)
    assert [getattr(copy.diagnostics, n) for n in names] == [getattr(result.diagnostics, n) for n in names]
    assert repr(copy).startswith("PlannerResult(status=PlannerStatus.TIMEOUT, message='f\xfcr', "
                                 "path=<2 poses>, directions=<2 labels>, diagnostics=PlannerDiagnostics(")
    with pytest.raises(ValueError, match=f"^PlannerConfig state must hold {len(changed)} values, got 2$"):
        sp.PlannerConfig.__new__(sp.PlannerConfig).__setstate__((1, 2))




def test_type_checker_accepts_the_examples(tmp_path):
    examples = sorted(str(p) for p in (ROOT / "examples").glob("*.py"))
    # Check against the stubs in the source tree, so the test covers what will be shipped.
    stubs = tmp_path / "stubs" / "_se2_planner-stubs"
    stubs.mkdir(parents=True)
    shutil.copy(STUB, stubs / "__init__.pyi")
    out = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", "--ignore-missing-imports",
         "--follow-imports=silent", "--python-executable", sys.executable, *examples],
        capture_output=True, text=True, cwd=ROOT,
        env={"MYPYPATH": f"{tmp_path / 'stubs'}:{ROOT / 'python'}", "PATH": "/usr/bin:/bin"},
    )
    assert out.returncode == 0, out.stdout + out.stderr
