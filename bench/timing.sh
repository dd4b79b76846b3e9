#!/usr/bin/env bash
# Times the real routine (the trace, without the stand-in logarithm) workload by
# workload, beside its irreducible parts: a bare loop of the same logarithms and
# the fills, boxes and discs at the speeds the drawing benchmarks measure.
#   bench/timing.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release-bench}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target benchmark_trace bare_logarithm bench_drawing >/dev/null

echo "== routine, by workload"
timing=$("$build/tests/benchmark_trace" --timing 2>&1 >/dev/null)
echo "$timing"
span=$(awk '/^timed span/ {print $3}' <<<"$timing")

echo "== irreducible parts"
bare=$("$build/bench/bare_logarithm" 2>/dev/null)
drawing=$("$build/bench/bench_drawing" --benchmark_format=csv 2>/dev/null |
  awk -F, '{ gsub(/"/, "", $1); t[$1] = $4 / 1e9 }  # seconds per call (ns in the csv)
    END {
      # 9332 full-page repaints; 95 full-page pattern fills; 100000 boxes,
      # counted at the 300 x 200 box; 20000 discs, the radius-99 disc scaled
      # by the mean of r^2 over radii 0 to 99 (3283.5 / 9801).
      printf "%.3f", 9332 * t["BM_FloodFillFullPage"] + 95 * t["BM_PatternFillFullPage"] \
        + 100000 * t["BM_FillBox300x200"] + 20000 * t["BM_CircleAndDiscFill"] * 3283.5 / 9801
    }')
echo "bare logarithms (3.75e9)   ${bare} s"
echo "fills, boxes and discs     ${drawing} s"
awk -v s="$span" -v b="$bare" -v d="$drawing" \
  'BEGIN { printf "timed span / irreducible   %.3f  (%.3f / %.3f)\n", s / (b + d), s, b + d }'
