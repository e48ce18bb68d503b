"""The shipped type stubs must describe the module as it is."""

import ast
import importlib.util
import inspect
import pathlib
import shutil
import subprocess
import sys

import pytest

import _se2_planner as sp

ROOT = pathlib.Path(__file__).resolve().parents[2]
STUB = ROOT / "python" / "_se2_planner.pyi"
TREE = ast.parse(STUB.read_text())
CLASSES = sorted(n for n in dir(sp) if not n.startswith("_") and inspect.isclass(getattr(sp, n)))


def test_module_level_names_match():
    constants = {node.target.id: node.value.value for node in TREE.body
                 if isinstance(node, ast.AnnAssign) and isinstance(node.value, ast.Constant)}
    stubbed = {node.name for node in TREE.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    assert stubbed | set(constants) == {n for n in dir(sp) if not n.startswith("_")}
    assert {name: getattr(sp, name) for name in constants} == constants


@pytest.mark.parametrize("class_name", CLASSES)
def test_class_members_match(class_name):
    [node] = [n for n in TREE.body if isinstance(n, ast.ClassDef) and n.name == class_name]
    stubbed = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
    stubbed |= {item.target.id for item in node.body
                if isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name)}
    cls = getattr(sp, class_name)
    expected = {n for n in vars(cls) if not n.startswith("_")}
    if "__members__" in vars(cls):  # enumerations: members plus the enum machinery's helpers
        expected |= set(cls.__members__)
    assert {n for n in stubbed if not n.startswith("_")} == expected


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy not installed")
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
