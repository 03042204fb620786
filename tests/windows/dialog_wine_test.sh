#!/usr/bin/env bash
# Whole runs of bmp256.exe under wine and Xvfb, the save dialog driven
# with xdotool, each check observing what its name says: the files' bytes
# once the run has ended, the overwrite prompt's own text (wine traces it),
# the dialog's window after an answer. Results are compared byte for byte
# with the Linux bmp256-convert.
# Usage: tests/windows/dialog_wine_test.sh WINDOWS_BUILD_DIR LINUX_CONVERT [SCREENSHOT.png]
#   BMP256_WINEPREFIX       the wine prefix (see wine-run.sh)
#   BMP256_WINE_START       seconds a start may take to show its window (20);
#                           a start that shows none by then is killed and
#                           made again, twice at most
#   BMP256_WINE_WAIT        seconds a window or the end may take after a key (20)
#   BMP256_WINE_HANG_START  N: freeze the Nth start, to prove the above
#   BMP256_WINE_ONLY        the scenarios to run (accept cancel overwrite
#                           text folder readonly refused); all by default
# Its last line: "dialog checks: N passed of M".
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
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
mounts=()

# wine decodes the program's Shift-JIS texts with the ANSI code page, which it
# takes from the locale: 932 here. The message box channel traces the text
# of the overwrite prompt.
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all,trace+msgbox
title=$'\xe5\x90\x8d\xe5\x89\x8d\xe3\x82\x92\xe4\xbb\x98\xe3\x81\x91\xe3\x81\xa6\xe4\xbf\x9d\xe5\xad\x98'
# ソ and 表: both end in the byte 0x5C in Shift-JIS.
so=$'\xe3\x82\xbd' hyo=$'\xe8\xa1\xa8'

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null
  local m
  for m in "${mounts[@]}"; do $SUDO umount "$m"; done
  rm -rf "$work"
}
trap cleanup EXIT
# Stopped from outside (the step's overall timeout), the count so far.
trap 'echo "dialog checks: $passed passed of $((passed + failed)), stopped before the end"; exit 1' TERM INT
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

start_s=${BMP256_WINE_START:-20}
wait_s=${BMP256_WINE_WAIT:-20}
hang_start=${BMP256_WINE_HANG_START:-0}
starts=0

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Visible windows with the dialog's title other than $2, while pid $1 runs;
# waits up to $3 seconds for one.
find_window() {
  local wid deadline=$((SECONDS + $3))
  while [ "$SECONDS" -lt "$deadline" ]; do
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

# A fresh folder with the program copied in as bin/$2 (default bmp256.exe;
# its temporary file lands beside it) and the sample as pictures/photo.bmp;
# prints the folder.
setup() {
  local dir="$work/$1"
  mkdir -p "$dir/bin" "$dir/pictures" "$dir/saved"
  cp "$program" "$dir/bin/${2:-bmp256.exe}"
  cp "$sample" "$dir/pictures/photo.bmp"
  echo "$dir"
}

listing() { ls -A "$1" | tr '\n' ' '; }

is_8bit() { [ "$(head -c 2 "$1")" = BM ] && [ "$(od -An -tu2 -j28 -N2 "$1" | tr -d ' ')" = 8 ]; }

# The Linux program's conversion of $1, once.
expected() {
  local out="$work/expected-$(basename "$1").bmp"
  [ -f "$out" ] || "$native_convert" --no-exact "$1" "$out" || return 1
  echo "$out"
}

# Starts bin/$2 in folder $1 with the remaining arguments; sets $pid. The
# start that BMP256_WINE_HANG_START names is frozen at once.
launch() {
  local dir=$1 exe=$2; shift 2
  starts=$((starts + 1))
  (cd "$dir" && exec "$wine_run" "bin/$exe" "$@" >"$dir/out.log" 2>"$dir/wine.log") & pid=$!
  if [ "$starts" = "$hang_start" ]; then
    kill -STOP "$pid"
    echo "     start $starts frozen on request (BMP256_WINE_HANG_START)"
  fi
}

# A start that never shows its window (seen: the window made but never
# mapped, two emulated threads blocked on one pipe inside wine) is killed
# with everything wine runs, and made again.
kill_start() {
  kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
}

# Starts the program (launch's arguments, after the scenario's name) until
# its dialog shows, three times at most; sets $pid and $wid.
start_dialog() {
  local name=$1 attempt t0 why; shift
  for attempt in 1 2 3; do
    t0=$SECONDS
    launch "$@"
    if wid=$(find_window "$pid" "" "$start_s"); then
      echo "     $name: dialog shown $((SECONDS - t0)) s after start $attempt"
      return 0
    fi
    if kill -0 "$pid" 2>/dev/null; then
      kill_start; why="showed no window in $start_s s; killed"
    else
      wait "$pid"; why="ended with exit code $? and no window"
    fi
    [ "$attempt" = 3 ] && break
    echo "windows-dialog: $name: start $attempt $why; starting again ($((attempt + 1)) of 3)"
  done
  return 1
}

# The overwrite prompt over dialog $1 of pid $2: a second window with the
# dialog's title whose text, as wine traces it in log $3, asks to overwrite
# (wine's Japanese text names no file: "ファイルは既に存在します。\n上書きしますか?",
# traced as UTF-16 escapes; 上書き is \4e0a\66f8). Sets $prompt.
overwrite_prompt() {
  prompt=$(find_window "$2" "$1" "$wait_s") || return 1
  grep -a 'trace:msgbox' "$3" | grep -qaF -- '\4e0a\66f8'
}

# The dialog $1 is the only window with the title: the prompt has gone and
# the dialog stayed.
only_dialog_left() {
  local deadline=$((SECONDS + wait_s)) shown
  while [ "$SECONDS" -lt "$deadline" ]; do
    shown=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)
    [ "$shown" = "$1" ] && return 0
    grep -qx "$1" <<<"$shown" || return 1
    sleep 0.2
  done
  return 1
}

# Types path $2 into dialog $1 and confirms it.
save_as() { keys "$1" key ctrl+a && xdotool type --delay 10 -- "$(winpath "$2")" && xdotool key Return; }

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

# Run as BMP256.EXE, which makes the temporary file's lower-casing visible.
# The source is given relative to the current folder, and other bitmaps of
# the same relative name wait in the folders that the dialog may move the
# current folder to: the run must still convert the file it was given. The
# destination is another file that exists: the prompt asks, and "yes"
# replaces it whole.
scenario_accept() {
  local dir pid wid prompt rc reference
  dir=$(setup accept BMP256.EXE)
  mkdir -p "$dir/saved/pictures" "$dir/pictures/pictures"
  python3 "$here/make_test_bmp.py" 64 48 3 "$dir/saved/pictures/photo.bmp"
  cp "$dir/saved/pictures/photo.bmp" "$dir/pictures/pictures/photo.bmp"
  cp "$dir/saved/pictures/photo.bmp" "$dir/saved/result.bmp"
  reference=$(expected "$sample") || { check "accept: Linux reference conversion" false; return; }
  start_dialog accept "$dir" BMP256.EXE 'pictures\photo.bmp' ||
    { check "accept: dialog appears" false; return; }
  check "accept: dialog appears with its Japanese title" true
  save_as "$wid" "$dir/saved/result.bmp"
  check "accept: the prompt asks to overwrite the existing destination" \
    overwrite_prompt "$wid" "$pid" "$dir/wine.log"
  [ -n "${prompt:-}" ] && keys "$prompt" key y
  finish "$pid" "$wait_s"; rc=$?
  check "accept: exit code 0" [ "$rc" = 0 ]
  check "accept: destination is 8-bit" is_8bit "$dir/saved/result.bmp"
  check "accept: same bytes as the Linux build's output" cmp "$reference" "$dir/saved/result.bmp"
  check "accept: BMP256.EXE's temporary file is bmp256.tmp, with the same bytes" \
    cmp "$dir/saved/result.bmp" "$dir/bin/bmp256.tmp"
  check "accept: nothing else beside the exe" [ "$(listing "$dir/bin")" = "BMP256.EXE bmp256.tmp " ]
  check "accept: source unchanged" cmp -s "$sample" "$dir/pictures/photo.bmp"
}

# The prompt for an existing file declined, then the dialog cancelled: the
# file keeps its bytes once the run has ended, and nothing is written.
scenario_cancel() {
  local dir pid wid prompt rc
  dir=$(setup cancel)
  python3 "$here/make_test_bmp.py" 9 7 4 "$dir/pictures/kept.bmp"
  cp "$dir/pictures/kept.bmp" "$work/kept.bmp"
  start_dialog cancel "$dir" bmp256.exe "$(winpath "$dir/pictures/photo.bmp")" ||
    { check "cancel: dialog appears" false; return; }
  save_as "$wid" "$dir/pictures/kept.bmp"
  check "cancel: the prompt asks to overwrite the existing file" overwrite_prompt "$wid" "$pid" "$dir/wine.log"
  [ -n "${prompt:-}" ] && keys "$prompt" key n
  check "cancel: declining leaves the dialog open, the prompt gone" only_dialog_left "$wid"
  keys "$wid" key Escape
  finish "$pid" "$wait_s"; rc=$?
  check "cancel: exit code 0" [ "$rc" = 0 ]
  check "cancel: the declined file keeps its bytes" cmp -s "$work/kept.bmp" "$dir/pictures/kept.bmp"
  check "cancel: no temporary file" [ ! -e "$dir/bin/bmp256.tmp" ]
  check "cancel: nothing else written" [ "$(listing "$dir/pictures")|$(listing "$dir/saved")" = "kept.bmp photo.bmp |" ]
  check "cancel: source unchanged" cmp -s "$sample" "$dir/pictures/photo.bmp"
}

# Enter on the proposed name in the proposed folder names the source itself,
# here a Japanese path whose characters carry the 0x5C trail byte: only when
# the path is split at the real separator does the prompt come, and "yes"
# replace the source.
scenario_overwrite() {
  local dir pid wid prompt rc reference src
  dir=$(setup overwrite)
  mkdir -p "$dir/$so$hyo"
  src=$dir/$so$hyo/$hyo.bmp
  mv "$dir/pictures/photo.bmp" "$src"
  reference=$(expected "$sample") || { check "overwrite: Linux reference conversion" false; return; }
  start_dialog overwrite "$dir" bmp256.exe "$(winpath "$src")" ||
    { check "overwrite: dialog appears" false; return; }
  save_screenshot "$wid"
  keys "$wid" key Return
  check "overwrite: the prompt asks to overwrite the proposed name" \
    overwrite_prompt "$wid" "$pid" "$dir/wine.log"
  [ -n "${prompt:-}" ] && keys "$prompt" key y
  finish "$pid" "$wait_s"; rc=$?
  check "overwrite: exit code 0" [ "$rc" = 0 ]
  check "overwrite: yes replaces the source by its 8-bit version" cmp "$reference" "$src"
  check "overwrite: temporary file has the same bytes" cmp "$src" "$dir/bin/bmp256.tmp"
}

# A destination folder that cannot be written: the run ends after the
# dialog, exit code 0, the destination untouched, the result kept in the
# temporary file.
scenario_unwritten() {  # name, kind
  local name=$1 kind=$2 dir pid wid rc src dest reference
  dir=$(setup "$name")
  src=$dir/pictures/photo.bmp dest=$dir/saved/out.bmp
  case $kind in
    readonly)
      dest=$dir/locked/out.bmp
      mkdir "$dir/locked"
      # A bind mount, read-only: a folder's mode does not stop root.
      $SUDO mount --bind "$dir/locked" "$dir/locked" && mounts+=("$dir/locked") &&
        $SUDO mount -o remount,bind,ro "$dir/locked" ||
        { check "$name: read-only folder made" false; return; }
      reference=$(expected "$sample") || { check "$name: Linux reference conversion" false; return; }
      ;;
  esac
  cp -r "$src" "$work/$name.before"
  start_dialog "$name" "$dir" bmp256.exe "$(winpath "$src")" ||
    { check "$name: dialog appears" false; return; }
  save_as "$wid" "$dest"
  finish "$pid" "$wait_s"; rc=$?
  check "$name: exit code 0" [ "$rc" = 0 ]
  check "$name: nothing written at the destination" [ -z "$(ls -A "$(dirname "$dest")")" ]
  check "$name: source unchanged" diff -r "$work/$name.before" "$src"
  check "$name: the temporary file holds the result" cmp "$reference" "$dir/bin/bmp256.tmp"
}

# No argument, two, a path that names nothing, or a source the program does
# not read (not an image, a folder): the run ends by itself before any
# window shows. A start that neither ends nor shows a window is made again,
# as in start_dialog.
refused_run() {  # name, dir, arguments...
  local name=$1 dir=$2 pid rc seen attempt deadline; shift 2
  for attempt in 1 2 3; do
    launch "$dir" bmp256.exe "$@"
    seen="" deadline=$((SECONDS + start_s))
    while kill -0 "$pid" 2>/dev/null && [ -z "$seen" ] && [ "$SECONDS" -lt "$deadline" ]; do
      seen=$(xdotool search --onlyvisible --name . 2>/dev/null | head -1)
      sleep 0.05
    done
    if [ -n "$seen" ] || ! kill -0 "$pid" 2>/dev/null || [ "$attempt" = 3 ]; then break; fi
    kill_start
    echo "windows-dialog: $name: start $attempt did not end in $start_s s; killed, starting again ($((attempt + 1)) of 3)"
  done
  finish "$pid" "$wait_s"; rc=$?
  check "$name: no window" [ -z "$seen" ]
  check "$name: exit code 0" [ "$rc" = 0 ]
  check "$name: nothing written" [ ! -e "$dir/bin/bmp256.tmp" ]
  check "$name: nothing saved" [ -z "$(ls -A "$dir/saved")" ]
}

scenario_refused() {  # name, arguments...
  local name=$1; shift
  refused_run "$name" "$(setup "refused-$name")" "$@"
}

scenario_not_read() {  # name, kind
  local name=$1 kind=$2 dir src
  dir=$(setup "refused-$name")
  src=$dir/pictures/photo.bmp
  case $kind in
    text) printf 'not a picture\r\n' >"$src" ;;
    folder) src=$dir/pictures/album; mkdir "$src" ;;
  esac
  cp -r "$src" "$work/$name.before"
  refused_run "$name" "$dir" "$(winpath "$src")"
  check "$name: source unchanged" diff -r "$work/$name.before" "$src"
}

# BMP256_WINE_ONLY="accept cancel ..." runs only the scenarios named.
want() { [ -z "${BMP256_WINE_ONLY:-}" ] || [[ " $BMP256_WINE_ONLY " == *" $1 "* ]]; }
want accept && scenario_accept
want cancel && scenario_cancel
want overwrite && scenario_overwrite
want text && scenario_not_read "not an image" text
want folder && scenario_not_read "folder as source" folder
want readonly && scenario_unwritten "read-only destination folder" readonly
want refused && scenario_refused "no argument"
want refused && scenario_refused "two arguments" 'pictures\photo.bmp' 'pictures\photo.bmp'
want refused && scenario_refused "missing file" 'pictures\absent.bmp'
echo "dialog checks: $passed passed of $((passed + failed))"
[ "$failed" -eq 0 ]
