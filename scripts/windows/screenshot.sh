#!/usr/bin/env bash
# scripts/windows/screenshot.sh [build dir]: the README's pictures of velomat-sim.exe under Wine, on a
# virtual X screen of 1366x768 (Xvfb) with Wine's own desktop on it: the greeting, the connection
# dialog, and the main window beside the simulation window, into docs/windows-*.png. Needs the portable
# folder that scripts/windows/package.sh makes. Wine draws with its own fonts, not Windows'.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=$(realpath "${1:-build/win64}")
program=$(ls -d "$dir"/package/velomat-*-win64 2>/dev/null | head -n 1)
[[ -n $program ]] || { echo "screenshot: no portable folder in $dir/package (scripts/windows/package.sh)" >&2; exit 1; }
docs=$(realpath docs)
work=$(mktemp -d /tmp/velomat-wine-shots.XXXXXX)
trap 'rm -rf "$work"' EXIT

export WORK=$work PROGRAM=$program DOCS=$docs
xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" bash -euo pipefail -c '
  export PATH=$PATH:/usr/lib/wine WINEDEBUG=-all WINEPREFIX=$WORK/prefix
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  source scripts/windows/wine_prefix.sh && make_wine_prefix
  mkdir -p "$WORK/run" && cd "$WORK/run"   # a fresh start: no settings.vlm
  wine64 explorer /desktop=velomat,1366x768 "$PROGRAM/velomat-sim.exe" >/dev/null 2>&1 &
  # The waits are generous: a picture taken too early shows the window half drawn.
  sleep 15; import -window root "$DOCS/windows-greeting.png"
  xdotool key Return; sleep 5; import -window root "$DOCS/windows-connection-dialog.png"
  xdotool key Return; sleep 8; import -window root "$DOCS/windows-main-and-simulation.png"
  wineserver -k
'
echo "screenshot: docs/windows-greeting.png, docs/windows-connection-dialog.png, docs/windows-main-and-simulation.png"
