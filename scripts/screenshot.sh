#!/bin/sh
# Runs the program under a virtual X display and saves a picture of its window
# (Qt's own grab of the window) as docs/window.png.
#   scripts/screenshot.sh [path/to/zelvano-setup]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/release/app/zelvano-setup}
if [ ! -x "$program" ]; then
    echo "no program at $program; build it first (cmake --preset release && cmake --build build/release)" >&2
    exit 1
fi
# The program ends every process that carries its own file name, so it runs
# here under a name of its own, with a known install folder.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$program" "$tmp/zelvano-setup-screenshot"
PROGRAMFILES="/opt/Program Files" ZELVANO_GRAB_WINDOW="$root/docs/window.png" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" "$tmp/zelvano-setup-screenshot"
echo "saved $root/docs/window.png"
