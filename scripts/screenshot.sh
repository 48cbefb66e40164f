#!/usr/bin/env bash
# Takes the README's pictures of the real windows on a virtual X server (Xvfb): docs/*.png.
#
#   scripts/screenshot.sh                    the README's pictures, into docs/
#   scripts/screenshot.sh screens [FOLDER]   all three windows together (main window, simulation window,
#                                            live view) on a 1366x768 screen at 96 dpi, with the font
#                                            at 144 dpi and at scale 1.25, into FOLDER (build/screens),
#                                            one folder each: 1366x768, 1366x768-144dpi, 1366x768-at-1.25
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-screenshots

# A laptop's screen, 1366x768, with neither a window manager nor a panel: the program's own placement.
shoot() {  # shoot FOLDER [VAR=VALUE...] [-- PROGRAM ARGUMENTS]
  local out=$1
  shift
  local settings=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    settings+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  mkdir -p "$out"
  xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" \
    env QT_QPA_PLATFORM=xcb "${settings[@]}" build/release/tools/velomat-screenshots "$out" "$@"
}

if [ "${1:-}" = screens ]; then
  out=${2:-build/screens}
  shoot "$out/1366x768" -- --all-windows
  # The font at 144 dpi with the window system's scaling off, as the fit test has it.
  shoot "$out/1366x768-144dpi" QT_FONT_DPI=144 QT_ENABLE_HIGHDPI_SCALING=0 -- --all-windows
  shoot "$out/1366x768-at-1.25" QT_SCALE_FACTOR=1.25 -- --all-windows
else
  shoot docs
fi
