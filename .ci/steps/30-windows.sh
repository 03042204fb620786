#!/usr/bin/env bash
# The Windows program: bmp256.exe and the unit tests cross-built with the
# 32-bit MinGW-w64 compiler, the tests run under 32-bit wine through CTest,
# the executables' form checked, then whole runs of bmp256.exe with its save
# dialog under Xvfb. Both Windows programs must write the very bytes that the
# Linux build writes.
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$SECONDS
bash tests/windows/install-deps.sh
echo "windows: tools ready after $((SECONDS - started)) s"

build=${BMP256_WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
cmake --build "$build" -j2
bash tests/windows/check_exe.sh "$build"

# The Linux conversion to compare with; the main CI build has it already.
native=${BMP256_BUILD_DIR:-build}
if [ ! -x "$native/bin/bmp256-convert" ]; then
  cmake -S . -B "$native" -G Ninja
  cmake --build "$native" -j2 --target bmp256-convert
fi
echo "windows: built after $((SECONDS - started)) s"

# Some virtual machines cannot execute 32-bit x86 programs at all: wine's own
# 32-bit loader then fails with "Exec format error" (exit code 126). There the
# cross build and the checks of the executables above are all this machine
# can do; anything else that goes wrong with wine still fails the step.
if wine_check=$(wine --version 2>&1); then
  :
elif [ $? -eq 126 ] && [[ $wine_check == *"Exec format error"* ]]; then
  echo "windows: this machine cannot run 32-bit x86 programs ($wine_check)"
  echo "windows: SKIPPED the unit tests, the byte comparison and the dialog runs under wine"
  exit 0
fi

# A wine prefix of this run's own, created before CTest starts and kept warm
# by a persistent wineserver, so that CTest's test discovery, which lists each
# test program's tests through wine, is quick. wine's background services
# are started first with no output attached: started by a listing, they
# would hold its pipe open and the listing would never end.
wine_tmp=$(mktemp -d)
export BMP256_WINEPREFIX=$wine_tmp/wp32
cleanup() {
  WINEPREFIX=$BMP256_WINEPREFIX wineserver -k 2>/dev/null || true
  rm -rf "$wine_tmp"
}
trap cleanup EXIT
tests/windows/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1
WINEPREFIX=$BMP256_WINEPREFIX wineserver -w
WINEPREFIX=$BMP256_WINEPREFIX wineserver -p
tests/windows/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1
echo "windows: wine prefix ready after $((SECONDS - started)) s"

ctest --test-dir "$build" --output-on-failure -j2

# The sample through bmp256-convert.exe and through the Linux program.
out=$wine_tmp/compare
mkdir -p "$out"
LC_ALL=ja_JP.UTF-8 tests/windows/wine-run.sh "$build/bin/bmp256-convert.exe" \
  "Z:${PWD//\//\\}\\samples\\sample.bmp" "Z:${out//\//\\}\\windows.bmp"
"$native/bin/bmp256-convert" samples/sample.bmp "$out/linux.bmp"
cmp "$out/linux.bmp" "$out/windows.bmp"
echo "ok   bmp256-convert.exe writes the Linux build's bytes for samples/sample.bmp"

# The dialog runs need wine's services started afresh, with the display.
WINEPREFIX=$BMP256_WINEPREFIX wineserver -k || true
timeout 300 bash tests/windows/dialog_wine_test.sh "$build" "$native/bin/bmp256-convert" \
  "$build/windows-dialog.png"
echo "windows: step done after $((SECONDS - started)) s"
