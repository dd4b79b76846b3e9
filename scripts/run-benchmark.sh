#!/usr/bin/env bash
# Builds the benchmark and runs it in a window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build/release -j"$(nproc)" --target texture_benchmark
exec build/release/benchmark/texture_benchmark
