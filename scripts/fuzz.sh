#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a bounded time
# from its seed corpus; any crash, sanitizer report or broken property fails.
#
#   scripts/fuzz.sh                  every target, FUZZ_SECONDS (default 45) each
#   FUZZ_SECONDS=300 scripts/fuzz.sh obj raster
#
# New inputs that add coverage are kept in tests/fuzz/corpus-<target>/ (not
# committed); a failing input is saved as build-fuzz/artifacts/<target>-crash-*
# and belongs, once fixed, in tests/fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz
seconds="${FUZZ_SECONDS:-45}"
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(obj tga convert raster song)
fi
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DVORBO_FUZZ=ON -DVORBO_BENCH=OFF >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-$(nproc)}" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts" "$build/logs"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=0
passes=0
failures=0
summary=()
for t in "${targets[@]}"; do
  # Absolute paths: the picture target works in a directory of its own.
  corpus="$PWD/tests/fuzz/corpus-$t"
  mkdir -p "$corpus"
  log="$build/logs/$t.log"
  echo "fuzzing $t for ${seconds}s"
  status=0
  # -close_fd_mask=3 silences the loaders' console messages; libFuzzer and
  # the sanitizers still report on their own descriptor.
  "$build/fuzz/fuzz_$t" "$corpus" "$PWD/tests/fuzz/seeds/$t" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 \
    -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$PWD/$build/artifacts/$t-" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz_$t FAILED (status $status); end of $log:"
    tail -n 60 "$log"
    summary+=("$t: FAILED after ${runs:-?} runs, corpus $files files")
    failures=$((failures + 1))
  else
    summary+=("$t: ${runs:-?} runs, corpus $files files, no failure")
    passes=$((passes + 1))
  fi
done

echo "fuzzing summary (${seconds}s per target):"
printf '  %s\n' "${summary[@]}"
echo "fuzz: $passes passed, $failures failed"
exit "$failed"
