#!/usr/bin/env bash
# Times the real routine (the trace, without the stand-in logarithm) workload by
# workload, beside a bare loop of the same logarithms.
#   bench/timing.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target benchmark_trace bare_logarithm >/dev/null

echo "== routine, by workload"
timing=$("$build/tests/benchmark_trace" --timing 2>&1 >/dev/null)
echo "$timing"
span=$(awk '/^timed span/ {print $3}' <<<"$timing")

echo "== bare logarithms (3.75e9)"
bare=$("$build/bench/bare_logarithm" 2>/dev/null)
echo "bare logarithms  ${bare} s"
awk -v s="$span" -v b="$bare" 'BEGIN { printf "timed span / bare logarithms = %.3f\n", s / b }'
