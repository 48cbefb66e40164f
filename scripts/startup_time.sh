#!/usr/bin/env bash
# Measures how long velomat-sim takes to show its main window when a settings file is stored: the time
# from the start of the program to the main window on the screen, on a virtual X server (Xvfb), as the
# median of several starts. scripts/startup_time.sh [starts] (7 when not given).
set -euo pipefail
cd "$(dirname "$0")/.."
starts=${1:-7}

# The measurement, on the virtual X server.
measure() {
  cd "$work"
  # Waits until a visible window whose title matches $1 is there; prints its id.
  window() {
    local id
    until id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [[ -n $id ]]; do
      sleep 0.005
    done
    echo "$id"
  }
  key() {  # <window> <key>
    xdotool windowfocus --sync "$1" key "$2"
  }
  local main='^Velomat - Die Echtzeit'

  # The first start writes the settings: OK to the joystick's greeting, "Verbinden", then the close box
  # (Escape) saves.
  "$program" &
  key "$(window '^Verbindung erfolgreich$')" Return
  key "$(window '^Velomat$')" Return
  key "$(window "$main")" Escape
  wait

  local times=()
  for ((i = 0; i < starts; i++)); do
    local begin end
    begin=$(date +%s%N)
    "$program" &
    local id
    id=$(window "$main")
    end=$(date +%s%N)
    times+=($(((end - begin) / 1000000)))
    key "$id" Escape
    wait
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v n="$starts" '
    { t[NR] = $1 } END { printf "start-up: main window shown after %d ms (median of %d starts; %d to %d ms)\n", t[int((n + 1) / 2)], n, t[1], t[n] }'
}

# Runs inside the virtual X server: scripts/startup_time.sh --on-display <starts> <program> <folder>.
if [[ $starts == --on-display ]]; then
  starts=$2 program=$3 work=$4
  measure
  exit
fi

scripts/setup.sh >/dev/null
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat-sim >/dev/null
program=$PWD/build/release/src/velomat-sim
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$0" --on-display "$starts" "$program" "$work"
