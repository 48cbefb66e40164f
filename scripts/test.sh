#!/usr/bin/env bash
# Sets up the machine, builds Velomat four ways and runs every test; warnings are errors in every tree:
#   build/release  all suites and a short run of the benchmarks
#   build/o3       a plain Release build (-O3), which finds warnings the other levels do not
#   build/asan     all suites under AddressSanitizer + UndefinedBehaviorSanitizer
#   build/tsan     the threaded suites under ThreadSanitizer
#   ordinary user  as root, the threaded suites of build/release once more as uid 65534
#   build/fuzz     the settings reader fuzzed for a few seconds (clang, libFuzzer, ASan + UBSan)
#   package        the Debian package built, installed into a scratch root and checked
#   build/win64    the Windows build (mingw-w64), its suites run under Wine, its zip and installer
#                  made and the installer checked under Wine, and velomat.exe run end to end on a COM
#                  port under Wine, ended by taskkill and by Alt+F4 (scripts/windows/)
# Ends with one line: "tests: N passed, N failed" (and when the Windows tree was skipped, that too).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/check_layers.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

passed=0
failed=0
status=0

run_suites() {  # <build dir> <cmake options> -- <ctest options>
  local dir=$1
  shift
  local cmake_args=()
  while [[ $1 != -- ]]; do cmake_args+=("$1"); shift; done
  shift
  echo "== $dir"
  cmake -S . -B "$dir" -G Ninja "${cmake_args[@]}" >/dev/null
  cmake --build "$dir" -j2
  local log="$dir/ctest.log"
  ctest --test-dir "$dir" --output-on-failure -j2 "$@" 2>&1 | tee "$log" || status=1
  count_suites "$dir" "$log"
}

count_suites() {  # <build dir> <ctest log>: adds the log's passed and failed suites to the totals
  local dir=$1 log=$2
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [[ -z $line ]]; then
    echo "no test summary from $dir" >&2
    status=1
    return
  fi
  local bad total
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

run_suites build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELOMAT_WERROR=ON --
run_suites build/asan -DCMAKE_BUILD_TYPE=Debug -DVELOMAT_SANITIZE=address,undefined -DVELOMAT_BENCH=OFF \
  -DVELOMAT_WERROR=ON --
run_suites build/tsan -DCMAKE_BUILD_TYPE=Debug -DVELOMAT_SANITIZE=thread -DVELOMAT_BENCH=OFF -DVELOMAT_WERROR=ON \
  -- -L threaded

step() {  # <name> <command...>: one more test, passed or failed
  echo "== $1"
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}
# What a user or packager builds with CMake's plain Release type: every target, the benchmarks too.
build_o3() {
  cmake -S . -B build/o3 -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELOMAT_WERROR=ON -DVELOMAT_BENCH=ON >/dev/null &&
    cmake --build build/o3 -j2
}
step "build/o3 (Release, warnings as errors)" build_o3
# Root ignores file rights and may change scheduling freely: a fault that only an ordinary user meets
# must not pass unseen.
step "build/release as an ordinary user" scripts/as_ordinary_user.sh build/release threaded
step build/fuzz scripts/fuzz.sh 5
step package scripts/check_package.sh

# The Windows tree: every program and suite cross-built, the suites run under Wine in one Wine prefix
# made for this run. Without the Windows libraries' prefix it is skipped, and the closing line says so.
windows_skipped=""
echo "== build/win64"
windows_build=0
scripts/windows/build.sh || windows_build=$?
if [[ $windows_build -eq 2 ]]; then
  windows_skipped=" (the Windows tree skipped: no prefix of the Windows libraries)"
elif [[ $windows_build -ne 0 ]]; then
  failed=$((failed + 1))
else
  rm -rf build/win64/wine
  ctest --test-dir build/win64 --output-on-failure -j2 2>&1 | tee build/win64/ctest.log || status=1
  count_suites build/win64 build/win64/ctest.log
  # The portable zip and the installer, and the installer run silently under Wine as a user would.
  step "windows package" scripts/windows/package.sh build/win64
  step "windows installer" scripts/windows/check_installer.sh build/win64
  step "windows run" scripts/windows/check_run.sh build/win64
fi

[[ $failed -eq 0 ]] || status=1
echo "tests: $passed passed, $failed failed$windows_skipped"
exit $status
