#!/usr/bin/env bash
# Regenerates docs/dialog-*.png and docs/controls.png: the message dialog of
# each kind and a sheet of themed controls, captured under a private Xvfb.
# Usage: scripts/uikit-screenshots.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target catraca_app >/dev/null
work=$(mktemp -d)
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -Isrc scripts/uikit_gallery.cpp \
  $(for l in app erp turnstile engine uikit system base; do echo "$build/src/libcatraca_$l.a"; done) \
  $(pkg-config --cflags --libs Qt6Widgets Qt6Network libmariadb) -lfbclient \
  $(pkg-config --libs libcanberra 2>/dev/null || true) -o "$work/uikit_gallery"

display=:78
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
sleep 1

capture() { # name, crop geometry, gallery arguments...
  local name=$1 crop=$2
  shift 2
  DISPLAY=$display "$work/uikit_gallery" "$@" &
  local pid=$!
  sleep 1.5
  import -display "$display" -window root "$work/full.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  convert-im6.q16 "$work/full.png" -crop "$crop" +repage "docs/$name.png"
}

names=(information question warning error warning-question)
for kind in 0 1 2 3 4; do
  capture "dialog-${names[$kind]}" 527x372+20+20 dialog "$kind"
done
capture controls 700x330+20+20 controls
ls -l docs/dialog-*.png docs/controls.png
