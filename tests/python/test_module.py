import subprocess
import sys

import pytest

import _se2_planner as sp


def test_docstring_names_the_product():
    assert sp.__doc__ == "Veltrax simulator-independent SE(2) planner primitives"
    assert "\n" not in sp.__doc__


def test_imports_from_another_directory(tmp_path):
    out = subprocess.run(
        [sys.executable, "-c", "import _se2_planner as sp; print(sp.__doc__)"],
        cwd=tmp_path,
        capture_output=True,
        text=True,
        check=True,
    )
    assert out.stdout.strip() == sp.__doc__


def test_classes_live_in_the_module():
    for name in ("Pose2D", "Point2D", "GridIndex", "Costmap"):
        cls = getattr(sp, name)
        assert cls.__module__ == "_se2_planner"


@pytest.mark.parametrize("cls", ["Pose2D", "Point2D", "GridIndex"])
def test_records_have_default_repr_only(cls):
    obj = getattr(sp, cls)()
    assert repr(obj).startswith(f"<_se2_planner.{cls} object at 0x")


def test_module_state_is_shared_across_reimport():
    import importlib

    again = importlib.import_module("_se2_planner")
    assert again is sp
