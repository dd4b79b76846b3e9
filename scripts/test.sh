#!/usr/bin/env bash
# Builds and runs the whole test suite: once optimised, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the tests that run
# threads (labels threads and display) once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs" -LE slow

# Any report fails the run, also one from a child process that its test
# ended itself: every process writes its reports under $reports. The
# software renderer draws on the window thread alone (LP_NUM_THREADS=0):
# its own worker threads are not ours to check.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE_THREAD=ON
cmake --build build/tsan -j"$jobs"
reports="$PWD/build/tsan/reports"
rm -rf "$reports"
mkdir -p "$reports"
status=0
LP_NUM_THREADS=0 TSAN_OPTIONS="halt_on_error=1 log_path=$reports/report" \
  ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L 'threads|display' -LE slow || status=$?
if compgen -G "$reports/report.*" > /dev/null; then
  cat "$reports"/report.*
  status=1
fi
exit "$status"
