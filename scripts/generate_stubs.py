#!/usr/bin/env python3
"""Writes python/_se2_planner.pyi from the module that Python imports: pybind11-stubgen's stubs,
whose docstrings come from the bindings, plus the fixes for what a pybind11 signature cannot say.

    scripts/generate_stubs.py          rewrite the stub file
    scripts/generate_stubs.py --check  exit 1, with a diff, when the file differs from the module
"""

from __future__ import annotations

import argparse
import difflib
import pathlib
import subprocess
import sys
import tempfile

STUB = pathlib.Path(__file__).resolve().parents[1] / "python" / "_se2_planner.pyi"
HEADER = "# Generated from the module by scripts/generate_stubs.py; do not edit.\n"

# (text in stubgen's output, replacement): pointer arguments that take None, and the callback's
# arguments, which the binding passes as a plain function.
FIXES = [
    ("cancellation: CancellationToken = None", "cancellation: CancellationToken | None = None"),
    ("token: CancellationToken = None", "token: CancellationToken | None = None"),
    ("progress: collections.abc.Callable | None = None",
     "progress: collections.abc.Callable[[int, int, int, PlannerResult], None] | None = None"),
]


def generate() -> str:
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, "-m", "pybind11_stubgen", "--exit-code", "-o", out,
                        "_se2_planner"], check=True, stdout=subprocess.DEVNULL)
        text = (pathlib.Path(out) / "_se2_planner.pyi").read_text()
    for old, new in FIXES:
        if old not in text:
            raise SystemExit(f"generate_stubs: '{old}' is no longer in the stubs; update FIXES")
        text = text.replace(old, new)
    return HEADER + text


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args()
    text = generate()
    if not args.check:
        STUB.write_text(text)
        return 0
    committed = STUB.read_text()
    if committed == text:
        return 0
    sys.stdout.writelines(difflib.unified_diff(committed.splitlines(True), text.splitlines(True),
                                               str(STUB), "generated"))
    print("the stubs differ from the module: run scripts/generate_stubs.py", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
