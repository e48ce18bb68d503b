#!/usr/bin/env bash
# Builds the libFuzzer targets (Clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs each
# for a fixed time, starting from the committed seeds in fuzz/corpus/<target>. CI runs them briefly;
# run them longer on demand:
#   scripts/run_fuzzers.sh                       # every target, FUZZ_SECONDS (default 600) each
#   FUZZ_SECONDS=3600 scripts/run_fuzzers.sh plan pgm_loader
#   scripts/run_fuzzers.sh --replay pgm_loader hostile/*.pgm   # run given inputs once each
# New interesting inputs collect in build/fuzz/corpus/<target>; a crashing input is written to
# build/fuzz/artifacts/<target>/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}
SECONDS_PER_TARGET=${FUZZ_SECONDS:-600}
CXX_FOR_FUZZING=${FUZZ_CXX:-clang++}
ALL_TARGETS=(pgm_loader csv_loader map_loader footprint_collision plan)

export ASAN_OPTIONS="detect_leaks=${LSAN_DETECT:-1}:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

replay=0
if [ "${1:-}" = "--replay" ]; then
  replay=1
  shift
fi
targets=("$@")
if [ $replay -eq 1 ]; then
  targets=("$1")
  shift
  inputs=("$@")
elif [ ${#targets[@]} -eq 0 ]; then
  targets=("${ALL_TARGETS[@]}")
fi

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$CXX_FOR_FUZZING" \
  -DVELTRAX_SANITIZE=address,undefined -DVELTRAX_BUILD_FUZZERS=ON \
  -DVELTRAX_BUILD_TESTS=OFF -DVELTRAX_BUILD_BENCHMARKS=OFF -DVELTRAX_BUILD_PYTHON=OFF >/dev/null
cmake --build build/fuzz -j "$JOBS" --target "${targets[@]/#/fuzz_}"

if [ $replay -eq 1 ]; then
  exec "build/fuzz/fuzz/fuzz_${targets[0]}" -rss_limit_mb=2048 -timeout=30 "${inputs[@]}"
fi

for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  echo "== fuzz_$target for ${SECONDS_PER_TARGET}s"
  log=build/fuzz/$target.log
  # -timeout: an input that takes seconds is a hang here. -rss_limit_mb / -malloc_limit_mb: an
  # input that claims a huge allocation is a finding too.
  if ! "build/fuzz/fuzz/fuzz_$target" "$corpus" "${dictionary[@]}" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$ROOT/$artifacts/" \
      >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz_$target found a problem; inputs in $artifacts" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "fuzz_$target: ${runs:-?} inputs executed in ${SECONDS_PER_TARGET}s, corpus $(ls "$corpus" | wc -l) files"
done
