#!/usr/bin/env bash
# Soaks the control worker: scripts/soak.sh [minutes] (1 when not given). The worker drives the paced
# simulated Intelligent Interface from a wandering virtual stick, with "LOS!" and "NOT-AUS" at random
# moments; at the end it prints the exchanges, the runs, the resident memory at the start and the end,
# and any fault found (and fails when there was one).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-1}

scripts/setup.sh >/dev/null
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-soak >/dev/null
exec build/release/tools/velomat-soak "$(awk -v m="$minutes" 'BEGIN { print m * 60 }')"
