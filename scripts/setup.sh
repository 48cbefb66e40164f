#!/usr/bin/env bash
# Installs the Debian 12 packages that Velomat needs to build, test and take screenshots.
# Safe to run again: it installs only what is missing and does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev
  libxcb1-dev        # the main window's close box while a box blocks it (X11 close requests)
  libsdl2-dev
  libusb-1.0-0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick
  xdotool            # scripts/startup_time.sh: waits for windows and presses keys under Xvfb
  librsvg2-bin       # scripts/icons.sh: draws the icon's PNG sizes from its SVG
  dpkg-dev           # scripts/package.sh: dpkg-shlibdeps finds the package's library dependencies
  desktop-file-utils # scripts/check_package.sh: desktop-file-validate
  lintian            # scripts/check_package.sh: Debian's checks of the package
  appstream          # scripts/check_package.sh: appstreamcli validates the metainfo file
  python3            # tests/com_pairs.py: null-modem cables between Wine COM ports for the Windows serial tests
  # The Windows build: mingw-w64 with posix threads (std::thread), Qt's host tools (moc, rcc, uic) for
  # the cross build, Wine to run its suites here, NSIS for its installer.
  g++-mingw-w64-x86-64-posix
  qt6-base-dev-tools
  wine64
  fonts-wine         # Wine's Tahoma and MS Sans Serif: the Windows checks draw with the fonts Windows has
  nsis
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: all packages are installed."
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  run=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run=(sudo)
elif command -v sudo >/dev/null 2>&1 && [[ -t 0 ]]; then
  run=(sudo)   # sudo asks for the password on this terminal
else
  echo "setup: cannot install packages: this is not root and sudo is not available." >&2
  echo "setup: ask an administrator to run, as root:" >&2
  echo "    apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update -qq
"${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done."
