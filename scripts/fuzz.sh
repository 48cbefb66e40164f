#!/usr/bin/env bash
# Fuzzes the settings reader: scripts/fuzz.sh [seconds] (60 when not given). Builds the target with
# clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer into build/fuzz and runs it from
# the seeds in fuzz/corpus (new inputs it finds stay in build/fuzz/corpus). Fails on any crash or
# sanitizer report, and prints how many inputs it tried.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/setup.sh >/dev/null
mkdir -p build/fuzz/corpus
if ! { CXX=clang++ cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build/fuzz -j2; } >build/fuzz/build.log 2>&1; then
  cat build/fuzz/build.log
  exit 1
fi
log=build/fuzz/settings_fuzz.log
if ! build/fuzz/settings_fuzz build/fuzz/corpus fuzz/corpus/settings -max_total_time="$seconds" \
      -max_len=400 -print_final_stats=1 >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "fuzz: the settings reader failed (log: $log)" >&2
  exit 1
fi
runs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
echo "fuzz: settings reader, ${seconds} s, ${runs} inputs, no failure"
