#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests:
# the release build, the sanitizer build, the fuzz targets briefly, and the
# Windows build (cross-compiled with mingw-w64), whose suites run under Wine,
# each executable once with all its cases. The 32-bit Windows build is built
# too; its suites of the libraries and the platform layer run where Wine can
# run 32-bit programs (see 32-bit Windows build below).
set -uo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh || exit 1

jobs=$(nproc)
summary=()
failed=0
passed_total=0
failed_total=0

build_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null || { summary+=("$preset: configure failed"); failed=1; return 1; }
  cmake --build --preset "$preset" -j "$jobs" || { summary+=("$preset: build failed"); failed=1; return 1; }
}

# run_preset PRESET [CTEST ARGUMENTS...]: builds and runs the preset's tests.
run_preset() {
  local preset=$1
  shift
  build_preset "$preset" || return
  test_preset "$preset" "$@"
}

test_preset() {
  local preset=$1
  shift
  echo "=== $preset: tests"
  local log="build/$preset/ctest-summary.log"
  ctest --preset "$preset" -j "$jobs" "$@" 2>&1 | tee "$log"
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

# 32-bit Windows build. Wine runs 32-bit programs through its 32-bit half
# (wine32:i386, whose loader is an i386 Linux program); where the kernel runs
# no i386 programs scripts/install-deps.sh leaves it out and only the build is
# checked. Where a 32-bit program of the build runs, the suites of the
# platform layer and the libraries run (the window and end-to-end suites are
# left to the 64-bit build, they test no 32-bit code of their own).
if build_preset windows-i686; then
  prefix=$PWD/build/windows-i686/wineprefix
  if WINEPREFIX=$prefix cmake/wine-run.sh --prepare >/dev/null 2>&1 &&
    WINEPREFIX=$prefix cmake/wine-run.sh build/windows-i686/tests/platform/platform_tests.exe \
      --gtest_list_tests >/dev/null 2>&1; then
    test_preset windows-i686 -L '^(platform|json|unzip|http|download)$'
    windows_cases windows-i686
  else
    summary+=("windows-i686: built; not run (this Wine runs no 32-bit programs)")
  fi
fi

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
echo "total: $passed_total passed, $failed_total failed"
exit $failed
