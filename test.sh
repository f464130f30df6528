#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs all tests:
# the release build, the sanitizer build, the fuzz targets briefly, and the
# Windows build (cross-compiled with mingw-w64), whose suites run under Wine,
# each executable once with all its cases. The 32-bit Windows build is built
# too; its suites of the libraries and the platform layer run where Wine can
# run 32-bit programs (see 32-bit Windows build below).
#
#   ./test.sh                    every configuration (the README's test command, CI)
#   ./test.sh PRESET...          only these, e.g. ./test.sh release windows
#
# Compilations go through ccache when it is installed (CMakeLists.txt), so a
# second run rebuilds only what changed, even in a fresh clone; and the tests
# of a configuration that passed are run again only when a file of the work
# tree changed its content (ZELVANO_RETEST=1 runs them in any case).
set -uo pipefail
cd "$(dirname "$0")"

all_presets=(release asan fuzz windows windows-i686)
presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=("${all_presets[@]}")
for p in "${presets[@]}"; do
  if [[ " ${all_presets[*]} " != *" $p "* ]]; then
    echo "usage: $0 [PRESET...]   (presets: ${all_presets[*]}; all of them by default)" >&2
    exit 2
  fi
done
wanted() { [[ " ${presets[*]} " == *" $1 "* ]]; }

./scripts/install-deps.sh || exit 1

jobs=$(nproc)
summary=()
failed=0
passed_total=0
failed_total=0

# Wall-clock minutes of each step, for the summary.
timings=()
elapsed() { printf '%dm%02ds' $((SECONDS / 60)) $((SECONDS % 60)); }
note_time() { timings+=("$1 $(elapsed)"); SECONDS=0; }

# build_preset PRESET [CMAKE CACHE SETTINGS...]
build_preset() {
  local preset=$1
  shift
  echo "=== $preset: configure and build"
  SECONDS=0
  cmake --preset "$preset" "$@" >/dev/null || { summary+=("$preset: configure failed"); failed=1; return 1; }
  cmake --build --preset "$preset" -j "$jobs" || { note_time "$preset build"; summary+=("$preset: build failed"); failed=1; return 1; }
  note_time "$preset build"
}

# run_preset PRESET [CTEST ARGUMENTS...]: builds and runs the preset's tests.
run_preset() {
  local preset=$1
  shift
  build_preset "$preset" || return
  test_preset "$preset" "$@"
}

# The key of what a configuration's test results depend on: the content of
# every file of the work tree that git sees (sources, tests, their scripts and
# data), the installed packages, and the configuration with its ctest
# arguments. Touching a file keeps it; any edit changes it. Empty outside a
# git work tree.
results_key() {
  git rev-parse --is-inside-work-tree >/dev/null 2>&1 || return 0
  {
    git ls-files -z --cached --others --exclude-standard | sort -z | xargs -0 sha256sum 2>&1
    dpkg-query -W -f='${Package} ${Version}\n' 2>/dev/null
    echo "$*"
  } | sha256sum | cut -d ' ' -f 1
}

# test_preset PRESET [CTEST ARGUMENTS...]: runs the preset's tests. A
# configuration whose tests all passed is not run again while its results
# key is unchanged (build/PRESET/tests-passed holds the key and the summary
# of that run): a second ./test.sh after touching a file only builds.
# ZELVANO_RETEST=1 runs them anyway; a fresh clone (CI) has no such record.
test_preset() {
  local preset=$1
  shift
  local record="build/$preset/tests-passed" key line cases=""
  key=$(results_key "$preset" "$@")
  if [[ -n $key && ${ZELVANO_RETEST:-0} != 1 && -f $record && $(sed -n 1p "$record") == "$key" ]]; then
    line=$(sed -n 2p "$record")
    cases=$(sed -n 3p "$record")
    echo "=== $preset: tests unchanged since their passing run ($line); ZELVANO_RETEST=1 runs them again"
    summary+=("$preset: $line (nothing changed since that passing run)")
    [[ -z $cases ]] || summary+=("$preset: $cases (the same run)")
    count_summary_line "$line"
    return
  fi
  rm -f "$record"
  echo "=== $preset: tests"
  local log="build/$preset/ctest-summary.log"
  SECONDS=0
  ctest --preset "$preset" -j "$jobs" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  note_time "$preset tests"
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  summary+=("$preset: ${line:-no test summary}")
  count_summary_line "$line"
  if [[ $preset == windows* ]]; then
    cases=$(windows_cases "$preset")
    [[ -z $cases ]] || summary+=("$preset: $cases")
  fi
  if [[ $rc -eq 0 ]]; then
    [[ -z $key ]] || printf '%s\n%s\n%s\n' "$key" "$line" "$cases" >"$record"
  else
    failed=1
  fi
}

# Adds a ctest summary line's counts to the totals.
count_summary_line() {
  if [[ "$1" =~ ([0-9]+)%\ tests\ passed,\ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed_total=$((failed_total + BASH_REMATCH[2]))
    passed_total=$((passed_total + BASH_REMATCH[3] - BASH_REMATCH[2]))
  fi
}

# The Windows suites are one ctest test each; their cases are counted from
# GoogleTest's own summary lines in the ctest log.
windows_cases() {
  local preset=$1
  local log="build/$preset/Testing/Temporary/LastTest.log"
  [[ -f $log ]] || return 0
  local passed failed
  passed=$(grep -hoE '^\[  PASSED  \] [0-9]+ test' "$log" | awk '{s += $4} END {print s + 0}')
  failed=$(grep -hoE '^\[  FAILED  \] [0-9]+ test' "$log" | awk '{s += $4} END {print s + 0}')
  echo "GoogleTest cases under Wine: $passed passed, $failed failed"
}

# Whether this Wine runs 32-bit programs: it needs Wine's 32-bit loader (the
# wine32:i386 package) and a kernel that runs it; then a tiny program of the
# 32-bit cross compiler must run in the build's prefix.
wine_runs_32bit() {
  local prefix=$1 probe
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1 || return 1
  mkdir -p build/windows-i686
  probe=build/windows-i686/wine32-probe.exe
  printf 'int main(void) { return 0; }\n' | i686-w64-mingw32-gcc-posix -x c - -o "$probe" 2>/dev/null || return 1
  WINEPREFIX=$prefix cmake/wine-run.sh --prepare >/dev/null 2>&1 &&
    WINEPREFIX=$prefix cmake/wine-run.sh "$probe" >/dev/null 2>&1
}

wanted release && run_preset release
wanted asan && run_preset asan
if wanted fuzz && command -v clang++ >/dev/null; then
  run_preset fuzz
fi
wanted windows && run_preset windows

# 32-bit Windows build. Wine runs 32-bit programs through its 32-bit half
# (wine32:i386, whose loader is an i386 Linux program); where the kernel runs
# no i386 programs scripts/install-deps.sh leaves it out and only the product
# (program, tools, libraries) is built, without the test suites. Where a
# 32-bit program runs, the suites of the platform layer and the libraries are
# built and run too (the window and end-to-end suites are left to the 64-bit
# build, they test no 32-bit code of their own).
if wanted windows-i686; then
  if wine_runs_32bit "$PWD/build/windows-i686/wineprefix"; then
    if build_preset windows-i686 -DZELVANO_TESTS=ON; then
      test_preset windows-i686 -L '^(platform|json|unzip|http|download)$'
    fi
  elif build_preset windows-i686 -DZELVANO_TESTS=OFF; then
    summary+=("windows-i686: product built; tests not built (this Wine runs no 32-bit programs)")
  fi
fi

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
[[ ${#timings[@]} -eq 0 ]] || echo "time: $(printf '%s, ' "${timings[@]}" | sed 's/, $//')"
echo "total: $passed_total passed, $failed_total failed"
exit $failed
