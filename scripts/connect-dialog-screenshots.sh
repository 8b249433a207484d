#!/usr/bin/env bash
# Regenerates docs/connect-dialog-collapsed.png and
# docs/connect-dialog-expanded.png: the ERP connection dialog with its advanced
# area closed and open, captured under a private Xvfb (no window manager, so
# the images show the client area only); and docs/connect-dialog-150.png, the
# open dialog where the program places it on a 1366 x 768 screen scaled to
# 150 % (QT_SCALE_FACTOR; the whole screen is the work area there).
# Usage: scripts/connect-dialog-screenshots.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target catraca_app >/dev/null
work=$(mktemp -d)
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -Isrc scripts/connect_dialog_gallery.cpp \
  $(for l in app erp turnstile engine uikit system base; do echo "$build/src/libcatraca_$l.a"; done) \
  $(pkg-config --cflags --libs Qt6Widgets Qt6Network libmariadb) -lfbclient \
  $(pkg-config --libs libcanberra 2>/dev/null || true) -o "$work/connect_dialog_gallery"

display=${SCREENSHOT_DISPLAY:-:79}
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

capture() { # state, client height
  DISPLAY=$display "$work/connect_dialog_gallery" "$1" &
  local pid=$!
  sleep 1.5
  import -display "$display" -window root "$work/full.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  convert-im6.q16 "$work/full.png" -crop "508x$2+20+20" +repage "docs/connect-dialog-$1.png"
}

capture collapsed 332
capture expanded 505
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp &
xvfb=$!
sleep 1
DISPLAY=$display QT_SCALE_FACTOR=1.5 "$work/connect_dialog_gallery" expanded placed &
pid=$!
sleep 1.5
import -display "$display" -window root docs/connect-dialog-150.png
kill "$pid"
wait "$pid" 2>/dev/null || true
ls -l docs/connect-dialog-*.png
