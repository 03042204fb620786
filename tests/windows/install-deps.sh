#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under wine need:
# the 32-bit MinGW-w64 compiler, 32-bit wine, a headless X server with
# xdotool, the icon tools, the Japanese locale (wine takes code page 932
# from it) and a CJK font for the dialog texts. Skips apt when all is there.
set -euo pipefail
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
APT=(apt-get -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300)
export DEBIAN_FRONTEND=noninteractive

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v ninja >/dev/null || need+=(ninja-build)
# The 76-byte OPENFILENAMEA record exists only in a 32-bit process: wine32.
[ -x /usr/lib/wine/wine ] || need+=(wine wine32:i386)
command -v wine >/dev/null || need+=(wine)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwd >/dev/null || need+=(x11-apps)
command -v icotool >/dev/null || need+=(icoutils)
command -v locale-gen >/dev/null || need+=(locales)
fc-list 2>/dev/null | grep -qi 'ipagothic\|IPAGothic' || need+=(fonts-ipafont-gothic)

if [ ${#need[@]} -gt 0 ]; then
  if printf '%s\n' "${need[@]}" | grep -q ':i386$' && \
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq -o DPkg::Lock::Timeout=300
  # dpkg's hundreds of lines are shown only when the install fails.
  log=$(mktemp)
  if ! $SUDO "${APT[@]}" install "${need[@]}" >"$log" 2>&1; then
    cat "$log"; rm -f "$log"; exit 1
  fi
  rm -f "$log"
  echo "installed: ${need[*]}"
fi

# LC_ALL=ja_JP.UTF-8 gives wine code page 932; generate it so the shell and
# the X tools accept it too.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
