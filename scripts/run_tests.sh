#!/usr/bin/env bash
# Sets up the machine, lints the Python code, then builds and runs every test: the C++ suite, the
# C++ example built against the installed package, the Python suite against the installed module,
# the sanitizer builds and a short fuzzing run.
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

stage "lint"
# ruff and mypy come with requirements-dev.txt (setup above), so a missing one fails here. mypy
# reads the package against the stubs in the source tree.
"$PYTHON" -m ruff check python tests/python scripts bench examples fuzz
MYPYPATH=python "$PYTHON" -m mypy --no-incremental --ignore-missing-imports python/veltrax_se2 \
  bench/bench_batch.py

stage "C++ library and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRAX_WERROR=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -Dpybind11_DIR="$("$PYTHON" -m pybind11 --cmakedir)" -DPython_EXECUTABLE="$(command -v "$PYTHON")"
cmake --build build/release -j "$JOBS"
ctest --test-dir build/release --output-on-failure -j "$JOBS"

stage "clang-tidy"
# The checks of .clang-tidy over the library and the module, with the build's flags (GCC's LTO
# flags mean nothing to clang).
ls src/*.cpp src/detail/*.cpp python/*.cpp |
  xargs -P "$JOBS" -n 1 clang-tidy -p build/release --quiet \
    --extra-arg=-Wno-ignored-optimization-argument

stage "C++ example against the installed package"
rm -rf build/install build/cpp-example
cmake --install build/release --prefix "$ROOT/build/install" >/dev/null
cmake -S examples/cpp -B build/cpp-example -G Ninja -DCMAKE_PREFIX_PATH="$ROOT/build/install"
cmake --build build/cpp-example
(cd build/cpp-example && LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" ./plan_parking &&
  LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" ./replan)
# A program built with nothing but the pkg-config file's flags prints the installed version.
cat >build/cpp-example/pkg_config_user.cpp <<'PROGRAM'
#include <veltrax/se2/costmap.hpp>
#include <veltrax/se2/version.hpp>

#include <cstdio>

int main() {
  const veltrax::se2::Costmap costmap(2, 2, 0.05, 0.0, 0.0, std::vector<std::uint8_t>(4));
  std::printf("%s\n", costmap.width() == 2 ? VELTRAX_SE2_VERSION : "?");
}
PROGRAM
pc_version=$(PKG_CONFIG_PATH="$ROOT/build/install/lib/pkgconfig" pkg-config --modversion veltrax_se2)
# shellcheck disable=SC2046  # the flags are meant to split into words
"${CXX:-c++}" -std=c++17 build/cpp-example/pkg_config_user.cpp -o build/cpp-example/pkg_config_user \
  $(PKG_CONFIG_PATH="$ROOT/build/install/lib/pkgconfig" pkg-config --cflags --libs veltrax_se2)
header_version=$(LD_LIBRARY_PATH="$ROOT/build/install/lib:${LD_LIBRARY_PATH:-}" \
  build/cpp-example/pkg_config_user)
if [ "$header_version" != "$pc_version" ]; then
  echo "version.hpp says '$header_version', veltrax_se2.pc says '$pc_version'"
  exit 1
fi
echo "pkg-config user built and run: veltrax_se2 $header_version"
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
