#!/usr/bin/env bash
# scripts/windows/check_installer.sh [build dir]: runs the Windows installer silently under Wine in a new
# Wine prefix and checks what a user gets: the programs in %LOCALAPPDATA%\Programs\Velomat, the two
# Start-menu entries with %APPDATA%\Velomat as their working folder, the entry in "Apps", an installed
# velomat-sim.exe that starts and greets its joystick, and an uninstaller that removes the programs and keeps
# settings.vlm. Needs scripts/windows/package.sh to have run.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=$(realpath "${1:-build/win64}")
setup=$(ls "$dir"/velomat-*-setup.exe 2>/dev/null | head -n 1)
[[ -n $setup ]] || { echo "installer: no setup.exe in $dir (scripts/windows/package.sh makes it)" >&2; exit 1; }

export PATH=$PATH:/usr/lib/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/velomat-wine-setup.XXXXXX)
export WINEPREFIX
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
source scripts/windows/wine_prefix.sh && make_wine_prefix

bad=0
check() {  # <what> <command...>
  if "${@:2}"; then echo "installer: ok: $1"; else echo "installer: FAILED: $1" >&2; bad=1; fi
}
wine64 "$setup" /S
wineserver -w
user=$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -n 1)
home=$WINEPREFIX/drive_c/users/$user/AppData
programs=$home/Local/Programs/Velomat
menu=$home/Roaming/Microsoft/Windows/Start\ Menu/Programs
check "programs installed per user" test -f "$programs/velomat.exe" -a -f "$programs/velomat-sim.exe" \
  -a -f "$programs/platforms/qwindows.dll"
working_folder() {  # a shortcut names its working folder as a UTF-16 string
  strings -el "$menu/$1.lnk" | grep -qF "C:\\users\\$user\\AppData\\Roaming\\Velomat"
}
check "menu entry Velomat starts in %APPDATA%\\Velomat" working_folder Velomat
check "menu entry Velomat Simulation starts in %APPDATA%\\Velomat" working_folder "Velomat Simulation"
check "working folder made" test -d "$home/Roaming/Velomat"
apps_entry() {
  wine64 reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velomat' /v DisplayVersion |
    tr -d '\r' | grep -q "REG_SZ *$(basename "$setup" | sed -E 's/velomat-(.*)-setup.exe/\1/')\$"
}
check "entry in Apps with the version" apps_entry

# The installed simulation starts on a virtual X screen (the Windows package has the windows platform
# plugin only) and greets its on-screen joystick.
starts() {
  # The prefix's desktop process was started without a display by the installer: it goes first, so
  # that the program's windows reach the X screen.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  (cd "$home/Roaming/Velomat" && PROGRAM="$programs/velomat-sim.exe" \
    xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" bash -c '
      wine64 "$PROGRAM" >/dev/null 2>&1 &
      found=$(timeout 60 xdotool search --sync --onlyvisible --name "Verbindung erfolgreich" | head -n 1)
      wineserver -k
      [[ -n $found ]]')
}
check "installed velomat-sim.exe starts" starts

printf 'user settings' >"$home/Roaming/Velomat/settings.vlm"
wine64 "$programs/Deinstallieren.exe" /S
wineserver -w
for _ in $(seq 1 20); do [[ -e $programs ]] || break; sleep 1; done  # the uninstaller runs from a copy
check "uninstaller removes the programs" test ! -e "$programs"
check "uninstaller removes the menu entries" test ! -e "$menu/Velomat.lnk" -a ! -e "$menu/Velomat Simulation.lnk"
check "uninstaller keeps settings.vlm" grep -qx 'user settings' "$home/Roaming/Velomat/settings.vlm"
exit $bad
