#!/usr/bin/env bash
# Runs a program of the Windows tree under Wine: ctest's emulator for every suite of build/win64.
#   wine_run.sh BUILD_DIR PREFIX PROGRAM.exe [ARGUMENTS...]
# One Wine prefix serves the whole test run: BUILD_DIR/wine, made by the first program that needs it
# (Wine's first start takes 10-20 s), so scripts/test.sh removes it before the run. The DLLs are found
# through WINEPATH (the Windows libraries' prefix and the mingw-w64 runtime), Qt's plugins through
# QT_PLUGIN_PATH, the fonts through QT_QPA_FONTDIR. Wine's own messages stay quiet; the program's output and exit code are its own.
set -euo pipefail
build=$1 prefix=$2
shift 2

wine=${VELOMAT_WINE:-/usr/lib/wine/wine64}
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine || true)
if [[ -z $wine ]]; then
  echo "wine_run: no wine64 on this machine (scripts/setup.sh installs it)" >&2
  exit 127
fi

export WINEPREFIX=$build/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"  # no Mono or Gecko, no desktop menus
windows_path() { echo "Z:${1//\//\\}"; }
runtime=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
export WINEPATH="$(windows_path "$prefix/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH=$(windows_path "$prefix/plugins")
# Qt's offscreen platform on Windows reads its fonts from QT_QPA_FONTDIR alone (the prefix has none of
# Windows' fonts): it gets the folder of the font the Linux suites draw with, so that the checks of
# texts in full measure the same font on both systems.
if [[ -z ${QT_QPA_FONTDIR:-} ]]; then
  font=$(fc-match -f '%{file}' 'MS Sans Serif' 2>/dev/null || true)
  [[ -f $font ]] && export QT_QPA_FONTDIR=$(windows_path "$(dirname "$font")")
fi
# Wine keeps the Unix side's QT_* variables from Windows programs; it hands on WINEQT_* as QT_* instead.
while IFS= read -r name; do
  export "WINE$name=${!name}"
done < <(compgen -e | grep '^QT_' || true)

# The prefix is made once, under a lock: ctest starts suites two at a time.
exec 9>"$build/wine.lock"
flock 9
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "wine_run: making the Wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i >/dev/null 2>&1
  "${wine%64}server64" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi
flock -u 9
exec 9>&-

# The serial suites talk over a null-modem cable between COM21 and COM22 (tests/com_pairs.py), which
# lasts as long as the suite.
if [[ -n ${VELOMAT_COM_PAIRS:-} ]]; then
  here=$(cd "$(dirname "$0")/../.." && pwd)
  coproc PAIRS { exec python3 -u "$here/tests/com_pairs.py" "$WINEPREFIX"; }
  read -r ready <&"${PAIRS[0]}" || ready=
  if [[ $ready != ready ]]; then
    echo "wine_run: tests/com_pairs.py did not join the COM ports" >&2
    exit 1
  fi
  status=0
  "$wine" "$@" || status=$?
  exec {PAIRS[1]}>&-
  wait "$PAIRS_PID" 2>/dev/null || true
  exit $status
fi
exec "$wine" "$@"
