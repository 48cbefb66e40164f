#!/usr/bin/env bash
# Cross-builds every Windows program and suite into build/win64 (mingw-w64, warnings as errors).
# The Windows libraries come from a prefix: VELOMAT_WIN64_DEPS=PREFIX names one built elsewhere;
# otherwise ../shared/win64-deps/velomat-win64-deps.tar.xz beside the clone is unpacked into
# build/win64-deps/ (again only when the tarball changes). Without either it says so and ends with 2,
# so that the test command can count the Windows tree as skipped, never quietly.
set -euo pipefail
cd "$(dirname "$0")/../.."

tarball=${VELOMAT_WIN64_TARBALL:-../shared/win64-deps/velomat-win64-deps.tar.xz}
deps=build/win64-deps

if [[ -n ${VELOMAT_WIN64_DEPS:-} ]]; then
  prefix=$(realpath "$VELOMAT_WIN64_DEPS")
elif [[ -f $tarball ]]; then
  sum=$(sha256sum "$tarball" | cut -d' ' -f1)
  if [[ ! -f $deps/stamp || $(cat "$deps/stamp") != "$sum" ]]; then
    echo "windows: unpacking $tarball into $deps"
    rm -rf "$deps"
    mkdir -p "$deps"
    tar -xJf "$tarball" -C "$deps"
    echo "$sum" >"$deps/stamp"  # written last: an unpacking cut short is done again
  fi
  prefix=$(realpath "$deps/velomat-win64")
else
  echo "windows: skipping the Windows tree: no prefix of the Windows libraries." >&2
  echo "windows: put velomat-win64-deps.tar.xz in ../shared/win64-deps/, or build a prefix with" >&2
  echo "windows:     scripts/windows/deps.sh PREFIX" >&2
  echo "windows: and name it with VELOMAT_WIN64_DEPS=PREFIX." >&2
  exit 2
fi
if [[ ! -d $prefix/lib/cmake/Qt6 ]]; then
  echo "windows: $prefix is not a prefix of the Windows libraries (no lib/cmake/Qt6)" >&2
  exit 1
fi

cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/win64-toolchain.cmake \
  -DVELOMAT_WIN64_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELOMAT_WERROR=ON \
  -DVELOMAT_BENCH=OFF >/dev/null
cmake --build build/win64 -j2 "$@"
