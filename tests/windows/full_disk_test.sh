#!/usr/bin/env bash
# Runs the full-disk copy cases of windows_tests with a destination folder
# on a small file system that is full: a tmpfs of this test's own.
#   full_disk_test.sh WINDOWS_TESTS_EXE
set -euo pipefail
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
full=$(mktemp -d)
$SUDO mount -t tmpfs -o size=256k,mode=1777 tmpfs "$full"
trap '$SUDO umount "$full"; rmdir "$full"' EXIT
printf 'old bytes' >"$full/kept.bmp"
# Room for names (empty files) but not for one more byte.
dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null || true
BMP256_FULL_FOLDER="Z:${full//\//\\}" "$(dirname "$0")/wine-run.sh" "$1" --gtest_filter=FullDiskCopy.*
