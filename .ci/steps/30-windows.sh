#!/usr/bin/env bash
# The Windows programs, built with MinGW-w64 and run under wine:
# - the unit tests through CTest as a 64-bit build, which wine runs natively;
#   where 32-bit x86 runs natively too, the 32-bit build's tests as well;
# - the 32-bit programs that ship: bmp256-convert.exe must write the Linux
#   build's bytes, and bmp256.exe is run whole with its save dialog under
#   Xvfb (which also makes docs/windows-dialog.png again).
# 32-bit programs run natively or through qemu-user (tests/windows/binfmt.sh).
# The step fails when Windows programs cannot be run; BMP256_SKIP_WINDOWS=1
# skips it on purpose, for local use.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${BMP256_SKIP_WINDOWS:-}" = 1 ]; then
  echo "windows: skipped on request (BMP256_SKIP_WINDOWS=1)"
  exit 0
fi
started=$SECONDS
lap() { echo "windows: $1 after $((SECONDS - started)) s"; }

bash tests/windows/install-deps.sh
bash tests/windows/binfmt.sh
emulated=""
grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 && emulated=1
lap "tools ready"

build=${BMP256_WINDOWS_BUILD_DIR:-build-windows}
build64=${BMP256_WINDOWS64_BUILD_DIR:-build-windows64}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
cmake --build "$build" -j2
bash tests/windows/check_exe.sh "$build"
cmake -S . -B "$build64" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
cmake --build "$build64" -j2
# The Linux conversion to compare with; the main CI build has it already.
# Built here, it is the converter alone (the desktop program needs GTK).
native=${BMP256_BUILD_DIR:-build}
if [ ! -x "$native/bin/bmp256-convert" ]; then
  options=()
  [ -f "$native/CMakeCache.txt" ] || options=(-DBMP256_DESKTOP=OFF -DBMP256_TESTS=OFF -DBMP256_BENCH=OFF)
  cmake -S . -B "$native" -G Ninja "${options[@]}"
  cmake --build "$native" -j2 --target bmp256-convert
fi
lap "built"

# One prefix for the whole run, made before CTest starts and kept warm by a
# persistent wineserver, so that CTest's test discovery, which lists each
# test program's tests through wine, is quick. wine's background services
# are started first with no output attached: started by a listing, they
# would hold its pipe open and the listing would never end.
wine_tmp=$(mktemp -d)
export BMP256_WINEPREFIX=$wine_tmp/prefix
cleanup() {
  WINEPREFIX=$BMP256_WINEPREFIX wineserver -k 2>/dev/null || true
  rm -rf "$wine_tmp"
}
trap cleanup EXIT
tests/windows/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1
WINEPREFIX=$BMP256_WINEPREFIX wineserver -w
WINEPREFIX=$BMP256_WINEPREFIX wineserver -p
tests/windows/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1
lap "wine prefix ready"

# Every route runs, and the log ends with one line for each.
status=0
summary=()
route() {  # LOG, command...: runs it, keeping its last line for the summary
  local log=$1; shift
  "$@" 2>&1 | tee "$log" || status=1
  summary+=("$(tail -1 "$log")")
}

route "$wine_tmp/unit64.log" bash tests/windows/ctest_wine.sh "$build64" "unit tests, 64-bit build"
lap "64-bit unit tests done"
# Emulated, every start of a 32-bit program takes minutes and threads crash
# inside the emulator, so the 32-bit tests run only where x86 is native.
if [ -z "$emulated" ]; then
  route "$wine_tmp/unit32.log" bash tests/windows/ctest_wine.sh "$build" "unit tests, 32-bit build"
  lap "32-bit unit tests done"
else
  echo "windows: 32-bit x86 is emulated here; the 32-bit build runs the byte comparison and the dialog runs only"
fi

route "$wine_tmp/compare.log" bash tests/windows/compare_convert.sh "$build" "$native/bin/bmp256-convert"
summary[-1]="bmp256-convert.exe against the Linux build: ${summary[-1]}"
lap "byte comparison done"

# The dialog runs need wine's services started afresh, with the display.
# Emulated, a start showed its dialog after 53 to 88 s on a busy machine:
# one that shows none in 240 s is taken as hung and made again.
WINEPREFIX=$BMP256_WINEPREFIX wineserver -k || true
if [ -n "$emulated" ]; then
  export BMP256_WINE_START=${BMP256_WINE_START:-240} BMP256_WINE_WAIT=${BMP256_WINE_WAIT:-180}
fi
route "$wine_tmp/dialog.log" timeout 2400 bash tests/windows/dialog_wine_test.sh "$build" \
  "$native/bin/bmp256-convert" docs/windows-dialog.png
summary[-1]="bmp256.exe and its save dialog: ${summary[-1]}"
lap "dialog runs done; step"
printf '%s\n' "${summary[@]}"
exit $status
