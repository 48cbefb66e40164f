#!/usr/bin/env bash
# Builds the Debian package of Velomat: build/release/velomat_<version>_<architecture>.deb.
# Install it with: sudo apt install ./build/release/velomat_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >/dev/null
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target velomat velomat-sim velomat_docs >/dev/null
if ! (cd build/release && cpack -G DEB >cpack.log 2>&1); then
  cat build/release/cpack.log >&2
  exit 1
fi
ls build/release/velomat_*.deb
