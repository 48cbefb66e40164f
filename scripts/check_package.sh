#!/usr/bin/env bash
# Builds the Debian package and checks it and the installation: the files where a desktop expects
# them (installed into a scratch root with DESTDIR), the desktop entries valid and starting the programs
# in the user's Velomat folder, the udev rule valid, the package's dependencies declared, Debian's
# checks (lintian: no error, no warning) and the AppStream metadata valid. Fails with a message for
# every problem it finds.
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

launcher=usr/libexec/velomat/velomat-menu-start
expected=(
  usr/bin/velomat usr/bin/velomat-sim "$launcher"
  usr/share/applications/velomat.desktop usr/share/applications/velomat-sim.desktop
  usr/share/icons/hicolor/scalable/apps/velomat.svg
  usr/lib/udev/rules.d/70-velomat.rules
  usr/share/metainfo/org.example.velomat.metainfo.xml
  usr/share/man/man1/velomat.1.gz usr/share/man/man1/velomat-sim.1.gz
  usr/share/doc/velomat/copyright usr/share/doc/velomat/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/velomat.png"); done
contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }')
for file in "${expected[@]}"; do
  [[ -f $root/$file ]] || problem "missing /$file"
  grep -qx "\./$file" <<<"$contents" || problem "/$file is not in $deb"
done
for program in usr/bin/velomat usr/bin/velomat-sim "$launcher"; do
  [[ -x $root/$program ]] || problem "/$program is not executable"
done
for size in 16 22 24 32 48 64 128 256; do
  identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/velomat.png" | grep -qx "${size}x${size}" ||
    problem "the ${size}x${size} icon is not ${size}x${size} pixels"
done

desktop-file-validate "$root"/usr/share/applications/*.desktop || problem "a desktop entry is not valid"
for program in velomat velomat-sim; do
  grep -qx "Exec=/$launcher $program" "$root/usr/share/applications/$program.desktop" ||
    problem "$program.desktop does not start $program through /$launcher"
done

# The menu's launcher, run as a user runs it: the programs (stand-ins that tell where they were
# started) start in the Velomat folder of the user's configuration, made when missing; a folder that
# cannot be made leaves them in the working directory. Checked as an ordinary user too.
scratch=$(mktemp -d)
trap 'rm -rf "$root" "$scratch"' EXIT
for program in velomat velomat-sim; do
  printf '#!/bin/sh\necho "%s $# $(pwd)" >"$VELOMAT_STAND_IN_REPORT"\n' "$program" >"$root/usr/bin/$program"
done
mkdir -p "$scratch/home" "$scratch/work" "$scratch/ordinary" "$scratch/locked"
chmod 0555 "$scratch/locked"
chmod 0755 "$scratch" "$root"  # mktemp makes them for root alone
as_root=false
if [[ $(id -u) -eq 0 ]]; then
  as_root=true
  chown 65534:65534 "$scratch/ordinary"
fi
started_in() {  # <expected "program arguments folder"> <as: root|ordinary> <environment...>
  local want=$1 as=$2
  shift 2
  local report=$scratch/report
  rm -f "$report"
  local run=(env -i PATH=/usr/bin:/bin VELOMAT_STAND_IN_REPORT="$report" "$@")
  if [[ $as == ordinary ]] && $as_root; then  # run without root, the script is an ordinary user already
    touch "$report" && chown 65534:65534 "$report"
    run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${run[@]}")
  fi
  local program=${want%% *}
  (cd "$scratch/work" && "${run[@]}" "$root/$launcher" "$program" 2>"$scratch/stderr") ||
    problem "the launcher failed for $program ($*): $(cat "$scratch/stderr")"
  [[ $(cat "$report" 2>/dev/null) == "$want" ]] ||
    problem "the launcher started \"$(cat "$report" 2>/dev/null)\", not \"$want\" ($as, $*)"
}
started_in "velomat 0 $scratch/home/.config/velomat" root HOME="$scratch/home"
started_in "velomat-sim 0 $scratch/home/.config/velomat" root HOME="$scratch/home"
started_in "velomat 0 $scratch/xdg/velomat" root HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/xdg"
started_in "velomat 0 $scratch/home/.config/velomat" root HOME="$scratch/home" XDG_CONFIG_HOME=relative
started_in "velomat 0 $scratch/ordinary/.config/velomat" ordinary HOME="$scratch/ordinary"
started_in "velomat-sim 0 $scratch/work" ordinary HOME="$scratch/locked"
grep -q 'kann nicht angelegt werden' "$scratch/stderr" || problem "the launcher did not say why it stays"
[[ -d $scratch/home/.config/velomat && ! -e $scratch/work/.config ]] || problem "the launcher made the wrong folder"
if (cd "$scratch/work" && "$root/$launcher" sh -c true 2>/dev/null); then problem "the launcher starts any program"; fi

lintian --version >/dev/null
# lintian's own note about running as root is not a finding; -I also lists its hints.
if ! lintian -I --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1; then
  cat "$scratch/lintian" >&2
  problem "lintian finds errors or warnings in $deb"
fi
grep -E '^[EW]: ' "$scratch/lintian" >&2 && problem "lintian reports errors or warnings"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.example.velomat.metainfo.xml" ||
  problem "appstreamcli rejects the metainfo file"

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
echo "package: $deb installs its programs, desktop entries, icons, metadata, manual pages and udev"
echo "package: rule where they belong; lintian and appstreamcli find nothing to complain about"
