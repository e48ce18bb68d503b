#!/usr/bin/env bash
# Installs everything the project needs on a Debian machine and installs the Python module into
# the current interpreter. Safe to run again: it only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
export PIP_ROOT_USER_ACTION=ignore
# clang and its runtime libraries build the libFuzzer targets (scripts/run_fuzzers.sh); doxygen
# the API reference (scripts/build_docs.sh); clang-tidy runs in scripts/run_tests.sh.
APT_PACKAGES=(build-essential libompl-dev libyaml-cpp-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev clang-format
  clang libclang-rt-14-dev doxygen pkg-config clang-tidy)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# One line per stage with its time on the terminal; everything the tools print goes to the log,
# which a failure names (and shows the end of).
LOG=${VELTRAX_SETUP_LOG:-build/setup.log}
mkdir -p "$(dirname "$LOG")"
: >"$LOG"
setup_began=$SECONDS
stage() {
  local name=$1 began=$SECONDS status=0
  shift
  printf 'setup: %s ... ' "$name"
  printf '\n== %s: %s\n' "$name" "$*" >>"$LOG"
  "$@" >>"$LOG" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "failed after $((SECONDS - began)) s"
    echo "setup: '$name' failed (exit $status); the full log is $LOG, its last lines:" >&2
    tail -n 15 "$LOG" >&2
    exit "$status"
  fi
  echo "$((SECONDS - began)) s"
}

missing=()
for package in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  stage "apt-get update" as_root apt-get update
  stage "installing ${missing[*]}" as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
else
  echo "setup: system packages already installed"
fi

stage "pip: requirements-dev.txt" "$PYTHON" -m pip install --disable-pip-version-check --progress-bar off \
  -r requirements-dev.txt
# The build requirements are installed above, so the module builds against this interpreter
# without an isolated build environment, reusing build/pip-* between runs.
stage "building and installing the module (minutes on a fresh machine)" \
  "$PYTHON" -m pip install --disable-pip-version-check --progress-bar off --no-build-isolation -v .
# pyenv only exposes new console scripts (veltrax-plan) after a rehash.
if command -v pyenv >/dev/null 2>&1; then pyenv rehash || true; fi
echo "setup: done in $((SECONDS - setup_began)) s ($("$PYTHON" -c 'import _se2_planner; print(_se2_planner.__file__)')); log: $LOG"
