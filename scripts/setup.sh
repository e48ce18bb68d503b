#!/usr/bin/env bash
# Installs everything the project needs on a Debian machine and installs the Python module into
# the current interpreter. Safe to run again: it only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
export PIP_ROOT_USER_ACTION=ignore
# clang and its runtime libraries build the libFuzzer targets (scripts/run_fuzzers.sh); doxygen
# the API reference (scripts/build_docs.sh).
APT_PACKAGES=(build-essential libompl-dev libyaml-cpp-dev libgtest-dev libgmock-dev libbenchmark-dev clang-format
  clang libclang-rt-14-dev doxygen pkg-config)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq "${missing[@]}" >/dev/null
fi

"$PYTHON" -m pip install -q --disable-pip-version-check -r requirements-dev.txt
# The build requirements are installed above, so the module builds against this interpreter
# without an isolated build environment, reusing build/pip-* between runs.
"$PYTHON" -m pip install -q --disable-pip-version-check --no-build-isolation .
# pyenv only exposes new console scripts (veltrax-plan) after a rehash.
if command -v pyenv >/dev/null 2>&1; then pyenv rehash || true; fi
echo "setup: done ($("$PYTHON" -c 'import _se2_planner, sys; print(_se2_planner.__file__)'))"
