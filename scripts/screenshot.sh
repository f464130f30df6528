#!/bin/sh
# Runs the program under a virtual X display and saves a picture of its window.
#   scripts/screenshot.sh [path/to/zelvano-setup]
#       the Qt window (Qt's own grab of the window) as docs/window.png
#   scripts/screenshot.sh windows [path/to/zelvano-setup.exe]
#       the Win32 window under Wine (read back from the screen) as
#       docs/window-windows.png, in the Wine prefix $WINEPREFIX (default: the
#       windows build's prefix)
#   scripts/screenshot.sh windows-150|windows-200 [path/to/zelvano-setup.exe]
#       the same on a screen of 144 or 192 DPI (150 %, 200 %) as
#       docs/window-windows-150.png or -200.png, in a prefix of its own
#       (default: the windows build's wineprefix-dpi)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

case "${1:-}" in
    windows) picture=window-windows.png ;;
    windows-150) picture=window-windows-150.png; export ZELVANO_WINE_DPI=144 ;;
    windows-200) picture=window-windows-200.png; export ZELVANO_WINE_DPI=192 ;;
    *) picture= ;;
esac
if [ -n "$picture" ]; then
    program=${2:-$root/build/windows/app/win32/zelvano-setup.exe}
    if [ ! -f "$program" ]; then
        echo "no program at $program; build it first (cmake --preset windows && cmake --build build/windows)" >&2
        exit 1
    fi
    if [ -n "${ZELVANO_WINE_DPI:-}" ]; then
        export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix-dpi}"
    else
        export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
    fi
    cp "$program" "$tmp/zelvano-setup-screenshot.exe"
    ZELVANO_GRAB_WINDOW="Z:$root/docs/$picture" \
        "$root/tests/app/win32/run-with-display.sh" "$tmp/zelvano-setup-screenshot.exe"
    echo "saved $root/docs/$picture"
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
