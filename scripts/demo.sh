#!/usr/bin/env bash
# The main job on the built-in simulated camera, as a user calibrates a
# camera: installs what is missing, builds the programs and the simulated
# camera (camsim.cti, a 5120 x 5120 sensor with vignetting, noise, hot and
# dead pixels and a bad column), then
#   1. grabs 16 frames from the camera (kd-inspect grab),
#   2. makes the defect and shading maps from them, saves and uploads them,
#   3. grabs 16 frames again, now corrected by the camera itself,
#   4. judges those with requirements a calibrated camera meets
#      (kd-inspect report --require), printing the camera's figures before
#      and after and PASS or FAIL,
#   5. downloads the defect map and compares it with the uploaded one.
# Ends with a check of the maps against the defects the sensor carries.
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

# A camera with nothing stored, of the size asked for.
export CAMSIM_STATE=camera_state.txt
export CAMSIM_CONFIG=camera.cfg
printf 'width=%d\nheight=%d\n' "$size" "$size" > camera.cfg

# What a calibrated camera delivers (see the README: limits from the sensor
# model, which leaves about 1% of fixed pattern and noise once corrected).
requirements=(--require defects.outliers_bright==0 --require defects.outliers_dark==0
              --require nonuniformity.before'<=1.5' --require shading.spread_before'<=3.5')

echo "=== 1. $frames frames from the camera, as it delivers them uncalibrated"
"$bin/kd-inspect" grab --cti camsim.cti --frames "$frames" --out before

echo "=== 2. maps made from them, saved and uploaded"
"$bin/Kervo_Dravelmonix" \
  --load_img before/frame_*.bmp --create_defpix_map --save_defpix_map defpix_map.txt \
  --load_img before/frame_*.bmp --create_shading_map --save_shading_map shading_map.txt \
  --cti camsim.cti --if camsim-if0 --connect \
  --upload_defpix_map --upload_shading_map > run1.txt
# Its messages after the usage text, without the frame and defect lines.
sed -n '/^--version$/,$p' run1.txt | tail -n +3 | tr '\r' '\n' |
  grep -v -E "^[0-9]+, [0-9]+, |^upload [0-9]*%$|^load_img\\('" || true

echo "=== 3. $frames frames again, corrected by the camera with its new maps"
"$bin/kd-inspect" grab --cti camsim.cti --frames "$frames" --out after

echo "=== the camera before its calibration"
"$bin/kd-inspect" report before/frame_*.bmp --out report_before | sed -n '/^nonuniformity\|^outliers\|^block spread/p'
echo "=== 4. the camera after its calibration, judged"
status=0
"$bin/kd-inspect" report after/frame_*.bmp --out report "${requirements[@]}" || status=$?

echo "=== 5. the defect map downloaded from the camera, against the uploaded one"
"$bin/Kervo_Dravelmonix" --cti camsim.cti --if camsim-if0 --connect \
  --download_defpix_map --save_defpix_map downloaded_map.txt > run2.txt
"$bin/kd-inspect" diff defpix_map.txt downloaded_map.txt --ignore-columns

# The defects the sensor carries, as make_samples lists them for a sensor of
# this size, against the map made from the camera's frames.
mkdir -p sensor
"$bin/make_samples" sensor "$size" 1 > /dev/null
cp sensor/injected.txt .
python3 "$root/scripts/check_job.py" . "$size"
echo "report of the calibrated camera: $job/report/report.html"
exit $status
