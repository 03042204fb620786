#!/usr/bin/env bash
# Makes 32-bit x86 programs executable on a machine that cannot run them
# itself (some virtual machines answer "Exec format error" although the
# kernel reports IA32 emulation): the kernel hands them to the user-mode
# emulator. Does nothing where they already run. Safe to run again.
set -euo pipefail
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
probe=/usr/lib/wine/wine   # wine's own 32-bit loader, an i386 ELF program
native_ok() { "$probe" --version >/dev/null 2>&1; }

dir=/proc/sys/fs/binfmt_misc
if native_ok; then
  if grep -qs '^enabled' "$dir/qemu-i386"; then
    echo "binfmt: 32-bit x86 programs run through qemu-i386-static"
  else
    echo "binfmt: 32-bit x86 programs run on this machine"
  fi
  exit 0
fi
[ -e "$dir/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$dir"
if [ ! -e "$dir/qemu-i386" ]; then
  # The usual i386 ELF magic and mask; F opens the emulator now, so that it
  # also serves programs in other mount namespaces and chroots.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    | $SUDO tee "$dir/register" >/dev/null
fi
if ! native_ok; then
  echo "binfmt: 32-bit x86 programs still cannot run:" >&2
  "$probe" --version >&2 || true
  exit 1
fi
echo "binfmt: 32-bit x86 programs run through qemu-i386-static"
