#!/usr/bin/env bash
# Takes a picture of velomat-sim's main window on a virtual X server: docs/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-sim
mkdir -p docs

# Run the program on a virtual display with a black root window, photograph the screen once the window
# is up, and cut the picture down to the window.
shot=$(mktemp --suffix=.png)
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -br" bash -c "
  build/release/src/velomat-sim &
  program=\$!
  sleep 3
  import -window root '$shot'
  kill \$program
"
convert "$shot" -trim +repage docs/main-window.png
rm -f "$shot"
echo "screenshot: docs/main-window.png"
