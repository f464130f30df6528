#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests:
# the release build, the sanitizer build, the fuzz targets briefly, and the
# Windows build (cross-compiled with mingw-w64), whose suites run under Wine,
# each executable once with all its cases.
set -uo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh || exit 1

jobs=$(nproc)
summary=()
failed=0
passed_total=0
failed_total=0

run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null || { summary+=("$preset: configure failed"); failed=1; return; }
  cmake --build --preset "$preset" -j "$jobs" || { summary+=("$preset: build failed"); failed=1; return; }
  echo "=== $preset: tests"
  local log="build/$preset/ctest-summary.log"
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  summary+=("$preset: ${line:-no test summary}")
  if [[ "$line" =~ ([0-9]+)%\ tests\ passed,\ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed_total=$((failed_total + BASH_REMATCH[2]))
    passed_total=$((passed_total + BASH_REMATCH[3] - BASH_REMATCH[2]))
  fi
  [[ $rc -eq 0 ]] || failed=1
}

# The Windows suites are one ctest test each; their cases are counted from
# GoogleTest's own summary lines in the ctest log.
windows_cases() {
  local preset=$1
  local log="build/$preset/Testing/Temporary/LastTest.log"
  [[ -f $log ]] || return
  local passed failed
  passed=$(grep -hoE '^\[  PASSED  \] [0-9]+ test' "$log" | awk '{s += $4} END {print s + 0}')
  failed=$(grep -hoE '^\[  FAILED  \] [0-9]+ test' "$log" | awk '{s += $4} END {print s + 0}')
  summary+=("$preset: GoogleTest cases under Wine: $passed passed, $failed failed")
}

run_preset release
run_preset asan
if command -v clang++ >/dev/null; then
  run_preset fuzz
fi
run_preset windows
windows_cases windows

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
echo "total: $passed_total passed, $failed_total failed"
exit $failed
