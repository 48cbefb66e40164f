#!/usr/bin/env bash
# Checks that the source folders depend one way: each folder includes only from itself and from the
# folders below it. Prints every include that reaches up or sideways and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

# What each folder may include besides itself, bottom to top.
declare -A may=(
  [records]=""
  [config]="records"
  [link]="records"
  [control]="records config link"
  [ui]="records link"
  [panel]="records config link control ui"
  [sim]="records config link control ui"
  [app]="records config link control ui panel sim"
)

bad=0
while IFS= read -r line; do
  file=${line%%:*}
  room=${file%%/*}
  target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"${line#*:}")
  [[ $target == "$room" ]] && continue
  if [[ -z ${may[$room]+x} ]]; then
    echo "layers: $file: the folder $room has no place in the layers" >&2
    bad=1
  elif [[ " ${may[$room]} " != *" $target "* ]]; then
    echo "layers: $file includes from $target/, which $room/ may not use" >&2
    bad=1
  fi
done < <(grep -rHE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' .  | sed 's#^\./##')

[[ $bad -eq 0 ]] && echo "layers: every folder uses only itself and the folders below it."
exit $bad
