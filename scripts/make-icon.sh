#!/usr/bin/env bash
# Regenerates src/app/catraca-sync.ico, the Windows executable's icon, from
# the tray artwork (src/app/app_artwork.cpp). Run it after changing that
# artwork and commit the result; the build itself never runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -Isrc scripts/render_icon.cpp src/app/app_artwork.cpp \
  $(pkg-config --cflags --libs Qt6Gui) -o "$work/render_icon"
"$work/render_icon" "$work"
convert "$work"/icon-{16,24,32,48,64,256}.png src/app/catraca-sync.ico
identify src/app/catraca-sync.ico
