#!/usr/bin/env bash
# Makes the archives a user unpacks and runs from, one per build, into
# build/packages/ with their SHA256SUMS: builds the native, win64 and win32
# presets where needed, then runs each build's CPack `package` target.
#
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

shopt -s nullglob
out=build/packages
rm -rf "$out"
mkdir -p "$out"
for preset in native win64 win32; do
  echo "=== package $preset ==="
  rm -rf "build/$preset/package"
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" --target package
  made=(build/"$preset"/package/*.zip build/"$preset"/package/*.tar.gz)
  if [ ${#made[@]} -ne 1 ]; then
    echo "$preset: one archive expected, found ${#made[@]}" >&2
    exit 1
  fi
  cp "${made[@]}" "$out"/
done

cd "$out"
archives=(*.zip *.tar.gz)
sha256sum "${archives[@]}" > SHA256SUMS
ls -l "${archives[@]}" SHA256SUMS
