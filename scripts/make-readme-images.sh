#!/usr/bin/env bash
# Makes the pictures at the top of README: one photo-like picture of our own
# making (tools/make_sample.cpp) before and after the conversion, and the
# Linux save dialog as the dialog test under Xvfb shows it. Writes
# docs/photo-24bit.png, docs/photo-8bit.png and docs/linux-dialog.png.
# Usage: scripts/make-readme-images.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwd >/dev/null || need+=(x11-apps)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v openbox >/dev/null || need+=(openbox)  # the title bar
# The dialog's Japanese title shows as boxes without a CJK font.
fc-list :lang=ja | grep -q . || need+=(fonts-ipafont-gothic)
if [ ${#need[@]} -gt 0 ]; then
  . scripts/lib/apt.sh
  apt_install "${need[@]}"
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j2 --target make_sample bmp256-convert bmp256
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/make_sample" "$work/photo.bmp" 400 300 1
"$build/bin/bmp256-convert" "$work/photo.bmp" "$work/photo-8bit.bmp"
python3 tools/to_png.py "$work/photo.bmp" docs/photo-24bit.png
python3 tools/to_png.py "$work/photo-8bit.bmp" docs/photo-8bit.png
BMP256_DIALOG_SCREENSHOT=$PWD/docs/linux-dialog.png bash tests/app/dialog_xvfb_test.sh "$build"
ls -l docs/photo-24bit.png docs/photo-8bit.png docs/linux-dialog.png
