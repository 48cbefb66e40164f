#!/usr/bin/env bash
# scripts/as_ordinary_user.sh <build dir> <ctest label>: runs the suites with that label once more as an
# ordinary user (nobody, uid 65534) and prints one line per suite and a last line
# "as ordinary user: N passed, N failed". Root ignores file rights and may change scheduling freely,
# so a fault that only an ordinary user meets would pass unseen as root. Each suite runs from a
# scratch folder of that user's own, with a home and a runtime folder there; the build tree may lie
# where that user cannot read (under /root, say), so the programs are copied there first.
# When not run as root, the suites already ran as an ordinary user: nothing to do.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
label=$2

if [[ $(id -u) -ne 0 ]]; then
  echo "as ordinary user: 0 passed, 0 failed (already an ordinary user)"
  exit 0
fi

scratch=$(mktemp -d /tmp/velomat-ordinary.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run" "$scratch/tmp"
chmod 700 "$scratch/run"
passed=0
failed=0
while IFS= read -r line; do
  # "18: Test command: /path/to/program "arg" ..."
  command=${line#*Test command: }
  program=${command%% *}
  args=()
  [[ $command == *" "* ]] && eval "args=(${command#* })"
  name=$(basename "$program")
  cp "$program" "$scratch/$name"
  chown -R 65534:65534 "$scratch"
  if (cd "$scratch" && timeout 600 setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$scratch/home" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/run" \
        QT_QPA_PLATFORM=offscreen "./$name" "${args[@]}" >"$scratch/$name.log" 2>&1); then
    echo "as ordinary user: $name passed"
    passed=$((passed + 1))
  else
    echo "as ordinary user: $name FAILED" >&2
    tail -n 40 "$scratch/$name.log" >&2
    failed=$((failed + 1))
  fi
done < <(ctest --test-dir "$dir" -N -V -L "$label" | grep -E '^[0-9]+: Test command: ')
echo "as ordinary user: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
