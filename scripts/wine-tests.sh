#!/usr/bin/env bash
# Cross-builds the platform layers' Windows files with their Qt-free checks
# (tests/platform) using MinGW-w64 and runs them under Wine, headless.
# Installs nothing: scripts/install-deps.sh provides the compiler and Wine.
# Fails when the build fails or a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine || true)
if ! command -v "$CXX" >/dev/null || [ -z "$WINE" ]; then
  echo "wine-tests: $CXX or wine64 missing (run scripts/install-deps.sh)" >&2
  exit 1
fi

OUT=${WINE_TESTS_DIR:-/tmp/catraca-wine-tests}
mkdir -p "$OUT"
# One prefix per user, made once: wineboot takes a few seconds.
export WINEPREFIX=${WINEPREFIX:-/tmp/catraca-wineprefix-$(id -u)}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono/Gecko download prompts

# Every Windows layer and every shared Qt-free unit under src, and every check.
mapfile -t sources < <(find src -name '*_win.cpp' -o -name '*_common.cpp' | sort)
mapfile -t checks < <(find tests/platform -name '*_checks.cpp' | sort)

echo "wine-tests: building ${#sources[@]} units and ${#checks[@]} check files"
"$CXX" -std=c++20 -O1 -Wall -DUNICODE -D_UNICODE -Isrc -Itests/platform \
  tests/platform/check_main.cpp "${checks[@]}" "${sources[@]}" \
  -static -o "$OUT/platform_checks.exe" \
  -liphlpapi -lws2_32 -lwinmm -lshell32 -ladvapi32

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-tests: creating the Wine prefix $WINEPREFIX"
  timeout 300 "$WINE" wineboot --init >/dev/null 2>&1 || true
  timeout 60 "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
fi

status=0
(cd "$OUT" && timeout "${WINE_TESTS_TIMEOUT:-180}" "$WINE" platform_checks.exe "$@" </dev/null) || status=$?
# Programs the checks opened through the shell may keep the server alive.
"$(dirname "$WINE")/wineserver" -k 2>/dev/null || true
exit $status
