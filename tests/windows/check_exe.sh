#!/usr/bin/env bash
# What the built bmp256.exe must be: a 32-bit x86 GUI program (the 76-byte
# dialog record works only there), statically linked so that it needs no DLL
# beyond the system's own, with the application icon as icon group 122 in a
# 32x32 and a 16x16 image at 4 bits per pixel. bmp256-convert.exe, a console
# program, must need no other DLL either. Both ship without a symbol table.
# Usage: tests/windows/check_exe.sh WINDOWS_BUILD_DIR
set -uo pipefail
build=${1:?Windows build directory}
objdump=i686-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0; failed=0
source "$(dirname "$0")/../support/check.sh"

has() { grep -Eq -- "$1" "$2"; }

# The DLLs a program imports that Windows itself does not provide.
foreign_dlls() {
  grep -o 'DLL Name: .*' "$1" | cut -d' ' -f3 | tr 'a-z' 'A-Z' |
    grep -Evx 'KERNEL32\.DLL|USER32\.DLL|COMDLG32\.DLL|MSVCRT\.DLL' || true
}

for exe in bmp256 bmp256-convert; do
  "$objdump" -p -f "$build/bin/$exe.exe" >"$work/$exe.txt" 2>&1
done
app=$work/bmp256.txt
check "bmp256.exe: PE32 for i386" has '^architecture: i386,' "$app"
check "bmp256.exe: 32-bit optional header" has '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' "$app"
check "bmp256.exe: GUI subsystem" has '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' "$app"
check "bmp256.exe: imports the common dialogs" has 'DLL Name: COMDLG32' "$app"
for exe in bmp256 bmp256-convert; do
  foreign=$(foreign_dlls "$work/$exe.txt")
  [ -z "$foreign" ] || echo "     $exe.exe imports: $foreign"
  check "$exe.exe: no DLL beyond the system's" [ -z "$foreign" ]
  "$objdump" -t "$build/bin/$exe.exe" >"$work/$exe.syms" 2>&1
  check "$exe.exe: stripped" has '^no symbols' "$work/$exe.syms"
done
check "bmp256-convert.exe: console subsystem" \
  has '^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)' "$work/bmp256-convert.txt"

wrestool -x -t 14 -n 122 "$build/bin/bmp256.exe" -o "$work/group.ico" 2>/dev/null
icotool -l "$work/group.ico" >"$work/icons.txt" 2>&1
check "icon group 122 holds two images" [ "$(grep -c -- '^--icon' "$work/icons.txt")" = 2 ]
check "icon group 122: 32x32 at 4 bpp" has '--width=32 --height=32 --bit-depth=4 ' "$work/icons.txt"
check "icon group 122: 16x16 at 4 bpp" has '--width=16 --height=16 --bit-depth=4 ' "$work/icons.txt"

echo "windows-exe: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
