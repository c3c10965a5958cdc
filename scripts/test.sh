#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test of every build:
# native, the sanitizer build, and both Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=(${KD_PRESETS:-native debug win64 win32})
failed=()
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "tests failed in: ${failed[*]}"
  exit 1
fi
echo "all tests passed in: ${presets[*]}"
