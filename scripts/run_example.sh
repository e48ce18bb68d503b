#!/usr/bin/env bash
# Sets up the machine, then plans on a bundled map with the command-line planner: backing into a
# parking slot. Writes the plan as SVG, JSON and CSV to build/example/.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
scripts/setup.sh
mkdir -p build/example
echo "run_example: planning into a parking slot of examples/maps/parking_lot.yaml"
exec "$PYTHON" -m veltrax_se2 examples/maps/parking_lot.yaml \
  --start 2.0 4.8 0 --goal 3.04 0.9 1.5708 \
  --svg build/example/plan.svg --json build/example/plan.json --csv build/example/plan.csv "$@"
