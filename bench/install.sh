#!/usr/bin/env bash
# Installs what the comparison benches use and CI does not: the other tools
# (ImageMagick, pngquant, ffmpeg, vips, /usr/bin/time, bc) and the real
# photographs (Debian's mate-backgrounds and scikit-image's samples).
# Not part of scripts/install-deps.sh, so CI spends no time on it.
#
#   bench/install.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/apt.sh
need=()
# A real ImageMagick: a script named convert elsewhere on PATH does not count.
[ -x /usr/bin/convert-im6.q16 ] || need+=(imagemagick)
command -v pngquant >/dev/null || need+=(pngquant)
command -v ffmpeg >/dev/null || need+=(ffmpeg)
command -v vips >/dev/null || need+=(libvips-tools)
[ -x /usr/bin/time ] || need+=(time)
command -v bc >/dev/null || need+=(bc)
[ -d /usr/share/backgrounds/mate/nature ] || need+=(mate-backgrounds)
[ -d /usr/lib/python3/dist-packages/skimage/data ] || need+=(python3-skimage)
# Python's image library, for making the bench's photographs from the packages' JPEG and PNG files.
[ -d /usr/lib/python3/dist-packages/PIL ] || need+=(python3-pil)
apt_install "${need[@]}"
