#!/usr/bin/env bash
# Sets up the machine, builds Velomat and starts velomat-sim: the program with simulated interfaces
# and an on-screen joystick, so it can be tried without hardware. It runs in build/run/, which git
# ignores: its settings.vlm stays there from one start to the next and never lies in the clone's root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-sim
mkdir -p build/run
cd build/run
exec ../release/src/velomat-sim
