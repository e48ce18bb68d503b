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


def stub_tree():
    return ast.parse(STUB.read_text())


def stub_members(node: ast.ClassDef) -> set[str]:
    names = set()
    for item in node.body:
        if isinstance(item, (ast.FunctionDef, ast.AsyncFunctionDef)):
            names.add(item.name)
        elif isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name):
            names.add(item.target.id)
    return {n for n in names if not n.startswith("_")}


def runtime_members(cls) -> set[str]:
    return {n for n in vars(cls) if not n.startswith("_")}


def test_module_level_names_match():
    tree = stub_tree()
    stub_names = {
        node.name
        for node in tree.body
        if isinstance(node, (ast.ClassDef, ast.FunctionDef))
    } | {
        node.target.id
        for node in tree.body
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name)
        and not node.target.id.startswith("_")
    }
    runtime = {n for n in dir(sp) if not n.startswith("_")}
    assert stub_names == runtime


def test_module_constants_match():
    constants = {
        node.target.id: node.value.value
        for node in stub_tree().body
        if isinstance(node, ast.AnnAssign) and isinstance(node.value, ast.Constant)
    }
    assert constants  # the cost constants at least
    assert {name: getattr(sp, name) for name in constants} == constants


@pytest.mark.parametrize(
    "class_name",
    sorted(n for n in dir(sp) if not n.startswith("_") and inspect.isclass(getattr(sp, n))),
)
def test_class_members_match(class_name):
    node = next(
        n for n in stub_tree().body if isinstance(n, ast.ClassDef) and n.name == class_name
    )
    cls = getattr(sp, class_name)
    expected = runtime_members(cls)
    if "__members__" in vars(cls):  # enumerations: members plus the enum machinery's helpers
        expected |= set(cls.__members__)
    assert stub_members(node) == expected


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
