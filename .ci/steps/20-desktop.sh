#!/usr/bin/env bash
# The desktop program's real GTK save dialog under Xvfb, driven with xdotool.
# Reuses the main build (scripts/test.sh has built it into build/).
set -euo pipefail
cd "$(dirname "$0")/../.."
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v xdotool >/dev/null || need+=(xdotool)
if [ ${#need[@]} -gt 0 ]; then
  . scripts/lib/apt.sh
  apt_install "${need[@]}"
fi
build=${BMP256_BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j2 --target bmp256
timeout 300 bash tests/app/dialog_xvfb_test.sh "$build"
