#!/usr/bin/env bash
# Installs what building and testing the core needs on a fresh Debian machine.
# Skips apt when everything is already present.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v ninja >/dev/null || need+=(ninja-build)
command -v pkg-config >/dev/null || need+=(pkg-config)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
for extra in scripts/install-deps.d/*.sh; do
  [ -f "$extra" ] || continue
  # Each extra script prints the Debian packages its part of the build needs.
  while read -r pkg; do [ -n "$pkg" ] && need+=("$pkg"); done < <(bash "$extra")
done
. "$(dirname "$0")/lib/apt.sh"
apt_install "${need[@]}"
require_tools install-deps cmake g++ ninja pkg-config
[ -f /usr/include/gtest/gtest.h ] || { echo "install-deps: GoogleTest (libgtest-dev) is missing" >&2; exit 1; }
for extra in scripts/install-deps.d/*.sh; do
  [ -f "$extra" ] || continue
  left=$(bash "$extra")
  [ -z "$left" ] || { echo "install-deps: still missing after the install: $left" >&2; exit 1; }
done
