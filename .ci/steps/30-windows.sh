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
native=${BMP256_BUILD_DIR:-build}
if [ ! -x "$native/bin/bmp256-convert" ]; then
  cmake -S . -B "$native" -G Ninja
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

# A test whose wine start fails at once (seen once: 0.03 s, no output) is
# tried again; a real failure fails all three tries.
ctest --test-dir "$build64" --output-on-failure -j2 --repeat until-pass:3
lap "64-bit unit tests done"
# Emulated, every start of a 32-bit program takes minutes and threads crash
# inside the emulator, so the 32-bit tests run only where x86 is native.
if [ -z "$emulated" ]; then
  ctest --test-dir "$build" --output-on-failure -j2 --repeat until-pass:3
  lap "32-bit unit tests done"
else
  echo "windows: 32-bit x86 is emulated here; the 32-bit build runs the byte comparison and the dialog runs only"
fi

# The sample through bmp256-convert.exe and through the Linux program.
out=$wine_tmp/compare
mkdir -p "$out"
LC_ALL=ja_JP.UTF-8 tests/windows/wine-run.sh "$build/bin/bmp256-convert.exe" \
  "Z:${PWD//\//\\}\\samples\\sample.bmp" "Z:${out//\//\\}\\windows.bmp"
"$native/bin/bmp256-convert" samples/sample.bmp "$out/linux.bmp"
cmp "$out/linux.bmp" "$out/windows.bmp"
echo "ok   bmp256-convert.exe writes the Linux build's bytes for samples/sample.bmp"
lap "byte comparison done"

# The dialog runs need wine's services started afresh, with the display.
# An emulated start of bmp256.exe takes minutes, so the waits are longer.
WINEPREFIX=$BMP256_WINEPREFIX wineserver -k || true
[ -n "$emulated" ] && export BMP256_WINE_WAIT=600
timeout 2400 bash tests/windows/dialog_wine_test.sh "$build" "$native/bin/bmp256-convert" \
  docs/windows-dialog.png
lap "dialog runs done; step"
