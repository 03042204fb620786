#!/usr/bin/env bash
# Packages the stage benchmark (bench/) needs to build: Google Benchmark.
# Printed one per line; scripts/install-deps.sh installs the ones missing.
[ -f /usr/include/benchmark/benchmark.h ] || echo libbenchmark-dev
