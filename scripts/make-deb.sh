#!/usr/bin/env bash
# Builds the Debian package of both programs into build-deb/:
# bmp256_VERSION_ARCH.deb, installable with `sudo apt install ./build-deb/bmp256_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DBMP256_TESTS=OFF
cmake --build build-deb -j2 --target bmp256 bmp256-convert
(cd build-deb && cpack -G DEB)
ls build-deb/bmp256_*.deb
