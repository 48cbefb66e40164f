#!/usr/bin/env bash
# Builds the benchmarks with optimisation and prints their figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2
for bench in build/release/bench/*_bench; do
  "$bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
done
