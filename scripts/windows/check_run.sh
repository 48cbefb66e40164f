#!/usr/bin/env bash
# scripts/windows/check_run.sh [build dir]: velomat.exe under Wine, end to end, on a virtual X screen:
# COM1 is a pseudo-terminal that answers as an Intelligent Interface (tests/windows/intint_peer.py), the
# joystick a stand-in xinput1_4.dll of the test's own (tests/windows/xinput_standin.c) with the stick
# pushed left, settings.vlm a stored "IntInt COM1". "LOS!" must drive motor 1 left on the wire, and
# `taskkill` without /F, and in a second run Alt+F4 (the window's close command), must end the program
# with the all-off command last on the wire, nothing after it, and the settings saved. Needs the
# portable folder that scripts/windows/package.sh makes.
set -euo pipefail
cd "$(dirname "$0")/../.."
here=$(pwd)
dir=$(realpath "${1:-build/win64}")
program=$(ls -d "$dir"/package/velomat-*-win64 2>/dev/null | head -n 1)
[[ -n $program ]] || { echo "run: no portable folder in $dir/package (scripts/windows/package.sh)" >&2; exit 1; }
work=$(mktemp -d /tmp/velomat-wine-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$program" "$work/app"
x86_64-w64-mingw32-gcc-posix -O1 -shared -o "$work/app/xinput1_4.dll" tests/windows/xinput_standin.c \
  tests/windows/xinput_standin.def
mkdir -p "$work/run"
cp tests/windows/intint-com1.vlm "$work/run/settings.vlm"

export WORK=$work HERE=$here
xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" bash -euo pipefail -c '
  export PATH=$PATH:/usr/lib/wine WINEDEBUG=-all WINEPREFIX=$WORK/prefix SDL_JOYSTICK_RAWINPUT=0
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;xinput1_4=n" VELOMAT_STANDIN_LX=-30000
  wire=$WORK/wire.log
  source "$HERE/scripts/windows/wine_prefix.sh" && make_wine_prefix
  coproc PEER { exec python3 -u "$HERE/tests/windows/intint_peer.py" "$WINEPREFIX" "$wire"; }
  read -r ready tty <&"${PEER[0]}"
  # Wine links COM1 to the machine'"'"'s own first serial port at each start; this names the terminal.
  wine64 reg add "HKLM\\Software\\Wine\\Ports" /v COM1 /d "$tty" /f >/dev/null 2>&1
  wineserver -w
  waitFor() {  # <seconds> <command...>: true once the command is
    local end=$((SECONDS + $1)); shift
    until "$@"; do ((SECONDS < end)) || return 1; sleep 0.2; done
  }
  drives() { grep -q "^c1 01$" "$wire"; }
  cd "$WORK/run"
  # One run, ended by $1: taskkill without /F, or Alt+F4, which asks the window to close as its close
  # box does. Only the commands of this run count.
  endRun() {
    local how=$1 start
    start=$(wc -l <"$wire")
    runLines() { tail -n "+$((start + 1))" "$wire"; }
    drives() { runLines | grep -q "^c1 01$"; }
    wine64 "$WORK/app/velomat.exe" >/dev/null 2>&1 &
    local velomat=$!
    local window
    window=$(timeout 90 xdotool search --sync --onlyvisible --name "Echtzeit" | head -n 1)
    [[ -n $window ]] || { echo "run: FAILED: no main window" >&2; exit 1; }
    sleep 1  # drawn
    ! drives || { echo "run: FAILED: motor 1 driven before \"LOS!\"" >&2; exit 1; }
    # "LOS!": the middle of its place, units (290, 18.5); the MS Sans Serif of Wine gives 8 x 16 px for 4 x 8 units
    xdotool mousemove --window "$window" 580 37 click 1
    waitFor 20 drives || { echo "run: FAILED: \"LOS!\" drove nothing" >&2; exit 1; }
    sleep 1
    local before
    before=$(runLines | wc -l)
    touch "$WORK/asked"
    if [[ $how == taskkill ]]; then
      wine64 taskkill /IM velomat.exe >/dev/null
    else
      xdotool windowfocus --sync "$window" key alt+F4
    fi
    waitFor 20 eval "! kill -0 $velomat 2>/dev/null" || { echo "run: FAILED: $how did not end it" >&2; exit 1; }
    sleep 0.5
    echo "run: $how: $before commands before it; $(runLines | grep -c "^c1 01$") with motor 1 left in all"
    echo "run: $how: the last command on the wire: $(tail -n 1 "$wire")"
    [[ $(tail -n 1 "$wire") == "c1 00" ]] || { echo "run: FAILED: the last command is not all-off" >&2; exit 1; }
    [[ settings.vlm -nt $WORK/asked && $(stat -c %s settings.vlm) -eq 170 ]] ||
      { echo "run: FAILED: settings not saved" >&2; exit 1; }
    echo "run: ok: \"LOS!\" drove motor 1, $how ended with the all-off command last, settings saved"
  }
  endRun taskkill
  endRun alt+F4
  exec {PEER[1]}>&-
  wineserver -k || true
'
