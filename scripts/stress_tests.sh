#!/usr/bin/env bash
# scripts/stress_tests.sh [rounds] [build dir]: runs the suites that use threads (label "threaded")
# again and again (10 rounds unless told) beside two busy processes that keep both processors of a
# small machine busy, as a loaded desktop or CI machine does, and prints each round's result and the
# count of passes and failures. As root each round also runs them as an ordinary user. The tree must
# be built (scripts/test.sh or cmake --build).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-10}
dir=${2:-build/release}
export QT_QPA_PLATFORM=offscreen

hogs=()
for _ in 1 2; do
  (while :; do :; done) &
  hogs+=($!)
done
trap 'kill "${hogs[@]}" 2>/dev/null || true' EXIT

passed=0
failed=0
for ((round = 1; round <= rounds; round++)); do
  log=$(mktemp)
  ok=true
  ctest --test-dir "$dir" -L threaded --output-on-failure >"$log" 2>&1 || ok=false
  if [[ $(id -u) -eq 0 ]]; then scripts/as_ordinary_user.sh "$dir" threaded >>"$log" 2>&1 || ok=false; fi
  if $ok; then
    passed=$((passed + 1))
    echo "round $round: passed"
  else
    failed=$((failed + 1))
    echo "round $round: FAILED"
    grep -E 'Failed|FAILED|Failure|\*\*\*' "$log" | head -n 20 || true
  fi
  rm -f "$log"
done
echo "stress: $passed of $rounds rounds passed, $failed failed (two busy processes beside them)"
[[ $failed -eq 0 ]]
