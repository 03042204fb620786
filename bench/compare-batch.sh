#!/usr/bin/env bash
# Converts the same 200 photo-like 24-bit BMPs of about 0.3 MP (odd sizes, so
# every row is padded) three ways, each as one whole process, taking turns
# round by round so that a change of machine load hits every way alike:
#   1. one batch run:         bmp256-convert -o DIR FILE...
#   2. a shell loop of single runs, one process per file
#   3. ImageMagick: mogrify -path DIR FILE... (a loop of convert where mogrify is missing)
# and prints the median wall time of each and its ratio to the batch run. It
# checks that every output of the batch run is byte-identical to the single
# run's and fails when one is not.
#
#   bench/compare-batch.sh [ROUNDS]     (default 3; BUILD=dir picks the build, default build)
#
# Installs nothing. ImageMagick is compared when installed (Debian package
# imagemagick); without it the third way is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/lib.sh

rounds=${1:-3}
whole_count "$rounds" "bench/compare-batch.sh [ROUNDS]"
build=${BUILD:-build}
convert_bin=$build/bin/bmp256-convert
make_sample=$build/bin/make_sample
need_built "$build" "$convert_bin" "$make_sample"
convert_bin=$(readlink -f "$convert_bin")

work=$(mktemp -d "${TMPDIR:-/tmp}/bmp256-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
count=200
pixels=0
for ((i = 0; i < count; ++i)); do
  width=$((601 + 2 * (i % 37)))
  height=$((461 + 2 * (i % 23)))
  pixels=$((pixels + width * height))
  "$make_sample" "$work/src/photo$i.bmp" "$width" "$height" "$((i + 1))" >/dev/null
done
sources=("$work"/src/*.bmp)

magick=()
magick_loop=
if magick_tool mogrify mogrify mogrify-im6.q16; then
  magick=("${magick_cmd[@]}")
elif magick_tool "" convert convert-im6.q16; then
  magick_loop=${magick_cmd[0]}
fi

run_batch() { "$convert_bin" -q -f -o "$1" "${sources[@]}"; }
run_loop() {
  bash -c 'out=$1; program=$2; shift 2
           for f; do "$program" -f "$f" "$out/${f##*/}" || exit 1; done' loop "$1" "$convert_bin" "${sources[@]}"
}
run_magick() {
  if [ ${#magick[@]} -gt 0 ]; then
    "${magick[@]}" -path "$1" -dither FloydSteinberg -colors 256 -define bmp:format=bmp3 "${sources[@]}"
  else
    bash -c 'out=$1; program=$2; shift 2
             for f; do "$program" "$f" -dither FloydSteinberg -colors 256 "BMP3:$out/${f##*/}" || exit 1; done' \
      loop "$1" "$magick_loop" "${sources[@]}"
  fi
}

ways=(batch loop)
names=("one batch run (bmp256-convert -o, -j $(nproc))" "shell loop of single runs")
if [ ${#magick[@]} -gt 0 ]; then
  ways+=(magick); names+=("ImageMagick mogrify")
elif [ -n "$magick_loop" ]; then
  ways+=(magick); names+=("ImageMagick, a loop of convert")
fi

echo "Machine: $(nproc) processors, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | sed 's/.*: //')"
echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Files: $count photo-like 24-bit BMPs, $(awk -v p="$pixels" -v n="$count" 'BEGIN { printf "%.2f", p / n / 1e6 }') MP on average; $rounds rounds, taken in turns"
[ ${#ways[@]} -eq 3 ] || echo "ImageMagick: not installed (no real mogrify or convert found), skipped"

declare -A times
for ((round = 1; round <= rounds; ++round)); do
  for way in "${ways[@]}"; do
    out=$work/out-$way
    rm -rf "$out"
    mkdir -p "$out"
    start=$(date +%s%N)
    "run_$way" "$out"
    end=$(date +%s%N)
    times[$way]+="$(((end - start) / 1000)) "
  done
  for f in "${sources[@]}"; do
    cmp -s "$work/out-batch/${f##*/}" "$work/out-loop/${f##*/}" || {
      echo "compare-batch.sh: ${f##*/}: the batch run's output differs from the single run's" >&2
      exit 1
    }
  done
done

median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
batch_us=$(median "${times[batch]}")
printf '%-48s %10s %8s\n' "way" "median" "ratio"
for i in "${!ways[@]}"; do
  us=$(median "${times[${ways[$i]}]}")
  awk -v name="${names[$i]}" -v us="$us" -v base="$batch_us" \
    'BEGIN { printf "%-48s %8.2f s %7.1fx\n", name, us / 1e6, us / base }'
done
echo "Outputs: all $count of the batch run byte-identical to the single runs' in every round"
