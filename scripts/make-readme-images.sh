#!/usr/bin/env bash
# Makes the pictures of README: the Linux save dialog as the dialog test
# shows it under Xvfb (docs/linux-dialog.png), and three pictures converted
# by bmp256-convert beside ImageMagick's and pngquant's 256-colour results,
# as zoomed crops in docs/readme/:
#   photo     a real photograph, coffee.png of the Debian package
#             python3-skimage (scikit-image's sample data, public domain);
#   screen    the dialog screenshot above: flat colours and anti-aliased text;
#   gradient  a smooth ramp made here, where banding shows first.
# ImageMagick runs as bench/compare.sh runs it (Floyd-Steinberg, 256 colours),
# pngquant with its defaults and 256 colours.
# Usage: scripts/make-readme-images.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
photo=/usr/lib/python3/dist-packages/skimage/data/coffee.png
magick=/usr/bin/convert-im6.q16  # Debian's name; a plain `convert` may be another program
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwd >/dev/null || need+=(x11-apps)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v openbox >/dev/null || need+=(openbox)  # the title bar
# The dialog's Japanese title shows as boxes without a CJK font.
fc-list :lang=ja | grep -q . || need+=(fonts-ipafont-gothic)
[ -x "$magick" ] || need+=(imagemagick)
command -v pngquant >/dev/null || need+=(pngquant)
[ -f "$photo" ] || need+=(python3-skimage)
if [ ${#need[@]} -gt 0 ]; then
  . scripts/lib/apt.sh
  apt_install "${need[@]}"
fi
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j2 --target bmp256-convert bmp256
BMP256_DIALOG_SCREENSHOT=$PWD/docs/linux-dialog.png bash tests/app/dialog_xvfb_test.sh "$build"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=docs/readme
mkdir -p "$out"
cp "$photo" "$work/photo.png"
cp docs/linux-dialog.png "$work/screen.png"
# Blue to orange across, darkening downwards: far more than 256 colours.
"$magick" -size 160x640 'gradient:#1040c0-#ffb040' -rotate -90 \
  \( -size 640x160 'gradient:#ffffff-#606060' \) -compose multiply -composite \
  -depth 8 "PNG24:$work/gradient.png"

# name  crop (WxH+X+Y of the whole picture)  zoom
pictures=(
  "photo 150x100+300+215 300%"
  "screen 150x100+0+25 300%"
  "gradient 150x100+245+0 300%"
)
for entry in "${pictures[@]}"; do
  read -r name crop zoom <<<"$entry"
  src=$work/$name.png
  "$build/bin/bmp256-convert" -f "$src" "$work/$name-bmp256.bmp"
  python3 tools/to_png.py "$work/$name-bmp256.bmp" "$work/$name-bmp256.png"
  "$magick" "$src" -dither FloydSteinberg -colors 256 "PNG8:$work/$name-imagemagick.png"
  pngquant --force --output "$work/$name-pngquant.png" 256 "$src"
  for result in source bmp256 imagemagick pngquant; do
    from=$work/$name-$result.png
    [ "$result" = source ] && from=$src
    # Nearest-neighbour zoom: every pixel a square, so the dithering shows.
    "$magick" "$from" -crop "$crop" +repage -filter point -resize "$zoom" -strip "PNG24:$out/$name-$result.png"
  done
done
# The whole photograph before and after, at its own size.
python3 tools/to_png.py "$work/photo-bmp256.bmp" "$out/photo-whole-bmp256.png"
"$magick" "$photo" -strip "PNG24:$out/photo-whole-source.png"
ls -l docs/linux-dialog.png "$out"
