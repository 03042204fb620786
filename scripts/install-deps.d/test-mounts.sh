#!/usr/bin/env bash
# Packages the tests need to make a FAT file system (no hard links) on a loop
# file, where the machine allows a mount; the tests fall back to an emulated
# one elsewhere. Printed one per line; scripts/install-deps.sh installs the
# ones missing.
command -v mkfs.vfat >/dev/null || [ -x /usr/sbin/mkfs.vfat ] || [ -x /sbin/mkfs.vfat ] || echo dosfstools
