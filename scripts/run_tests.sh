#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the C++ suite, an installed C++ consumer
# and the Python suite against the installed module.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PYTHON=${PYTHON:-python3}
JOBS=${JOBS:-$(nproc)}

scripts/setup.sh

echo "== C++ library and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRAX_WERROR=ON \
  -Dpybind11_DIR="$("$PYTHON" -m pybind11 --cmakedir)" -DPython_EXECUTABLE="$(command -v "$PYTHON")"
cmake --build build/release -j "$JOBS"
ctest --test-dir build/release --output-on-failure -j "$JOBS"

echo "== installed C++ consumer"
rm -rf build/install build/consumer
cmake --install build/release --prefix "$ROOT/build/install" >/dev/null
cmake -S tests/consumer -B build/consumer -G Ninja -DCMAKE_PREFIX_PATH="$ROOT/build/install"
cmake --build build/consumer
LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" build/consumer/consumer

echo "== Python tests"
# From outside the source tree, so the installed module is the one under test.
cd "$ROOT/tests/python"
"$PYTHON" -m pytest -q -p no:cacheprovider .
