#!/usr/bin/env bash
# Builds both programs (build/bin/bmp256 and build/bin/bmp256-convert) and
# converts the bundled sample into build/sample-256.bmp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)" --target bmp256-convert bmp256
# -f: a second run replaces the result of the first.
build/bin/bmp256-convert -f samples/sample.bmp build/sample-256.bmp
echo "wrote build/sample-256.bmp"
