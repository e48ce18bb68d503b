#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test: the C++ suite, the C++ example built
# against the installed package, the Python suite against the installed module, the sanitizer
# builds and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PYTHON=${PYTHON:-python3}
JOBS=${JOBS:-$(nproc)}

# Each stage reports its wall time, so that a slow stage is visible in the CI log.
stage_start=$SECONDS
stage_name=""
stage() {
  if [ -n "$stage_name" ]; then
    echo "-- $stage_name took $((SECONDS - stage_start))s"
  fi
  stage_name=$1
  stage_start=$SECONDS
  [ -z "$stage_name" ] || echo "== $stage_name"
}

stage "setup"
scripts/setup.sh

stage "C++ library and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRAX_WERROR=ON \
  -Dpybind11_DIR="$("$PYTHON" -m pybind11 --cmakedir)" -DPython_EXECUTABLE="$(command -v "$PYTHON")"
cmake --build build/release -j "$JOBS"
ctest --test-dir build/release --output-on-failure -j "$JOBS"

stage "C++ example against the installed package"
rm -rf build/install build/example
cmake --install build/release --prefix "$ROOT/build/install" >/dev/null
cmake -S examples/cpp -B build/example -G Ninja -DCMAKE_PREFIX_PATH="$ROOT/build/install"
cmake --build build/example
(cd build/example && LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" ./plan_parking &&
  LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" ./replan)
# The installed library exports the public API only.
if nm -DC --defined-only build/install/lib/libveltrax_se2.so |
  grep -E 'veltrax::se2::detail::|ompl::|boost::|YAML::'; then
  echo "libveltrax_se2.so exports the symbols above, which are not public"
  exit 1
fi

stage "Python tests"
# From outside the source tree, so the installed module is the one under test.
(cd "$ROOT/tests/python" && "$PYTHON" -m pytest -q -p no:cacheprovider .)

stage "sanitizers"
scripts/run_sanitizers.sh

stage "fuzzing"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} scripts/run_fuzzers.sh

stage ""
echo "== all stages passed in ${SECONDS}s"
