#!/bin/sh
# Redraws the window's artwork PNGs beside this script with Qt's painter and
# the installed CJK font (fonts-wqy-microhei).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -O1 -o "$tmp/render_artwork" "$here/render_artwork.cpp" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$tmp/render_artwork" "$here"
