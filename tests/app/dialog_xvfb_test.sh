#!/usr/bin/env bash
# The real GTK save dialog of bmp256, driven under Xvfb with xdotool: accept,
# cancel, and the overwrite confirmation (declined and accepted).
# Usage: tests/app/dialog_xvfb_test.sh BUILD_DIR
# With BMP256_DIALOG_SCREENSHOT=FILE.png the dialog as it first appears is
# also saved there (needs xwd; scripts/make-readme-images.sh uses it).
set -uo pipefail
build=${1:?build directory}
program=$(realpath "$build/bin/bmp256")
work=$(mktemp -d)
passed=0; failed=0

# A display of our own; -noreset keeps it from going away between clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")" GDK_BACKEND=x11
# No accessibility bus or settings service on a bare machine.
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
# A screenshot shows the title bar, which only a window manager draws.
if [ -n "${BMP256_DIALOG_SCREENSHOT:-}" ] && command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  sleep 0.5
fi
title=$'\xe5\x90\x8d\xe5\x89\x8d\xe3\x82\x92\xe4\xbb\x98\xe3\x81\x91\xe3\x81\xa6\xe4\xbf\x9d\xe5\xad\x98'

# A 4 x 2 24-bit BMP.
make_source() {
  printf 'BM\x56\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x04\x00\x00\x00\x02\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x18\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$1"
  printf '\x00\x00\xff\x00\x00\xff\xff\x00\x00\xff\x00\x00\x00\x00\x00\xff\xff\xff\x00\x00\x00\xff\xff\xff' >>"$1"
}

# Visible windows of pid $1 other than $2 whose name is $3 ("" for untitled);
# waits up to 10 s for one.
find_window() {
  local wid name
  for _ in $(seq 200); do
    for wid in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      [ "$wid" = "$2" ] && continue
      name=$(xdotool getwindowname "$wid" 2>/dev/null) || continue
      if [ "$name" = "$3" ]; then echo "$wid"; return 0; fi
    done
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

# keys, finish and check
source "$(dirname "${BASH_SOURCE[0]}")/../support/dialog_steps.sh"

# A fresh folder with the program copied in and the source; prints the folder.
setup() {
  local dir="$work/$1"
  mkdir -p "$dir/bin" "$dir/pictures"
  cp "$program" "$dir/bin/bmp256"
  make_source "$dir/pictures/photo.bmp"
  echo "$dir"
}

# Starts the program on $dir/pictures/photo.bmp and waits for its dialog:
# sets pid and wid, or fails the check "$1: dialog appears".
start() {
  (cd "$dir" && XDG_CACHE_HOME="$dir/cache" exec bin/bmp256 pictures/photo.bmp >"$dir/out.log" 2>&1) & pid=$!
  wid=$(find_window "$pid" "" "$title") || { check "$1: dialog appears" false; finish "$pid"; return 1; }
}

is_8bit() { [ "$(head -c 2 "$1")" = BM ] && [ "$(od -An -tu2 -j28 -N2 "$1" | tr -d ' ')" = 8 ]; }

scenario_accept() {
  local dir pid wid rc
  dir=$(setup accept)
  start accept || return
  check "accept: dialog appears with its title" true
  if [ -n "${BMP256_DIALOG_SCREENSHOT:-}" ]; then
    xdotool windowsize "$wid" 720 440
    sleep 1  # the file list fills after the window maps
    # The window manager's frame is the dialog's parent window.
    frame=$(xwininfo -tree -id "$wid" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    case $(xwininfo -id "$frame" 2>/dev/null) in *"(the root window)"*|"") frame=$wid ;; esac
    xwd -silent -id "$frame" >"$work/dialog.xwd" &&
      python3 "$(dirname "${BASH_SOURCE[0]}")/../../tools/to_png.py" "$work/dialog.xwd" "$BMP256_DIALOG_SCREENSHOT"
  fi
  keys "$wid" key ctrl+a && xdotool type --delay 20 -- "$dir/pictures/out.bmp" && xdotool key Return
  finish "$pid"; rc=$?
  check "accept: exit code 0" [ "$rc" = 0 ]
  check "accept: destination is 8-bit" is_8bit "$dir/pictures/out.bmp"
  check "accept: temporary file has the same bytes" cmp -s "$dir/pictures/out.bmp" "$dir/cache/bmp256/bmp256.tmp"
  check "accept: nothing printed" [ ! -s "$dir/out.log" ]
}

scenario_cancel() {
  local dir pid wid rc
  dir=$(setup cancel)
  start cancel || return
  keys "$wid" key Escape
  finish "$pid"; rc=$?
  check "cancel: exit code 0" [ "$rc" = 0 ]
  check "cancel: no temporary file" [ ! -e "$dir/cache/bmp256/bmp256.tmp" ]
  check "cancel: source unchanged" cmp -s "$dir/pictures/photo.bmp" <(make_source /dev/stdout)
}

# Enter on the proposed name in the proposed folder hits the source itself,
# so the confirmation shows that both were proposed.
scenario_overwrite() {
  local dir pid wid prompt rc
  dir=$(setup overwrite)
  start overwrite || return
  keys "$wid" key Return
  prompt=$(find_window "$pid" "$wid" "")
  check "overwrite: confirmation asked for the proposed source" [ -n "$prompt" ]
  # Declined: back in the dialog; asked again and accepted.
  [ -n "$prompt" ] && keys "$prompt" key Escape
  for _ in $(seq 40); do xdotool getwindowname "$prompt" >/dev/null 2>&1 || break; sleep 0.05; done
  check "overwrite: declining keeps the dialog open" kill -0 "$pid"
  keys "$wid" key Return
  prompt=$(find_window "$pid" "$wid" "")
  [ -n "$prompt" ] && keys "$prompt" key Return
  finish "$pid"; rc=$?
  check "overwrite: exit code 0" [ "$rc" = 0 ]
  check "overwrite: source replaced by its 8-bit version" is_8bit "$dir/pictures/photo.bmp"
  check "overwrite: temporary file has the same bytes" cmp -s "$dir/pictures/photo.bmp" "$dir/cache/bmp256/bmp256.tmp"
}

# The forms bmp256-convert reads (a 124-byte header as image editors write
# it, a PNG, a JPEG) give the bytes of bmp256-convert --no-exact (the
# desktop program always reduces; the converter keeps a few colours exact).
write_form() {
  local suite
  suite="$(dirname "${BASH_SOURCE[0]}")/../data/bmpsuite"
  case $1 in
    v5) python3 - "$2" <<'PY'
import struct, sys
w, h = 5, 3
rows = b"".join(bytes((x * 50 + y * 7) % 256 for x in range(w * 3)) + b"\0" for y in range(h))
info = struct.pack("<IiiHHIIiiII", 124, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
info += bytes(16) + b"BGRs" + bytes(124 - 60)
open(sys.argv[1], "wb").write(b"BM" + struct.pack("<IHHI", 14 + 124 + len(rows), 0, 0, 138) + info + rows)
PY
    ;;
    png|jpeg) local file="$suite/q/rgb24$1.bmp"
      tail -c +$(( $(od -An -tu4 -j10 -N4 "$file" | tr -d ' ') + 1 )) "$file" >"$2" ;;
  esac
}

scenario_forms() {
  local form dir pid wid rc
  for form in v5 png jpeg; do
    dir=$(setup "form-$form")
    write_form "$form" "$dir/pictures/photo.bmp"
    "$build/bin/bmp256-convert" --no-exact "$dir/pictures/photo.bmp" "$dir/expected.bmp" 2>/dev/null || {
      echo "skip: $form (this build does not read it)"; continue; }
    start "$form" || continue
    keys "$wid" key ctrl+a && xdotool type --delay 20 -- "$dir/pictures/out.bmp" && xdotool key Return
    finish "$pid"; rc=$?
    check "$form: exit code 0" [ "$rc" = 0 ]
    check "$form: the bytes of bmp256-convert" cmp -s "$dir/expected.bmp" "$dir/pictures/out.bmp"
  done
}

scenario_accept
scenario_cancel
scenario_overwrite
scenario_forms
echo "dialog: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
