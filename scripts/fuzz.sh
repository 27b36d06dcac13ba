#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) and runs each one for the
# given number of seconds (default 30), starting from its seeds in fuzz/corpus/<target>/.
# Fails when any target finds a crash, a leak, a hang, a sanitizer report or a broken property;
# the input that did it is kept under <build>/findings/<target>/.
#
#   scripts/fuzz.sh [seconds-per-target]      build folder: $VARNHOLT_FUZZ_BUILD (build/fuzz)
set -euo pipefail
seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNHOLT_FUZZ_BUILD:-$root/build/fuzz}
started=$SECONDS

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNHOLT_BUILD_FUZZ=ON -DVARNHOLT_WITH_FLTK=OFF >/dev/null
cmake --build "$build" --target fuzzers -j2
echo "fuzz: built in $((SECONDS - started)) s"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
passed=0
for seeds in "$root"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  work=$build/corpus/$target          # what this run learns; the seeds stay as they are
  findings=$build/findings/$target/
  log=$build/logs/$target.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
       -print_final_stats=1 -artifact_prefix="$findings" "$work" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target passed (${runs:-?} runs)"
    passed=$((passed + 1))
  else
    echo "fuzz: $target FAILED; log $log, input in $findings" >&2
    grep -E -A12 'property failed|ERROR: |runtime error|SUMMARY' "$log" | head -40 >&2 || tail -20 "$log" >&2
    failed+=("$target")
  fi
done
echo "fuzz: ${#failed[@]} failed, $passed passed in $((SECONDS - started)) s"
echo "${passed} passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
