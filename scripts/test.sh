#!/usr/bin/env bash
# Builds everything and runs every test. Usage: scripts/test.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=${1:-build}; shift || true
cmake -S . -B "$dir" -G Ninja "$@"
cmake --build "$dir" -j"$(nproc)"
# A test that hangs fails after ten minutes instead of stalling the run.
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j"$(nproc)"
