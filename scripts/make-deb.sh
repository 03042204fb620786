#!/usr/bin/env bash
# Builds the Debian package of both programs into build-deb/:
# bmp256_VERSION_ARCH.deb, installable with `sudo apt install ./build-deb/bmp256_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DBMP256_ONLY_PROGRAMS=ON
cmake --build build-deb -j2
(cd build-deb && cpack -G DEB)
ls build-deb/bmp256_*.deb
