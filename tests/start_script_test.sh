#!/usr/bin/env bash
# scripts/start.sh keeps the clone clean: velomat-sim saves its settings.vlm where it runs, and that
# must be a folder git ignores. Runs start.sh in a scratch clone with the setup and the build stood in
# for, and a velomat-sim that saves as the program does.
set -euo pipefail
source_dir=$1
clone=$(mktemp -d)
trap 'rm -rf "$clone"' EXIT

mkdir -p "$clone/scripts" "$clone/bin"
cp "$source_dir/scripts/start.sh" "$clone/scripts/"
cp "$source_dir/.gitignore" "$clone/"
printf '#!/bin/sh\nexit 0\n' >"$clone/scripts/setup.sh"
# cmake: configuring does nothing; building makes a velomat-sim that writes settings.vlm where it runs.
cat >"$clone/bin/cmake" <<'STAND_IN'
#!/bin/sh
[ "$1" = --build ] || exit 0
mkdir -p "$2/src"
printf '#!/bin/sh\nprintf VLM15 >settings.vlm\npwd >&2\n' >"$2/src/velomat-sim"
chmod +x "$2/src/velomat-sim"
STAND_IN
chmod +x "$clone/scripts/setup.sh" "$clone/bin/cmake" "$clone/scripts/start.sh"
git -C "$clone" init -q
git -C "$clone" add -A
git -C "$clone" -c user.name=test -c user.email=test@example.org commit -qm clone

ran_in=$(cd "$clone" && PATH="$clone/bin:$PATH" scripts/start.sh 2>&1 >/dev/null | tail -n 1)
saved=$(find "$clone" -name settings.vlm -not -path '*/.git/*')
untracked=$(git -C "$clone" status --porcelain)
status=0
if [[ -z $saved ]]; then
  echo "FAILED: velomat-sim did not run (it ran in: $ran_in)"
  status=1
fi
if [[ -n $untracked ]]; then
  echo "FAILED: the clone is not clean after velomat-sim saved its settings in $ran_in:"
  echo "$untracked"
  status=1
fi
[[ $status -eq 0 ]] && echo "passed: settings.vlm saved in ${saved#"$clone"/}, the clone stays clean"
exit $status
