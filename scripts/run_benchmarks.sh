#!/usr/bin/env bash
# Builds the benchmark suite and runs it: every map of data/bench and the real maps of
# data/maps, the library's planner beside the reference planner and OMPL's planners.
# Prints the table and writes the runs to <build>/bench_results.json (or $BENCH_JSON).
# Extra arguments go to the suite, e.g. --maps open,walls --queries 3 --repeats 1 --no-reference,
# --footprint rectangle, --config recommended, --mode forward|rotation, --random N (solvable random
# queries), --set FIELD=NUMBER, or --map NAME=FILE[:SCALE[:CROP]] for a map of your own (a map-server
# YAML with a PGM image, a PGM, or a MovingAI grid upsampled SCALE times).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -Dpybind11_DIR="$("${PYTHON:-python3}" -m pybind11 --cmakedir)"
fi
cmake --build "$build" -j2 --target bench_suite
exec "$build/bench/bench_suite" --json "${BENCH_JSON:-$build/bench_results.json}" --peers "$@"
