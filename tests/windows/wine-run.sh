#!/usr/bin/env bash
# Runs a Windows program under 32-bit wine, quietly, in the project's own
# prefix (created on first use). CTest uses this as its emulator.
#   BMP256_WINEPREFIX  the prefix to use (default /tmp/bmp256-wine32)
set -euo pipefail
export WINEPREFIX=${BMP256_WINEPREFIX:-/tmp/bmp256-wine32}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two tests started at once must not both create the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Made under the Japanese locale: wine then sets up Japanese dialog fonts.
    LC_ALL=ja_JP.UTF-8 wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  flock -u 9
  exec 9>&-
fi
exec wine "$@"
