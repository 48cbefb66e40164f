#!/usr/bin/env bash
# scripts/windows/package.sh [build dir]: makes the Windows packages from a cross-built tree (build/win64
# unless told): build/win64/velomat-<version>-win64.zip, the portable folder with the programs, the
# libraries and Qt plugins they need and the licence, and build/win64/velomat-<version>-setup.exe, the
# per-user installer (NSIS).
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/win64}

cache=$dir/CMakeCache.txt
[[ -f $cache ]] || { echo "package: $dir is no configured Windows tree" >&2; exit 1; }
prefix=$(sed -n 's/^VELOMAT_WIN64_PREFIX:[A-Z]*=//p' "$cache")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$cache")
[[ -n $prefix && -d $prefix/bin ]] || { echo "package: no Windows prefix named in $cache" >&2; exit 1; }
[[ -n $version ]] || { echo "package: no project version in $cache" >&2; exit 1; }
gcc_dlls=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_dlls=/usr/x86_64-w64-mingw32/lib

name=velomat-$version-win64
stage=$dir/package/$name
rm -rf "$dir/package"
mkdir -p "$stage/platforms" "$stage/styles"
for program in velomat velomat-sim; do
  install -m 644 "$dir/src/$program.exe" "$stage/"
done
for dll in Qt6Core Qt6Gui Qt6Widgets SDL2 libusb-1.0; do install -m 644 "$prefix/bin/$dll.dll" "$stage/"; done
install -m 644 "$gcc_dlls/libstdc++-6.dll" "$gcc_dlls/libgcc_s_seh-1.dll" "$mingw_dlls/libwinpthread-1.dll" "$stage/"
install -m 644 "$prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
install -m 644 "$prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# Windows' editor shows the licence only with CR LF line ends.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
install -m 644 data/icons/velomat.ico "$stage/"

# The program files go into the zip and the installer alike; the uninstaller removes exactly these.
files=$dir/package/files.nsh
unfiles=$dir/package/unfiles.nsh
: >"$files"
: >"$unfiles"
(cd "$stage" && find . -type f | sed 's#^\./##' | sort) | while IFS= read -r f; do
  win=${f//\//\\}
  folder=$(dirname "$f")
  [[ $folder == . ]] && folder= || folder=\\${folder//\//\\}
  echo "SetOutPath \"\$INSTDIR$folder\"" >>"$files"
  echo "File \"/oname=\$INSTDIR\\$win\" \"$(realpath "$stage/$f")\"" >>"$files"
  echo "Delete \"\$INSTDIR\\$win\"" >>"$unfiles"
done

rm -f "$dir/$name.zip"
(cd "$dir/package" && zip -qr "../$name.zip" "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$stage")" -DFILES="$(realpath "$files")" \
  -DUNFILES="$(realpath "$unfiles")" -DOUTFILE="$(realpath "$dir")/velomat-$version-setup.exe" \
  data/windows/installer.nsi
echo "package: $dir/$name.zip, $dir/velomat-$version-setup.exe"
