#!/usr/bin/env bash
# Sets up the machine, then runs the main example on a bundled map.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null
exec "${PYTHON:-python3}" examples/quickstart.py "$@"
