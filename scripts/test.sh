#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test of every build:
# native, the sanitizer build, and both Windows builds under Wine; then, when
# native, win64 and win32 are all among the presets, the comparison of those
# programs, and the three archives with their quick starts run from unpacked
# copies; then every fuzz target for a minute (KD_FUZZ_SECONDS; 0 skips).
#
# On a machine whose kernel cannot start 32-bit programs, win32 is still
# built with warnings as errors and packaged, and its archive checked, but
# its runs are skipped and said to be; nothing else is ever skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

presets=(${KD_PRESETS:-native debug win64 win32})
# Warnings are errors here (the cache keeps it for the later package and fuzz
# builds of the same folders); a developer's own builds only show them.
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON
failed=()
skipped=()

# Debian's python3 carries python3-pytest; a python3 earlier on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# One answer for the whole run, handed to every suite: can this machine start
# the 32-bit programs win32 runs on? Only the kernel's refusal of Wine's
# 32-bit loader says no; any other failure of Wine fails the tests instead.
win32_check=0
win32_cannot=$("$python" tests/support/windows_builds.py check win32) || win32_check=$?
case $win32_check in
  0) export KD_WIN32_RUNS=yes ;;
  3) export KD_WIN32_RUNS=no ;;
  *) echo "cannot tell whether this machine runs 32-bit programs" >&2; exit 1 ;;
esac
echo "win32 programs run here: $KD_WIN32_RUNS${win32_cannot:+ ($win32_cannot)}"

for preset in "${presets[@]}"; do
  echo "=== $preset ==="
  cmake --preset "$preset" "$werror" > /dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = win32 ] && [ "$KD_WIN32_RUNS" = no ]; then
    echo "win32 built; its runs skipped: $win32_cannot"
    skipped+=("win32 runs ($win32_cannot)")
    continue
  fi
  ctest --preset "$preset" -j2 || failed+=("$preset")
done

# The code keeps the layout .clang-format describes.
echo "=== style ==="
styled=1
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror || { styled=0; failed+=(style); }

compared=0
packaged=0
if [[ " ${presets[*]} " == *" native "* && " ${presets[*]} " == *" win64 "* &&
      " ${presets[*]} " == *" win32 "* ]]; then
  # The programs must print, write and store the same bytes for the same runs;
  # a difference names the run, the file and the first differing byte.
  compared=1
  if [ "$KD_WIN32_RUNS" = yes ]; then
    echo "=== builds alike: native, win64, win32 ==="
  else
    echo "=== builds alike: native, win64; win32 left out ($win32_cannot) ==="
  fi
  "$python" -m pytest -q -p no:cacheprovider tests/compare || failed+=(compare)

  # The archives a user unpacks, made from the builds above. Each Windows
  # quick start runs in a fresh Wine prefix of its own, as on a user's machine
  # that never ran the program; pytest names a quick start it skipped.
  packaged=1
  echo "=== package ==="
  { scripts/package.sh &&
    "$python" -m pytest -q -rs -p no:cacheprovider tests/package --packages build/packages \
      --build-dir build/native; } || failed+=(package)
fi

# Every fuzz target briefly, so a regression in input handling shows here too.
fuzz_seconds=${KD_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "=== fuzz (${fuzz_seconds}s a target) ==="
  cmake --preset fuzz "$werror" > /dev/null
  scripts/fuzz.sh "$fuzz_seconds" || failed+=(fuzz)
fi

total=$(( ${#presets[@]} + styled + compared + packaged + (fuzz_seconds > 0 ? 1 : 0) ))
passed=$(( total - ${#failed[@]} - ${#skipped[@]} ))
echo "total: $passed passed, ${#failed[@]} failed${skipped:+, ${#skipped[@]} skipped}"
if [ ${#skipped[@]} -gt 0 ]; then
  echo "skipped: ${skipped[*]}"
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
