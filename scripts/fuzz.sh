#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds
# (default 60), starting from the seeds in fuzz/corpus/<target>/ (and the
# shared BMP suite for the BMP readers). A finding fails the script and leaves
# the input in build/fuzz/findings/.
#
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

work=$root/build/fuzz/work
findings=$root/build/fuzz/findings
mkdir -p "$findings"
status=0
for target in "${targets[@]}"; do
  corpus=$work/$target
  # Targets write scratch files (inputs, logs) into their working folder:
  # keep those out of the corpus.
  scratch=$work/$target.scratch
  mkdir -p "$corpus" "$scratch"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds+=("$root/fuzz/corpus/$target")
  if [ "$target" = fuzz_bmp ] && [ -d ../shared/testdata/bmpsuite ]; then
    for folder in ../shared/testdata/bmpsuite/*/; do seeds+=("$(cd "$folder" && pwd)"); done
  fi
  echo "=== $target for ${seconds}s"
  run_status=0
  (cd "$scratch" && "$root/build/fuzz/bin/$target" -max_total_time="$seconds" \
     -max_len=65536 -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
     -artifact_prefix="$findings/$target-" "$corpus" "${seeds[@]}" > "$work/$target.log" 2>&1) ||
    run_status=$?
  grep -E "^(Done|stat::number_of_executed_units|INFO: seed corpus)" "$work/$target.log" || true
  if [ $run_status -ne 0 ] || ls "$findings/$target-"* > /dev/null 2>&1; then
    tail -n 40 "$work/$target.log"
    echo "$target: finding in $findings"
    status=1
  fi
done
exit $status
