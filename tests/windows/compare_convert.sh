#!/usr/bin/env bash
# The 32-bit bmp256-convert.exe under wine must write the Linux build's bytes
# for every source of a set: odd widths 1 to 7 (every row padding), 1x1,
# top-down, the sample photo, every valid form of the BMP suite (palettised,
# RLE, 16-bit, 32-bit bitfields, OS/2 and 108/124-byte headers, top-down),
# one source in a folder whose Japanese name carries the 0x5C trail byte
# under code page 932. One start of the program converts them all: an
# emulated start takes minutes.
# Usage: tests/windows/compare_convert.sh WINDOWS_BUILD_DIR LINUX_CONVERT
# Its last line: "files compared: N of N identical".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:?Windows build directory}/bin/bmp256-convert.exe")
native=$(realpath "${2:?Linux bmp256-convert}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/sources
mkdir -p "$src" "$work/linux" "$work/windows"

for w in 1 2 3 4 5 6 7; do python3 "$here/make_test_bmp.py" "$w" 5 "$w" "$src/odd$w.bmp"; done
python3 "$here/make_test_bmp.py" 1 1 0 "$src/one.bmp"
python3 "$here/make_test_bmp.py" 13 -9 2 "$src/topdown24.bmp"
cp "$here/../../samples/sample.bmp" "$src/photo.bmp"
for f in "$here"/../data/bmpsuite/g/*.bmp; do cp "$f" "$src/suite-$(basename "$f")"; done
# ソ and 表 end in 0x5C in Shift-JIS.
ja=$src/$'\xe3\x82\xbd\xe8\xa1\xa8'
mkdir -p "$ja"
python3 "$here/make_test_bmp.py" 21 11 5 "$ja/japanese.bmp"

sources=("$src"/*.bmp "$ja/japanese.bmp")
winpath() { printf 'Z:%s' "${1//\//\\}"; }
args=()
for f in "${sources[@]}"; do args+=("$(winpath "$f")"); done

"$native" -q -j 1 -o "$work/linux" "${sources[@]}"
echo "linux: exit $?"
# wine hands the program its arguments in the ANSI code page, 932 here.
LC_ALL=ja_JP.UTF-8 "$here/wine-run.sh" "$exe" -q -j 1 -o "$(winpath "$work/windows")" "${args[@]}" </dev/null
echo "windows: exit $?"

same=0; total=${#sources[@]}
for f in "${sources[@]}"; do
  name=$(basename "$f")
  if [ ! -f "$work/linux/$name" ]; then
    echo "FAIL $name: the Linux build wrote nothing"
  elif cmp -s "$work/linux/$name" "$work/windows/$name"; then
    same=$((same + 1))
  else
    echo "FAIL $name: bmp256-convert.exe wrote other bytes (or nothing)"
  fi
done
echo "files compared: $same of $total identical"
[ "$same" -eq "$total" ]
