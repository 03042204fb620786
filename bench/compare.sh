#!/usr/bin/env bash
# Converts one 12-megapixel photo-like 24-bit BMP to 256 colours with
# bmp256-convert and with every other tool installed here, several runs each,
# taking turns so that a change of machine load hits every tool alike, and
# prints per tool: the median wall time, the peak memory (largest resident
# set of any run), the time as a multiple of bmp256's, and the PSNR of the
# output against the source.
#
#   bench/compare.sh [RUNS]          (default 5; BUILD=dir picks the build, default build)
#
# Installs nothing. Compared when present (Debian packages): imagemagick
# (convert, and compare for the PSNR), ffmpeg, pngquant; time (/usr/bin/time)
# for the peak memory. The source comes from bmp256-bench --write-photo, or
# from make_sample when the benchmark is not built.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
case $runs in '' | *[!0-9]* | 0) echo "usage: bench/compare.sh [RUNS]" >&2; exit 2 ;; esac
build=${BUILD:-build}
convert_bin=$build/bin/bmp256-convert
[ -x "$convert_bin" ] || { echo "compare.sh: $convert_bin not built (cmake --build $build)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bmp256-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/photo.bmp

if [ -x "$build/bin/bmp256-bench" ]; then
  "$build/bin/bmp256-bench" --write-photo "$src" 12
elif [ -x "$build/bin/make_sample" ]; then
  "$build/bin/make_sample" "$src" 4001 2999
else
  echo "compare.sh: neither bmp256-bench nor make_sample is built in $build" >&2
  exit 1
fi

# A real program, not a wrapper script standing in for one: an ELF file
# once symbolic links are followed.
is_binary() {
  local path
  path=$(readlink -f "$1" 2>/dev/null) || return 1
  [ -f "$path" ] && [ "$(head -c 4 "$path" | od -An -c | tr -d ' ')" = "177ELF" ]
}

# The first real ImageMagick program among the names given (searched on PATH
# and in /usr/bin, where Debian puts the versioned names).
find_magick() {
  local name path
  for name in "$@"; do
    for path in $(type -ap "$name" 2>/dev/null) "/usr/bin/$name"; do
      if is_binary "$path" && "$path" -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
        echo "$path"
        return 0
      fi
    done
  done
  return 1
}

magick_convert=()
magick_compare=()
if path=$(find_magick magick); then
  magick_convert=("$path")
  magick_compare=("$path" compare)
else
  if path=$(find_magick convert convert-im6.q16 convert-im6); then magick_convert=("$path"); fi
  if path=$(find_magick compare compare-im6.q16 compare-im6); then magick_compare=("$path"); fi
fi

timer=
if is_binary /usr/bin/time; then timer=/usr/bin/time; fi

# name|command (SRC, PNG and OUT are replaced per run)
tools=("bmp256-convert|$convert_bin SRC OUT.bmp")
if [ ${#magick_convert[@]} -gt 0 ]; then
  tools+=("ImageMagick|${magick_convert[*]} SRC -dither FloydSteinberg -colors 256 BMP3:OUT.bmp")
fi
if command -v ffmpeg >/dev/null; then
  tools+=("ffmpeg|ffmpeg -nostdin -v error -y -i SRC -filter_complex split[a][b];[a]palettegen=max_colors=256:reserve_transparent=0[p];[b][p]paletteuse=dither=floyd_steinberg -pix_fmt pal8 OUT.bmp")
fi
if command -v pngquant >/dev/null; then
  tools+=("pngquant|pngquant --force --output OUT.png 256 PNG")
fi

# pngquant reads PNG only: the same pixels as a PNG, made once, not timed.
png=$work/photo.png
if [ ${#magick_convert[@]} -gt 0 ]; then
  "${magick_convert[@]}" "$src" "$png"
elif command -v ffmpeg >/dev/null; then
  ffmpeg -nostdin -v error -y -i "$src" "$png"
fi

echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | sed 's/.*: //')"
echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Source: 4001 x 2999 (12.0 MP), $(stat -c %s "$src") bytes; $runs runs per tool, taken in turns"
[ ${#magick_convert[@]} -gt 0 ] || echo "ImageMagick: not installed (no real convert or magick found), skipped"
command -v ffmpeg >/dev/null || echo "ffmpeg: not installed, skipped"
command -v pngquant >/dev/null || echo "pngquant: not installed, skipped"
[ -n "$timer" ] || echo "time: /usr/bin/time not installed, no peak memory"

declare -A walls peaks outputs failed
for ((run = 1; run <= runs; ++run)); do
  for i in "${!tools[@]}"; do
    name=${tools[$i]%%|*}
    command=${tools[$i]#*|}
    [ "$name" != pngquant ] || [ -f "$png" ] || continue
    out=$work/out$i
    command=${command//SRC/$src}
    command=${command//PNG/$png}
    command=${command//OUT/$out}
    read -r -a argv <<<"$command"
    stats=$work/stats
    [ -z "${failed[$i]:-}" ] || continue
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
      echo "compare.sh: $name failed: ${argv[*]}" >&2
      failed[$i]=1
      unset "walls[$i]"
      continue
    fi
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.6f", (b - a) / 1e9}')
    peak=$(tail -1 "$stats")
    walls[$i]="${walls[$i]:-} $wall"
    peaks[$i]="${peaks[$i]:-} $peak"
    outputs[$i]=$(ls "$out".* 2>/dev/null | head -1)
  done
done
echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"

median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
largest() { tr ' ' '\n' | grep . | sort -g | tail -1; }

psnr() {
  [ ${#magick_compare[@]} -gt 0 ] || { echo "-"; return; }
  # compare exits 1 when the images differ, which they do; the metric goes to stderr.
  local value
  value=$("${magick_compare[@]}" -metric PSNR "$src" "$1" null: 2>&1 >/dev/null || true)
  echo "${value%% *}"
}

[ -n "${walls[0]:-}" ] || { echo "compare.sh: bmp256-convert failed" >&2; exit 1; }
base=$(echo "${walls[0]}" | median)
printf '\n%-15s %12s %12s %14s %10s\n' tool "median s" "peak MiB" "x bmp256" "PSNR dB"
for i in "${!tools[@]}"; do
  [ -n "${walls[$i]:-}" ] || continue
  name=${tools[$i]%%|*}
  wall=$(echo "${walls[$i]}" | median)
  peak=$(echo "${peaks[$i]}" | largest)
  printf '%-15s %12.4f %12.1f %14.1f %10s\n' "$name" "$wall" "$(awk -v p="$peak" 'BEGIN {print p / 1024}')" \
    "$(awk -v w="$wall" -v b="$base" 'BEGIN {print w / b}')" "$(psnr "${outputs[$i]}")"
done

# bmp256's own targets: a tenth of ImageMagick's time, memory within the
# source pixels + the index buffer + 40 MiB.
budget_kib=$(( (12004 * 2999 + 4004 * 2999) / 1024 + 40 * 1024 ))
peak=$(echo "${peaks[0]}" | largest)
echo
if [ -n "$timer" ]; then
  echo "bmp256 peak memory: $(( peak / 1024 )) MiB of a $(( budget_kib / 1024 )) MiB budget (source 34.3 + indices 11.5 + 40)"
fi
if [ ${#magick_convert[@]} -gt 0 ] && [ -n "${walls[1]:-}" ]; then
  im=$(echo "${walls[1]}" | median)
  echo "bmp256 time: $(awk -v b="$base" -v m="$im" 'BEGIN {printf "%.3f", b / m}') of ImageMagick's (target 0.1 or less)"
fi
