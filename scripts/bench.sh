#!/usr/bin/env bash
# Builds the native benchmark program and runs it: every stage, or the ones
# named. The table goes to standard error, so `scripts/bench.sh 2> figures.txt`
# keeps it.
#
#   scripts/bench.sh [--repeats <n>] [--dir <folder>] [stage...]
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset native > /dev/null
cmake --build --preset native --target kd_bench > /dev/null
exec build/native/bin/kd_bench "$@"
