#!/usr/bin/env bash
# The main job on the built-in sample set, as a user would run it:
# installs what is missing, builds the program and the simulated camera, makes
# a calibration set (16 flat-field frames with vignetting, noise, hot and dead
# pixels and a bad column), then in one run builds, saves, marks and applies
# both maps and uploads them to the simulated camera; a second run downloads
# the defect map again. Ends with a check against what was injected, the
# job's report by kd-inspect (build/job/report/report.html) and its check that
# the camera gave back the map it was sent.
#
#   scripts/demo.sh [--size N] [--frames N]      (defaults 5120 and 16)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

size=5120
frames=16
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    *) echo "usage: scripts/demo.sh [--size N] [--frames N]" >&2; exit 2 ;;
  esac
done

KD_NATIVE_ONLY=1 scripts/setup.sh
cmake --preset native > /dev/null
cmake --build --preset native --target Kervo_Dravelmonix kd-inspect camsim make_samples

bin=$root/build/native/bin
job=$root/build/job
rm -rf "$job"
mkdir -p "$job"
cp "$bin/camsim.cti" "$job/"
cd "$job"

echo "=== making the sample set in $job"
"$bin/make_samples" . "$size" "$frames"
frame_files=(flat_*.bmp)

export CAMSIM_STATE=camera_state.txt
export CAMSIM_CONFIG=camera.cfg
printf 'width=%d\nheight=%d\n' "$size" "$size" > camera.cfg

echo "=== run 1: maps from the frames, applied, saved and uploaded"
"$bin/Kervo_Dravelmonix" \
  --load_img "${frame_files[@]}" --create_defpix_map --save_defpix_map defpix_map.txt \
  --mark_defpix_map flat_01.bmp marked.bmp \
  --load_img "${frame_files[@]}" --create_shading_map --save_shading_map shading_map.txt \
  --apply_shading_map flat_01.bmp shading_applied.bmp \
  --cti camsim.cti --if camsim-if0 --connect \
  --upload_defpix_map --upload_shading_map > run1.txt
grep -v -E '^[0-9]+, [0-9]+, ' run1.txt | tr '\r' '\n' | grep -v '^upload [0-9]*%$' || true

echo "=== run 2: the defect map downloaded from the camera"
"$bin/Kervo_Dravelmonix" --cti camsim.cti --if camsim-if0 --connect \
  --download_defpix_map --save_defpix_map downloaded_map.txt > run2.txt
sed -n '/^--version$/,$p' run2.txt | tail -n +3

python3 "$root/scripts/check_job.py" . "$size"

echo "=== the job's report: its maps judged against its frames"
"$bin/kd-inspect" report "${frame_files[@]}" --defpix defpix_map.txt --shading shading_map.txt \
  --out report
echo "=== the downloaded map against the uploaded one (the camera holds no columns)"
"$bin/kd-inspect" diff defpix_map.txt downloaded_map.txt --ignore-columns
