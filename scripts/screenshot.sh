#!/bin/sh
# Runs the program under a virtual X display and saves a picture of its window.
#   scripts/screenshot.sh [path/to/zelvano-setup]
#       the Qt window (Qt's own grab of the window) as docs/window.png
#   scripts/screenshot.sh windows [path/to/zelvano-setup.exe]
#       the Win32 window under Wine (read back from the screen) as
#       docs/window-windows.png, in the Wine prefix $WINEPREFIX (default: the
#       windows build's prefix)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [ "${1:-}" = windows ]; then
    program=${2:-$root/build/windows/app/win32/zelvano-setup.exe}
    if [ ! -f "$program" ]; then
        echo "no program at $program; build it first (cmake --preset windows && cmake --build build/windows)" >&2
        exit 1
    fi
    export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
    cp "$program" "$tmp/zelvano-setup-screenshot.exe"
    ZELVANO_GRAB_WINDOW="Z:$root/docs/window-windows.png" \
        "$root/tests/app/win32/run-with-display.sh" "$tmp/zelvano-setup-screenshot.exe"
    echo "saved $root/docs/window-windows.png"
    exit 0
fi

program=${1:-$root/build/release/app/zelvano-setup}
if [ ! -x "$program" ]; then
    echo "no program at $program; build it first (cmake --preset release && cmake --build build/release)" >&2
    exit 1
fi
# The program ends every process that carries its own file name, so it runs
# here under a name of its own, with a known install folder.
cp "$program" "$tmp/zelvano-setup-screenshot"
PROGRAMFILES="/opt/Program Files" ZELVANO_GRAB_WINDOW="$root/docs/window.png" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" "$tmp/zelvano-setup-screenshot"
echo "saved $root/docs/window.png"
