#!/usr/bin/env bash
# Converts real photographs (and the generated picture) to 256 colours with
# bmp256-convert and with every other tool installed here, several runs each,
# the tools taking turns so that a change of machine load hits every tool
# alike, and prints per picture and tool: the median wall time, the peak
# memory (largest resident set of any run), bmp256's time as a share of the
# tool's (0.05: twenty times as fast) and the PSNR of the output against the
# source; then each tool's mean PSNR over the nine photographs of the quality
# set. bmp256-convert runs three ways: default threads, -j 1 (one thread) and
# --refine.
#
#   bench/compare.sh [RUNS [PICTURE...]]   (default 5 runs, every picture;
#                                           BUILD=dir picks the build, default build)
#
# bench/install.sh installs the other tools and the photographs (Debian
# packages: imagemagick, pngquant, ffmpeg, libvips-tools, mate-backgrounds,
# python3-skimage); a tool that is missing is left out. bench/photos.sh lists
# the pictures (PHOTOS=dir keeps them between runs).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh

runs=${1:-5}
whole_count "$runs" "bench/compare.sh [RUNS [PICTURE...]]"
shift || true
build=${BUILD:-build}
convert_bin=$build/bin/bmp256-convert
need_built "$build" "$convert_bin"

work=$(mktemp -d "${TMPDIR:-/tmp}/bmp256-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
photos=${PHOTOS:-${TMPDIR:-/tmp}/bmp256-photos}
list=$(BUILD=$build bench/photos.sh "$photos")

magick_convert=()
magick_compare=()
if magick_tool "" convert-im6.q16 convert convert-im6; then magick_convert=("${magick_cmd[@]}"); fi
if magick_tool compare compare-im6.q16 compare compare-im6; then magick_compare=("${magick_cmd[@]}"); fi
[ ${#magick_compare[@]} -gt 0 ] || echo "compare.sh: no ImageMagick compare, no PSNR column" >&2

timer=
if is_binary /usr/bin/time; then timer=/usr/bin/time; fi

# name|command (SRC, PNG and OUT are replaced per run). The first is the base of the ratios.
tools=("bmp256-convert|$convert_bin -f SRC OUT.bmp"
       "bmp256 -j 1|$convert_bin -f -j 1 SRC OUT.bmp"
       "bmp256 --refine|$convert_bin -f --refine SRC OUT.bmp")
if [ ${#magick_convert[@]} -gt 0 ]; then
  tools+=("ImageMagick|${magick_convert[*]} SRC -dither FloydSteinberg -colors 256 BMP3:OUT.bmp")
else
  echo "ImageMagick: not installed (no real convert or magick found), skipped"
fi
# add_tool NAME PROGRAM COMMAND: the tool, when PROGRAM is installed.
add_tool() {
  if command -v "$2" >/dev/null; then tools+=("$1|$3"); else echo "$1: not installed, skipped"; fi
}
add_tool pngquant pngquant "pngquant --force --output OUT.png 256 PNG"
add_tool ffmpeg ffmpeg "ffmpeg -nostdin -v error -y -i SRC -filter_complex split[a][b];[a]palettegen=max_colors=256:reserve_transparent=0[p];[b][p]paletteuse=dither=floyd_steinberg -pix_fmt pal8 OUT.bmp"
add_tool vips vips "vips pngsave PNG OUT.png --palette --bitdepth 8"
[ -n "$timer" ] || echo "time: /usr/bin/time not installed, no peak memory"

median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
largest() { tr ' ' '\n' | grep . | sort -g | tail -1; }

psnr() {
  [ ${#magick_compare[@]} -gt 0 ] || { echo "-"; return; }
  # compare exits 1 when the images differ, which they do; the metric goes to stderr.
  local value
  value=$("${magick_compare[@]}" -metric PSNR "$1" "$2" null: 2>&1 >/dev/null || true)
  echo "${value%% *}"
}

echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | sed 's/.*: //')"
echo "$runs runs per tool and picture, taken in turns"
declare -A quality_sum=() quality_count=()

# bench_picture NAME SRC SET: the runs and the table of one picture.
bench_picture() {
  local name=$1 src=$2 set=$3 png=$work/source.png run i command out wall peak stats ok start end produced
  local -A walls=() peaks=() outputs=() failed=()
  # pngquant and vips read PNG: the same pixels as a PNG, made once, not timed.
  /usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' "$src" "$png"
  local size
  size=$(/usr/bin/python3 -c 'import sys; from PIL import Image; w, h = Image.open(sys.argv[1]).size; print("%d x %d (%.2f MP)" % (w, h, w * h / 1e6))' "$src")
  echo
  echo "== $name: $size, load before $(cut -d' ' -f1-3 /proc/loadavg)"
  for ((run = 1; run <= runs; ++run)); do
    for i in "${!tools[@]}"; do
      [ -z "${failed[$i]:-}" ] || continue
      command=${tools[$i]#*|}
      out=$work/out$i
      rm -f "$out".*
      command=${command//SRC/$src}
      command=${command//PNG/$png}
      command=${command//OUT/$out}
      read -r -a argv <<<"$command"
      stats=$work/stats
      ok=1
      # Wall time to the microsecond from the clock here (time's own is in
      # hundredths), peak memory from time when it is there.
      start=$(date +%s%N)
      if [ -n "$timer" ]; then
        "$timer" -f "%M" -o "$stats" "${argv[@]}" >/dev/null || ok=0
      else
        "${argv[@]}" >/dev/null || ok=0
        echo 0 >"$stats"
      fi
      end=$(date +%s%N)
      if [ $ok = 0 ]; then
        # A tool that fails is left out of the table rather than ending the run.
        echo "compare.sh: ${tools[$i]%%|*} failed on $name: ${argv[*]}" >&2
        failed[$i]=1
        unset "walls[$i]"
        continue
      fi
      walls[$i]="${walls[$i]:-} $(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.6f", (b - a) / 1e9}')"
      peaks[$i]="${peaks[$i]:-} $(tail -1 "$stats")"
      # The first run's output is kept for the PSNR.
      if [ -z "${outputs[$i]:-}" ]; then
        produced=$(ls "$out".* | head -1)
        outputs[$i]=$work/kept$i.${produced##*.}
        cp "$produced" "${outputs[$i]}"
      fi
    done
  done
  echo "   load after $(cut -d' ' -f1-3 /proc/loadavg)"
  [ -n "${walls[0]:-}" ] || { echo "compare.sh: bmp256-convert failed on $name" >&2; return 1; }
  local base
  base=$(echo "${walls[0]}" | median)
  printf '%-16s %10s %10s %12s %9s\n' tool "median s" "peak MiB" "bmp256/tool" "PSNR dB"
  for i in "${!tools[@]}"; do
    [ -n "${walls[$i]:-}" ] || continue
    wall=$(echo "${walls[$i]}" | median)
    peak=$(echo "${peaks[$i]}" | largest)
    local value
    value=$(psnr "$src" "${outputs[$i]}")
    printf '%-16s %10.4f %10.1f %12.3f %9s\n' "${tools[$i]%%|*}" "$wall" "$(awk -v p="$peak" 'BEGIN {print p / 1024}')" \
      "$(awk -v w="$wall" -v b="$base" 'BEGIN {print b / w}')" "$value"
    if [ "$set" = quality ] && [ "$value" != - ]; then
      quality_sum[$i]=$(awk -v s="${quality_sum[$i]:-0}" -v v="$value" 'BEGIN {print s + v}')
      quality_count[$i]=$(( ${quality_count[$i]:-0} + 1 ))
    fi
  done
}

while read -r name src set; do
  if [ $# -gt 0 ]; then
    wanted=0
    for pick in "$@"; do [ "$pick" = "$name" ] && wanted=1; done
    [ $wanted = 1 ] || continue
  fi
  bench_picture "$name" "$src" "$set"
done <<<"$list"

if [ ${#quality_count[@]} -gt 0 ]; then
  echo
  echo "Mean PSNR over the quality set's photographs:"
  for i in "${!tools[@]}"; do
    [ -n "${quality_count[$i]:-}" ] || continue
    printf '%-16s %6.2f dB (%d photographs)\n' "${tools[$i]%%|*}" \
      "$(awk -v s="${quality_sum[$i]}" -v n="${quality_count[$i]}" 'BEGIN {print s / n}')" "${quality_count[$i]}"
  done
fi
