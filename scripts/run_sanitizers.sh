#!/usr/bin/env bash
# Builds the library and the C++ tests with AddressSanitizer + UndefinedBehaviorSanitizer and runs
# the whole suite, then builds them with ThreadSanitizer and runs the concurrency tests. Any report
# fails the run. Usage: scripts/run_sanitizers.sh [asan|tsan]... (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
jobs_to_run=("$@")
[ ${#jobs_to_run[@]} -gt 0 ] || jobs_to_run=(asan tsan)

# Leak checking needs ptrace, which some containers forbid; LSAN_DETECT=0 turns it off there.
export ASAN_OPTIONS="detect_leaks=${LSAN_DETECT:-1}:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# Warnings are the Release build's job (-Werror there): GCC warns about some code only once the
# sanitizers have inlined it differently.
configure() {  # build dir, sanitizer list
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRAX_SANITIZE="$2" \
    -DVELTRAX_BUILD_PYTHON=OFF -DVELTRAX_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$1" -j "$JOBS" --target veltrax_se2_tests
}

# Two shards in parallel: one process per shard keeps the sanitizer start-up cost low.
run_sharded() {  # test binary, extra gtest arguments...
  local binary=$1 shards=$JOBS pids=() status=0
  shift
  for ((i = 0; i < shards; ++i)); do
    GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i "$binary" --gtest_brief=1 "$@" &
    pids+=($!)
  done
  for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
      echo "shard $((i + 1))/$shards of $(basename "$binary") passed"
    else
      echo "shard $((i + 1))/$shards of $(basename "$binary") FAILED" >&2
      status=1
    fi
  done
  return $status
}

# The ThreadSanitizer runtime of GCC 12 cannot map its shadow with the kernel's full address
# randomisation; running without randomisation is the usual workaround.
no_aslr() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then setarch "$(uname -m)" -R "$@"; else "$@"; fi
}

for job in "${jobs_to_run[@]}"; do
  case $job in
    asan)
      echo "== AddressSanitizer + UndefinedBehaviorSanitizer: C++ tests"
      configure build/asan address,undefined
      run_sharded build/asan/tests/cpp/veltrax_se2_tests
      ;;
    tsan)
      echo "== ThreadSanitizer: concurrency tests"
      configure build/tsan thread
      no_aslr build/tsan/tests/cpp/veltrax_se2_tests --gtest_brief=1 --gtest_filter='Concurrency*'
      echo "ThreadSanitizer: concurrency tests passed"
      ;;
    *)
      echo "unknown sanitizer job: $job (asan or tsan)" >&2
      exit 2
      ;;
  esac
done
