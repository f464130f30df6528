#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests, in the private prefix
# $WINEPREFIX (below the build folder), headless and without Wine's debug
# output or its offers to install Mono and Gecko.
#
#   wine-run.sh --prepare          makes the prefix once (wineboot -i)
#   wine-run.sh PROGRAM.exe ARGS   runs the program, with its exit status
set -uo pipefail

: "${WINEPREFIX:?WINEPREFIX names the private prefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# No window of Wine's own may need a display.
unset DISPLAY WAYLAND_DISPLAY

# Debian keeps the launchers in /usr/lib/wine; the 64-bit one runs both the
# 64-bit programs and, when wine32 is installed, the 32-bit ones.
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
if [[ -n "${ZELVANO_WINE:-}" ]]; then wine=$ZELVANO_WINE; fi
wineserver=/usr/lib/wine/wineserver64
[[ -x $wineserver ]] || wineserver=$(command -v wineserver64 || command -v wineserver)

if [[ "${1:-}" == "--prepare" ]]; then
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
  fi
  # Settle the prefix's registry on disk before the suites run in parallel.
  "$wineserver" -w
  [[ -f "$WINEPREFIX/system.reg" ]]
  exit
fi

exec "$wine" "$@"
