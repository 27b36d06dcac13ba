#!/usr/bin/env bash
# Builds the benchmarks (preset bench: optimised, tests off) and runs each of them once:
#   scripts/bench.sh [min-time]
# min-time is seconds per benchmark and repetition (default 0.5); each benchmark runs five
# times, interleaved with the others, and the ratios use the fastest repetitions. Ratios are
# printed against their goals; VARNHOLT_BENCH_STRICT=1 makes a missed goal fail the run. A wrong
# answer fails it always.
set -euo pipefail
cd "$(dirname "$0")/.."

min_time=${1:-0.5}
repetitions=${VARNHOLT_BENCH_REPETITIONS:-5}
build=build/bench

printf '== %s, %s CPUs (%s), %s memory\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" "$(nproc)" \
    "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)" \
    "$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"

cmake --preset bench >/dev/null
cmake --build "$build" -j2 --target benchmarks

status=0
for bench in bench_getdbnames bench_doesfileexist bench_getlabel; do
    printf '\n== %s\n' "$bench"
    "$build/bench/$bench" --benchmark_min_time="$min_time" \
        --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
        --benchmark_report_aggregates_only=true || status=1
done
exit $status
