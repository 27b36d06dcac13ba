#!/usr/bin/env bash
# Builds the default preset and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j2
ctest --preset default
