#!/usr/bin/env bash
# Sets up the machine, builds Velomat and starts velomat-sim: the program with simulated interfaces
# and an on-screen joystick, so it can be tried without hardware.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-sim
exec build/release/src/velomat-sim
