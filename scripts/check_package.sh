#!/usr/bin/env bash
# Builds the Debian package and checks it and the installation: the files where a desktop expects
# them (installed into a scratch root with DESTDIR), the desktop entries valid, the udev rule valid,
# the package's dependencies declared. Fails with a message for every problem it finds.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(scripts/package.sh | tail -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install build/release --prefix /usr >/dev/null

problems=0
problem() {
  echo "package: $*" >&2
  problems=$((problems + 1))
}

expected=(
  usr/bin/velomat usr/bin/velomat-sim
  usr/share/applications/velomat.desktop usr/share/applications/velomat-sim.desktop
  usr/share/icons/hicolor/scalable/apps/velomat.svg
  usr/lib/udev/rules.d/70-velomat.rules
)
for size in 16 22 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/velomat.png"); done
contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }')
for file in "${expected[@]}"; do
  [[ -f $root/$file ]] || problem "missing /$file"
  grep -qx "\./$file" <<<"$contents" || problem "/$file is not in $deb"
done
for program in velomat velomat-sim; do
  [[ -x $root/usr/bin/$program ]] || problem "/usr/bin/$program is not executable"
done
for size in 16 22 24 32 48 64 128 256; do
  identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/velomat.png" | grep -qx "${size}x${size}" ||
    problem "the ${size}x${size} icon is not ${size}x${size} pixels"
done

desktop-file-validate "$root"/usr/share/applications/*.desktop || problem "a desktop entry is not valid"
grep -qx 'Exec=velomat' "$root/usr/share/applications/velomat.desktop" || problem "velomat.desktop starts no velomat"
grep -qx 'Exec=velomat-sim' "$root/usr/share/applications/velomat-sim.desktop" ||
  problem "velomat-sim.desktop starts no velomat-sim"

rules=$root/usr/lib/udev/rules.d/70-velomat.rules
if command -v udevadm >/dev/null 2>&1 && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules" || problem "udevadm verify rejects the udev rule"
else
  # udevadm verify is not there (it came with systemd 253): the rule's syntax, checked here.
  pair='(SUBSYSTEM|ENV\{[A-Z_]+\}|ATTR\{[A-Za-z_]+\}|ATTRS\{[A-Za-z_]+\}|TAG)(==|!=|=|\+=)"[^"]*"'
  while IFS= read -r line; do
    [[ -z $line || $line == \#* ]] && continue
    grep -Eqx "$pair(, $pair)*" <<<"$line" || problem "udev rule line not understood: $line"
  done <"$rules"
fi
grep -q 'TAG+="uaccess"' "$rules" || problem "the udev rule gives no uaccess"
! grep -Eq 'MODE="0?666"' "$rules" || problem "the udev rule makes a device world-writable"
for product in 0001 0003; do
  grep -q "ATTR{idVendor}==\"146a\", ATTR{idProduct}==\"$product\"" "$rules" || problem "no udev rule for 146a:$product"
done

depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6widgets6 libsdl2-2.0-0 libusb-1.0-0 qt6-qpa-plugins; do
  grep -q "$needed" <<<"$depends" || problem "the package does not depend on $needed"
done

if [[ $problems -gt 0 ]]; then
  echo "package: $problems problems in $deb" >&2
  exit 1
fi
echo "package: $deb installs its programs, desktop entries, icons and udev rule where they belong"
