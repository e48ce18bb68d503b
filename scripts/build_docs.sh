#!/usr/bin/env bash
# Builds the API reference from the comments of the public headers (include/veltrax/se2/) with
# Doxygen into build/docs/html. Warnings are printed, never fatal. Nothing here is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v doxygen >/dev/null 2>&1; then
  echo "build_docs: doxygen is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
mkdir -p build/docs
doxygen docs/Doxyfile
echo "build_docs: open build/docs/html/index.html"
