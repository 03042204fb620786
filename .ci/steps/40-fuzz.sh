#!/usr/bin/env bash
# The libFuzzer targets, about a minute each on a copy of their seed corpus.
# A crash, a leak, undefined behaviour or a failed check stops the fuzzer with
# a non-zero exit, and so fails this step; the input is kept in the work dir.
# FUZZ_SECONDS sets the time per target (default 60). A single allocation over
# 256 MB fails the step too, and the resident-memory limit alone catches it
# only on some runs. The reader's limit is 640 MB: it may reserve a compressed
# picture's claimed size up to the area limit (179 MP x 3 bytes), untouched
# until rows arrive; a claim past that limit is refused before any allocation.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh

# clang and its fuzzer runtime: a link of an empty target tells whether both work.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
fuzzer_links() {
  command -v clang++ >/dev/null || return 1
  printf '%s\n' 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    > "$probe/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null
}
if ! fuzzer_links; then
  . scripts/lib/apt.sh
  apt_install clang libclang-rt-dev
  fuzzer_links || { echo "clang cannot link a fuzzer here" >&2; exit 1; }
fi

build=${BMP256_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBMP256_FUZZ=ON -DBMP256_TESTS=OFF
cmake --build "$build" -j2 --target bmp256_reader_fuzzer bmp256_convert_fuzzer bmp256_path_fuzzer \
  bmp256_palette_fuzzer

seconds=${FUZZ_SECONDS:-60}
work="$build/fuzz-run"
rm -rf "$work"
for name in reader convert path palette; do
  # New inputs go into the copy, never into the committed corpus.
  mkdir -p "$work/$name/corpus" "$work/$name/found"
  cp -r fuzz/corpus/$name/. "$work/$name/corpus/"
  echo "== fuzzing $name for ${seconds}s"
  limit=256
  [ "$name" = reader ] && limit=640
  if ! "$build/bin/bmp256_${name}_fuzzer" -max_total_time="$seconds" -malloc_limit_mb="$limit" -print_final_stats=1 \
      -artifact_prefix="$work/$name/found/" "$work/$name/corpus" > "$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    echo "fuzzer $name failed; inputs in $work/$name/found/" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/$name.log" || true
done
echo "fuzzing passed"
