#!/usr/bin/env bash
# bmp256-convert's palette options beside ImageMagick (and pngquant when
# present), in one run, on real photographs from Debian packages and on a
# user-interface picture this script draws:
#   1. exactness of a picture of few colours (pixels that differ from the source);
#   2. PSNR and time at --colors 16 and 64 against ImageMagick's
#      -dither FloydSteinberg -colors N (and pngquant N);
#   3. --shared-palette over 50 frames against 50 separate conversions.
# Prints the machine's load at the start and the end: times are wall-clock on
# whatever else the machine runs.
#
#   bench/palette_quality.sh [RUNS]    (default 1; BUILD=dir picks the build, default build)
#
# Installs what is missing through bench/install.sh (ImageMagick, pngquant,
# the photographs); BENCH_INSTALL=0 installs nothing and skips what lacks.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh

runs=${1:-1}
whole_count "$runs" "bench/palette_quality.sh [RUNS]"
build=${BUILD:-build}
ours=$build/bin/bmp256-convert
need_built "$build" "$ours"

[ "${BENCH_INSTALL:-1}" = 0 ] || bash bench/install.sh

# The commands below are convert's: ImageMagick 7 runs them as "magick convert".
magick_tool convert convert-im6.q16 convert || { echo "palette_quality.sh: ImageMagick not found" >&2; exit 1; }
magick=("${magick_cmd[@]}")
magick_tool compare compare-im6.q16 compare || { echo "palette_quality.sh: ImageMagick's compare not found" >&2; exit 1; }
compare_cmd=("${magick_cmd[@]}")
have_pngquant=0
command -v pngquant >/dev/null && have_pngquant=1

work=$(mktemp -d "${TMPDIR:-/tmp}/bmp256-palettes.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
# psnr A B: PSNR in dB of B against A ("inf" when equal).
psnr() { "${compare_cmd[@]}" -metric PSNR "$1" "$2" null: 2>&1 >/dev/null | awk '{print $1}' || true; }
# differing A B: pixels that differ.
differing() { "${compare_cmd[@]}" -metric AE "$1" "$2" null: 2>&1 >/dev/null | awk '{print $1}' || true; }
# timed VAR CMD...: runs CMD `runs` times, the median wall time in VAR.
timed() {
  local var=$1 i t0 times=(); shift
  for ((i = 0; i < runs; i++)); do
    t0=$(now); "$@" >/dev/null 2>&1; times+=("$(echo "$(now) - $t0" | bc -l)")
  done
  printf -v "$var" '%s' "$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')"
}

echo "machine: $(nproc) processors; load at start: $(cut -d' ' -f1-3 /proc/loadavg) (other work shares the machine)"
echo "tools: bmp256-convert ($ours), ${magick[*]}$([ $have_pngquant = 1 ] && echo ", pngquant $(pngquant --version)")"
echo

# Photographs: every source as the same 24-bit BMP for every tool.
photos=()
for f in /usr/share/backgrounds/mate/nature/{Aqua,Dune,FreshFlower,GreenMeadow,LadyBird,Storm}.jpg \
         /usr/lib/python3/dist-packages/skimage/data/{astronaut,coffee}.png; do
  [ -f "$f" ] || continue
  name=$(basename "${f%.*}")
  "${magick[@]}" "$f" -type TrueColor BMP3:"$work/$name.bmp"
  photos+=("$work/$name.bmp")
done
[ ${#photos[@]} -ge 6 ] || echo "warning: only ${#photos[@]} photographs found (install mate-backgrounds, python3-skimage)"

# 1. A user-interface picture of 6 flat colours: white, the magenta key,
# #2B5797, two greys the tone search counts as one, and black.
"${magick[@]}" -size 640x400 xc:white +antialias \
  -fill '#2B5797' -draw 'rectangle 0,0 639,47' -fill '#FF00FF' -draw 'rectangle 20,80 140,200' \
  -fill '#0C0907' -draw 'rectangle 200,80 400,300' -fill '#0E0B08' -draw 'rectangle 220,100 380,280' \
  -fill black -draw 'line 0,360 639,360' -type TrueColor BMP3:"$work/ui.bmp"
"$ours" "$work/ui.bmp" "$work/ui-ours.bmp"
"${magick[@]}" "$work/ui.bmp" -dither FloydSteinberg -colors 256 "$work/ui-im.png"
printf '%-34s %s\n' "1. UI picture, 640x400, colours:" "$("${magick[@]}" "$work/ui.bmp" -format %k info:)"
printf '   %-31s %s pixels differ, PSNR %s\n' "bmp256-convert (default)" \
  "$(differing "$work/ui.bmp" "$work/ui-ours.bmp")" "$(psnr "$work/ui.bmp" "$work/ui-ours.bmp")"
"$ours" --no-exact "$work/ui.bmp" "$work/ui-noexact.bmp"
printf '   %-31s %s pixels differ, PSNR %s\n' "bmp256-convert --no-exact" \
  "$(differing "$work/ui.bmp" "$work/ui-noexact.bmp")" "$(psnr "$work/ui.bmp" "$work/ui-noexact.bmp")"
printf '   %-31s %s pixels differ, PSNR %s\n' "ImageMagick -colors 256" \
  "$(differing "$work/ui.bmp" "$work/ui-im.png")" "$(psnr "$work/ui.bmp" "$work/ui-im.png")"
if [ $have_pngquant = 1 ]; then
  "${magick[@]}" "$work/ui.bmp" "$work/ui.png"
  pngquant --force --output "$work/ui-pq.png" 256 "$work/ui.png" || true
  printf '   %-31s %s pixels differ, PSNR %s\n' "pngquant 256" \
    "$(differing "$work/ui.bmp" "$work/ui-pq.png")" "$(psnr "$work/ui.bmp" "$work/ui-pq.png")"
fi
# Converted again: the 8-bit result of 236 colours or fewer stays as it is.
"$ours" "$work/ui-ours.bmp" "$work/ui-again.bmp"
printf '   %-31s %s pixels differ\n' "converted twice" "$(differing "$work/ui-ours.bmp" "$work/ui-again.bmp")"
echo

# 2. Photographs at 16 and 64 colours.
echo "2. photographs (PSNR in dB; time in s, median of $runs)"
printf '%-14s %-10s %6s | %8s %7s | %8s %7s | %7s' photo size colours ours s IM s ours/IM
[ $have_pngquant = 1 ] && printf ' | %8s %7s' pngquant s
echo
for n in 16 64; do
  sum_ours=0; sum_im=0; wins=0
  for src in "${photos[@]}"; do
    name=$(basename "${src%.bmp}")
    timed t_ours "$ours" -f --colors "$n" "$src" "$work/o.bmp"
    timed t_im "${magick[@]}" "$src" -dither FloydSteinberg -colors "$n" "$work/m.png"
    p_ours=$(psnr "$src" "$work/o.bmp"); p_im=$(psnr "$src" "$work/m.png")
    sum_ours=$(echo "$sum_ours + $t_ours" | bc -l); sum_im=$(echo "$sum_im + $t_im" | bc -l)
    [ "$(echo "$p_ours >= $p_im" | bc -l)" = 1 ] && wins=$((wins + 1))
    printf '%-14s %-10s %6s | %8.2f %7.2f | %8.2f %7.2f | %7.3f' "$name" \
      "$("${magick[@]}" "$src" -format %wx%h info:)" "$n" "$p_ours" "$t_ours" "$p_im" "$t_im" \
      "$(echo "$t_ours / $t_im" | bc -l)"
    if [ $have_pngquant = 1 ]; then
      "${magick[@]}" "$src" "$work/p.png"
      timed t_pq pngquant --force --output "$work/q.png" "$n" "$work/p.png"
      printf ' | %8.2f %7.2f' "$(psnr "$src" "$work/q.png")" "$t_pq"
    fi
    echo
  done
  printf '   --colors %s: ours >= ImageMagick on %d of %d photos; total time ours/ImageMagick %.3f\n' \
    "$n" "$wins" "${#photos[@]}" "$(echo "$sum_ours / $sum_im" | bc -l)"
done
echo

# 3. 50 frames of one scene (a window panning across a photograph).
frames=$work/frames
mkdir -p "$frames"
scene=${photos[0]}
for i in $(seq -w 0 49); do
  "${magick[@]}" "$scene" -crop "640x400+$((10#$i * 12))+$((10#$i * 6))" +repage -type TrueColor \
    BMP3:"$frames/f$i.bmp"
done
timed t_separate "$ours" -f -q -o "$work/separate" "$frames"/*.bmp
timed t_shared "$ours" -f -q --shared-palette -o "$work/shared" "$frames"/*.bmp
worst=""
for f in "$frames"/*.bmp; do
  p=$(psnr "$f" "$work/shared/$(basename "$f")")
  if [ -z "$worst" ] || [ "$(echo "$p < $worst" | bc -l)" = 1 ]; then worst=$p; fi
done
echo "3. 50 frames of 640x400 from $(basename "$scene" .bmp):"
printf '   separate conversions %.2f s, --shared-palette %.2f s: ratio %.2f (lowest frame PSNR with the shared palette %s dB)\n' \
  "$t_separate" "$t_shared" "$(echo "$t_shared / $t_separate" | bc -l)" "$worst"
echo
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
