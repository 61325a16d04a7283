#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time;
# fails on any crash or sanitizer report.
set -eu
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz
for target in match_mask_list_fuzzer split_command_line_fuzzer; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "--- fuzzing $target for ${seconds}s"
  build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -max_len=512 \
    -print_final_stats=0 -artifact_prefix=build/fuzz/ "$corpus" 2> build/fuzz/$target.log \
    || { tail -n 40 build/fuzz/$target.log; exit 1; }
  tail -n 1 build/fuzz/$target.log
done
