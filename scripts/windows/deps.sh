#!/usr/bin/env bash
# scripts/windows/deps.sh PREFIX [WORK]: builds the Windows libraries of the cross build into PREFIX, for
# anyone without ../shared/win64-deps/velomat-win64-deps.tar.xz: Qt 6.4.2 (Core, Gui, Widgets, Test; the
# platform plugins windows, offscreen and minimal; the styles), SDL2 2.26.5, libusb 1.0.26 and GoogleTest
# 1.12.1, each from Debian 12's own source package, the versions the Linux build uses. About an hour on
# two cores; WORK (/tmp/velomat-win64-work unless told) keeps the sources and builds, so that a second
# run picks up where the first stopped. Then: VELOMAT_WIN64_DEPS=PREFIX scripts/test.sh.
#   scripts/windows/deps.sh PREFIX [WORK] --sources-only   fetches the source packages and stops
# The sources come from the machine's own apt sources: a deb-src entry made from them for this download
# only, in WORK; nothing of the system's apt set-up is changed.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
[[ $# -ge 1 ]] || { echo "usage: scripts/windows/deps.sh PREFIX [WORK] [--sources-only]" >&2; exit 64; }
prefix=$(realpath -m "$1")
work=$(realpath -m "${2:-/tmp/velomat-win64-work}")
[[ ${2:-} == --sources-only ]] && work=/tmp/velomat-win64-work
sources_only=false
[[ " $* " == *" --sources-only "* ]] && sources_only=true
jobs=$(nproc)
mkdir -p "$prefix" "$work/src"

"$here/scripts/setup.sh"  # the cross compiler and Qt's host tools
need=(mingw-w64-tools dpkg-dev xz-utils bzip2 make)
missing=()
for p in "${need[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true) == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A private apt state whose only sources are deb-src twins of the machine's own deb lines, in either
# format (sources.list lines or deb822 .sources files).
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
{ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
  sed -n 's/^deb[[:space:]]\+/deb-src /p' >"$apt_dir/sources.list"
: >"$apt_dir/parts/src.sources"
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f $f ]] || continue
  sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$apt_dir/parts/src.sources"
  echo >>"$apt_dir/parts/src.sources"
done
apt_private=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")
if ! ls "$work"/src/libwine-dev_*.deb >/dev/null 2>&1; then
  apt-get "${apt_private[@]}" update -qq
  (cd "$work/src" && apt-get "${apt_private[@]}" source --download-only qt6-base=6.4.2+dfsg-10 \
    libsdl2=2.26.5+dfsg-1 libusb-1.0=2:1.0.26-1 googletest=1.12.1-0.2)
  (cd "$work/src" && apt-get download libwine-dev)  # a binary package: the system's own sources
fi
$sources_only && { echo "deps: sources in $work/src"; exit 0; }

toolchain=$work/toolchain.cmake
cat >"$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN
cd "$work"

# Qt. Debian's source leaves out the tablet header that the windows platform plugin includes; Wine's
# declaration of the same interface (libwine-dev) takes its place, with the two build macros of Wine's
# that it uses defined for it. And one function of the windows plugin needs a guard to build without
# OpenGL.
qt=qtbase-everywhere-src-6.4.2
if [[ ! -f $qt/.velomat-prepared ]]; then
  rm -rf "$qt" wine-dev
  tar -xf src/qt6-base_6.4.2+dfsg.orig.tar.xz
  dpkg -x src/libwine-dev_*.deb wine-dev
  mkdir -p "$qt/src/3rdparty/wintab"
  cp wine-dev/usr/include/wine/wine/windows/wintab.h wine-dev/usr/include/wine/wine/windows/pktdef.h \
    "$qt/src/3rdparty/wintab/"
  cat >"$work/wintab-macros.h" <<'MACROS'
#ifndef DECL_WINELIB_TYPE_AW
#ifdef UNICODE
#define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
#define WINELIB_NAME_AW(func) func##W
#else
#define DECL_WINELIB_TYPE_AW(type) typedef type##A type;
#define WINELIB_NAME_AW(func) func##A
#endif
#endif
#ifndef API
#define API WINAPI
#endif
MACROS
  sed -i "/#define __WINE_WINTAB_H/r $work/wintab-macros.h" "$qt/src/3rdparty/wintab/wintab.h"
  window=$qt/src/plugins/platforms/windows/qwindowswindow.cpp
  # Every "#if QT_CONFIG(dynamicgl)" but the first guards code that reaches for the GL context.
  awk '/^#if QT_CONFIG\(dynamicgl\)$/ && seen++ { print "#if QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)"; next } 1' \
    "$window" >"$window.new" && mv "$window.new" "$window"
  touch "$qt/.velomat-prepared"
fi
cmake -S "$qt" -B qt-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_testlib=ON -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
  -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF >/dev/null
cmake --build qt-build -j"$jobs"
cmake --install qt-build >/dev/null

# SDL2
[[ -d SDL2-2.26.5 ]] || tar -xf src/libsdl2_2.26.5+dfsg.orig.tar.gz
cmake -S SDL2-2.26.5 -B sdl-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF >/dev/null
cmake --build sdl-build -j"$jobs" >/dev/null
cmake --install sdl-build >/dev/null

# libusb
[[ -d libusb-1.0.26 ]] || tar -xf src/libusb-1.0_1.0.26.orig.tar.bz2
(cd libusb-1.0.26 && ./configure -q --host=x86_64-w64-mingw32 --prefix="$prefix" \
  CC=x86_64-w64-mingw32-gcc-posix --enable-shared --disable-static >/dev/null &&
  make -s -j"$jobs" >/dev/null && make -s install >/dev/null)

# GoogleTest, static
[[ -d googletest-release-1.12.1 ]] || tar -xf src/googletest_1.12.1.orig.tar.gz
cmake -S googletest-release-1.12.1 -B gtest-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF >/dev/null
cmake --build gtest-build -j"$jobs" >/dev/null
cmake --install gtest-build >/dev/null

cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"
echo "deps: the Windows libraries are in $prefix; build against them with VELOMAT_WIN64_DEPS=$prefix"
