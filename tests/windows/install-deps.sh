#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under wine need:
# the 32-bit and 64-bit MinGW-w64 compilers, 32-bit and 64-bit wine, the
# user-mode emulator for 32-bit x86, a headless X server with
# xdotool, the icon tools, the Japanese locale (wine takes code page 932
# from it) and a CJK font for the dialog texts. Skips apt when all is there.
set -euo pipefail
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
. "$(dirname "$0")/../../scripts/lib/apt.sh"

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v ninja >/dev/null || need+=(ninja-build)
# The 76-byte OPENFILENAMEA record exists only in a 32-bit process: wine32.
[ -x /usr/lib/wine/wine ] || need+=(wine wine32:i386)
command -v wine >/dev/null || need+=(wine)
# Machines that cannot execute 32-bit x86 natively run wine's 32-bit side
# through the user-mode emulator (tests/windows/binfmt.sh registers it).
[ -x /usr/bin/qemu-i386-static ] || need+=(qemu-user-static)
# The unit tests run a second time as a 64-bit build under 64-bit wine, which
# executes natively and so stays reliable and quick where 32-bit is emulated.
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwd >/dev/null || need+=(x11-apps)
command -v icotool >/dev/null || need+=(icoutils)
command -v locale-gen >/dev/null || need+=(locales)
fc-list 2>/dev/null | grep -qi 'ipagothic\|IPAGothic' || need+=(fonts-ipafont-gothic)

if printf '%s\n' "${need[@]}" | grep -q ':i386$' && \
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  APT_UPDATED=  # the new architecture's indexes
fi
apt_install "${need[@]}"

# LC_ALL=ja_JP.UTF-8 gives wine code page 932; generate it so the shell and
# the X tools accept it too.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

require_tools windows-deps i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix qemu-i386-static ninja wine xvfb-run xauth xdotool xwd icotool
[ -x /usr/lib/wine/wine ] || { echo "windows-deps: 32-bit wine (wine32:i386) is missing" >&2; exit 1; }
[ -x /usr/lib/wine/wine64 ] || { echo "windows-deps: 64-bit wine (wine64) is missing" >&2; exit 1; }
locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' || { echo "windows-deps: the ja_JP.UTF-8 locale is missing" >&2; exit 1; }
