#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests:
# the release build, the sanitizer build, and the fuzz targets briefly.
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

run_preset release
run_preset asan
if command -v clang++ >/dev/null; then
  run_preset fuzz
fi

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
echo "total: $passed_total passed, $failed_total failed"
exit $failed
