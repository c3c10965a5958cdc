#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test of every build:
# native, the sanitizer build, and both Windows builds under Wine; then, when
# native, win64 and win32 are all among the presets, the comparison of those
# three programs, and the three archives with their quick starts run from
# unpacked copies; then every fuzz target for a minute (KD_FUZZ_SECONDS; 0 skips).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=(${KD_PRESETS:-native debug win64 win32})
# Warnings are errors here (the cache keeps it for the later package and fuzz
# builds of the same folders); a developer's own builds only show them.
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON
failed=()
for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" "$werror" > /dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

# The code keeps the layout .clang-format describes.
echo "=== style ==="
styled=1
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror || { styled=0; failed+=(style); }

# Debian's python3 carries python3-pytest; a python3 earlier on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
compared=0
packaged=0
if [[ " ${presets[*]} " == *" native "* && " ${presets[*]} " == *" win64 "* &&
      " ${presets[*]} " == *" win32 "* ]]; then
  # The three programs must print, write and store the same bytes for the same
  # runs; a difference names the run, the file and the first differing byte.
  compared=1
  echo "=== builds alike ==="
  "$python" -m pytest -q -p no:cacheprovider tests/compare || failed+=(compare)

  # The archives a user unpacks, made from the builds above. The Windows
  # quick starts run in the win64 build's Wine prefix, which the program
  # cannot tell from any other.
  packaged=1
  echo "=== package ==="
  { scripts/package.sh &&
    "$python" -m pytest -q -p no:cacheprovider tests/package --packages build/packages \
      --build-dir build/native --wineprefix build/win64/wineprefix; } || failed+=(package)
fi

# Every fuzz target briefly, so a regression in input handling shows here too.
fuzz_seconds=${KD_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "=== fuzz (${fuzz_seconds}s a target) ==="
  cmake --preset fuzz "$werror" > /dev/null
  scripts/fuzz.sh "$fuzz_seconds" || failed+=(fuzz)
fi

total=$(( ${#presets[@]} + styled + compared + packaged + (fuzz_seconds > 0 ? 1 : 0) ))
echo "total: $(( total - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
