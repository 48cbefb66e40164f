#!/usr/bin/env bash
# Takes the README's pictures of the real windows on a virtual X server (Xvfb): docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-screenshots
mkdir -p docs
# A laptop's screen, 1366x768, with neither a window manager nor a panel: the program's own placement.
xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" \
  env QT_QPA_PLATFORM=xcb build/release/tools/velomat-screenshots docs
