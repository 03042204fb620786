#!/usr/bin/env bash
# Runs a Windows program under wine, quietly, in the project's own prefix
# (created on first use). CTest uses this as its emulator.
#   BMP256_WINEPREFIX  the prefix to use (default /tmp/bmp256-wine)
# The prefix is a 64-bit one, which runs 32-bit programs too. wine's 64-bit
# loader is called directly: the wrapper in the PATH would start the 32-bit
# one first, which is slow where 32-bit x86 is emulated.
set -euo pipefail
export WINEPREFIX=${BMP256_WINEPREFIX:-/tmp/bmp256-wine}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINELOADER=/usr/lib/wine/wine64
# Where 32-bit x86 goes through qemu-user, wine needs this much of the
# address space reserved, or it cannot map its shared user data.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two tests started at once must not both create the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Made under the Japanese locale: wine then sets up Japanese dialog fonts.
    LC_ALL=ja_JP.UTF-8 "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  flock -u 9
  exec 9>&-
fi
exec "$WINELOADER" "$@"
