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
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "${need[@]}"
fi
