#!/usr/bin/env bash
# Builds the converter and converts the bundled sample into build/sample-256.bmp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j"$(nproc)" --target bmp256-convert
build/bin/bmp256-convert samples/sample.bmp build/sample-256.bmp
echo "wrote build/sample-256.bmp"
