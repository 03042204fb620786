#!/usr/bin/env bash
# Whole runs of bmp256.exe under wine and Xvfb, the save dialog driven
# with xdotool: accept, cancel, the overwrite prompt (declined, then
# accepted), and the argument refusals that must end with no window at all.
# Results are compared byte for byte with the Linux bmp256-convert.
# Usage: tests/windows/dialog_wine_test.sh WINDOWS_BUILD_DIR LINUX_CONVERT [SCREENSHOT.png]
#   BMP256_WINEPREFIX  the wine prefix (see wine-run.sh)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?Windows build directory}
native_convert=$(realpath "${2:?Linux bmp256-convert}")
screenshot=${3:-}
program=$(realpath "$build/bin/bmp256.exe")
sample=$(realpath "$here/../../samples/sample.bmp")
wine_run=$here/wine-run.sh
work=$(mktemp -d)
passed=0; failed=0

# wine decodes the program's Shift-JIS texts with the ANSI code page, which it
# takes from the locale: 932 here.
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all
title=$'\xe5\x90\x8d\xe5\x89\x8d\xe3\x82\x92\xe4\xbb\x98\xe3\x81\x91\xe3\x81\xa6\xe4\xbf\x9d\xe5\xad\x98'

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
# wine's background services must run on this display: a wineserver that
# lingers from an earlier run started them without one.
export WINEPREFIX=${BMP256_WINEPREFIX:-/tmp/bmp256-wine}
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null

# There is no window manager: wine draws the title bars itself, so that the
# screenshot shows the dialog's title.
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
  >/dev/null 2>&1

# How long a program may take to show its window or end; an emulated
# 32-bit start takes minutes.
wait_s=${BMP256_WINE_WAIT:-20}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Visible windows with the dialog's title other than $2, while pid $1 runs;
# waits up to $wait_s seconds for one.
find_window() {
  local wid
  for _ in $(seq $((wait_s * 20))); do
    for wid in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
      [ "$wid" = "$2" ] && continue
      echo "$wid"; return 0
    done
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# keys, finish and check
source "$(dirname "${BASH_SOURCE[0]}")/../support/dialog_steps.sh"

# A fresh folder with the program copied in (its temporary file lands beside
# it) and the sample as pictures/photo.bmp; prints the folder.
setup() {
  local dir="$work/$1"
  mkdir -p "$dir/bin" "$dir/pictures"
  cp "$program" "$dir/bin/bmp256.exe"
  cp "$sample" "$dir/pictures/photo.bmp"
  echo "$dir"
}

is_8bit() { [ "$(head -c 2 "$1")" = BM ] && [ "$(od -An -tu2 -j28 -N2 "$1" | tr -d ' ')" = 8 ]; }

# The Linux program's conversion of $1, once.
expected() {
  local out="$work/expected-$(basename "$1").bmp"
  [ -f "$out" ] || "$native_convert" "$1" "$out" || return 1
  echo "$out"
}

# Starts bmp256.exe in folder $1 with the remaining arguments; sets $pid.
start() {
  local dir=$1; shift
  (cd "$dir" && exec "$wine_run" bin/bmp256.exe "$@" >"$dir/out.log" 2>"$dir/wine.log") & pid=$!
}

save_screenshot() {  # window
  [ -n "$screenshot" ] || return 0
  local X Y WIDTH HEIGHT WINDOW SCREEN
  # The proposed name is shown selected; End makes it readable. Then let the
  # dialog settle at its final size and paint its folder list.
  keys "$1" key End
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xwd -root -silent >"$work/shot.xwd" &&
    python3 "$here/xwd_to_png.py" "$work/shot.xwd" "$screenshot" "${WIDTH}x${HEIGHT}+${X}+${Y}" &&
    echo "     screenshot: $screenshot"
}

# The source is given relative to the current folder, and other bitmaps of
# the same relative name wait in the folders that the dialog may move the
# current folder to: the run must still convert the file it was given.
scenario_accept() {
  local dir pid wid rc reference
  dir=$(setup accept)
  mkdir -p "$dir/saved/pictures" "$dir/pictures/pictures"
  python3 "$here/make_test_bmp.py" 64 48 3 "$dir/saved/pictures/photo.bmp"
  cp "$dir/saved/pictures/photo.bmp" "$dir/pictures/pictures/photo.bmp"
  reference=$(expected "$sample") || { check "accept: Linux reference conversion" false; return; }
  start "$dir" 'pictures\photo.bmp'
  wid=$(find_window "$pid" "") || { check "accept: dialog appears" false; finish "$pid" "$wait_s"; return; }
  check "accept: dialog appears with its Japanese title" true
  keys "$wid" key ctrl+a && xdotool type --delay 10 -- "$(winpath "$dir/saved/result.bmp")" &&
    xdotool key Return
  finish "$pid" "$wait_s"; rc=$?
  check "accept: exit code 0" [ "$rc" = 0 ]
  check "accept: destination is 8-bit" is_8bit "$dir/saved/result.bmp"
  check "accept: same bytes as the Linux build's output" cmp "$reference" "$dir/saved/result.bmp"
  check "accept: temporary file beside the exe has the same bytes" \
    cmp "$dir/saved/result.bmp" "$dir/bin/bmp256.tmp"
  check "accept: source unchanged" cmp -s "$sample" "$dir/pictures/photo.bmp"
}

scenario_cancel() {
  local dir pid wid rc
  dir=$(setup cancel)
  start "$dir" "$(winpath "$dir/pictures/photo.bmp")"
  wid=$(find_window "$pid" "") || { check "cancel: dialog appears" false; finish "$pid" "$wait_s"; return; }
  keys "$wid" key Escape
  finish "$pid" "$wait_s"; rc=$?
  check "cancel: exit code 0" [ "$rc" = 0 ]
  check "cancel: no temporary file" [ ! -e "$dir/bin/bmp256.tmp" ]
  check "cancel: nothing else written" [ "$(ls "$dir/pictures")" = photo.bmp ]
  check "cancel: source unchanged" cmp -s "$sample" "$dir/pictures/photo.bmp"
}

# Enter on the proposed name in the proposed folder names the source itself,
# so the prompt shows that both were proposed.
scenario_overwrite() {
  local dir pid wid prompt rc reference
  dir=$(setup overwrite)
  reference=$(expected "$sample") || { check "overwrite: Linux reference conversion" false; return; }
  start "$dir" "$(winpath "$dir/pictures/photo.bmp")"
  wid=$(find_window "$pid" "") || { check "overwrite: dialog appears" false; finish "$pid" "$wait_s"; return; }
  save_screenshot "$wid"
  keys "$wid" key Return
  prompt=$(find_window "$pid" "$wid")
  check "overwrite: prompt for the proposed name in the source's folder" [ -n "$prompt" ]
  # "No": back in the dialog, nothing written yet.
  [ -n "$prompt" ] && keys "$prompt" key n
  for _ in $(seq 60); do xdotool getwindowname "$prompt" >/dev/null 2>&1 || break; sleep 0.05; done
  check "overwrite: declining keeps the dialog open" kill -0 "$pid"
  check "overwrite: declining replaces nothing" cmp -s "$sample" "$dir/pictures/photo.bmp"
  keys "$wid" key Return
  prompt=$(find_window "$pid" "$wid")
  [ -n "$prompt" ] && keys "$prompt" key y
  finish "$pid" "$wait_s"; rc=$?
  check "overwrite: exit code 0" [ "$rc" = 0 ]
  check "overwrite: yes replaces the source by its 8-bit version" cmp "$reference" "$dir/pictures/photo.bmp"
  check "overwrite: temporary file has the same bytes" \
    cmp "$dir/pictures/photo.bmp" "$dir/bin/bmp256.tmp"
}

# No argument, two, or a path that names nothing: the run ends by itself and
# no window ever shows.
scenario_refused() {  # name, arguments...
  local name=$1 dir pid rc seen=""; shift
  dir=$(setup "refused-$name")
  start "$dir" "$@"
  while kill -0 "$pid" 2>/dev/null && [ -z "$seen" ]; do
    seen=$(xdotool search --onlyvisible --name . 2>/dev/null | head -1)
    sleep 0.05
  done
  finish "$pid" "$wait_s"; rc=$?
  check "$name: no window" [ -z "$seen" ]
  check "$name: exit code 0" [ "$rc" = 0 ]
  check "$name: nothing written" [ ! -e "$dir/bin/bmp256.tmp" ]
}

scenario_accept
scenario_cancel
scenario_overwrite
scenario_refused "no argument"
scenario_refused "two arguments" 'pictures\photo.bmp' 'pictures\photo.bmp'
scenario_refused "missing file" 'pictures\absent.bmp'
echo "wine-dialog: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
