#!/usr/bin/env bash
# Cross-builds the platform layers' Windows files with their Qt-free checks
# (tests/platform) using MinGW-w64 and runs them under Wine, headless.
# Installs nothing: scripts/install-deps.sh provides the compiler and Wine.
# Fails when the build fails, a check fails, the run hangs or the summary
# line is missing (Wine that cannot start a program must not pass).
# Arguments are handed to the checks: one text runs only the cases whose name
# contains it.
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine || true)
if ! command -v "$CXX" >/dev/null || [ -z "$WINE" ]; then
  echo "wine-tests: $CXX or wine64 missing (run scripts/install-deps.sh)" >&2
  exit 1
fi
WINESERVER="$(dirname "$WINE")/wineserver"
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver || echo true)

OUT=${WINE_TESTS_DIR:-/tmp/catraca-wine-tests-$(id -u)}
mkdir -p "$OUT"
# One prefix per user, made once: wineboot takes most of a minute.
export WINEPREFIX=${WINEPREFIX:-/tmp/catraca-wineprefix-$(id -u)}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono/Gecko download prompts
# Headless whatever the caller's session: no window may wait for a click.
unset DISPLAY WAYLAND_DISPLAY

# Every Windows layer and every shared Qt-free unit under src, and every check.
mapfile -t sources < <(find src -name '*_win.cpp' -o -name '*_common.cpp' | sort)
mapfile -t checks < <(find tests/platform -name '*_checks.cpp' | sort)
mapfile -t headers < <(find src tests/platform -name '*.h' | sort)
# The program's resource script is linked in too, so its checks see the
# manifest and icon the program ships with.
RC=${MINGW_WINDRES:-x86_64-w64-mingw32-windres}
resources=(src/app/catraca-sync.rc src/app/catraca-sync.manifest src/app/catraca-sync.ico)
flags=(-std=c++20 -O1 -Wall -DUNICODE -D_UNICODE -DCATRACA_CHECK_RESOURCES -Isrc -Itests/platform)
libs=(-static -liphlpapi -lws2_32 -lwinmm -lshell32 -ladvapi32 -lversion)

# Rebuilt only when a file, the file list, the flags or the compiler changed.
stamp=$({ echo "$CXX ${flags[*]} ${libs[*]}"; "$CXX" --version | head -n1
          for f in tests/platform/check_main.cpp "${checks[@]}" "${sources[@]}" "${headers[@]}" "${resources[@]}"; do
            echo "$f"; cat "$f"; done; } | sha256sum | cut -d' ' -f1)
exe="$OUT/platform_checks.exe"
if [ -f "$exe" ] && [ "$(cat "$OUT/platform_checks.stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "wine-tests: platform_checks.exe is up to date"
else
  echo "wine-tests: building ${#sources[@]} units and ${#checks[@]} check files with $CXX"
  rm -f "$exe" "$OUT/platform_checks.stamp"
  "$RC" -DCATRACA_EMBED_MANIFEST -O coff -i src/app/catraca-sync.rc -o "$OUT/resources.o"
  "$CXX" "${flags[@]}" tests/platform/check_main.cpp "${checks[@]}" "${sources[@]}" "$OUT/resources.o" \
    -o "$exe" "${libs[@]}"
  echo "$stamp" >"$OUT/platform_checks.stamp"
fi

# The marker is written last, so an interrupted wineboot is started over.
if [ ! -f "$WINEPREFIX/.catraca-ready" ]; then
  echo "wine-tests: creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  timeout -k 10 300 "$WINE" wineboot --init >/dev/null 2>&1 || true
  timeout -k 10 60 "$WINESERVER" -w 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-tests: FAILED: wineboot did not create $WINEPREFIX" >&2
    exit 1
  fi
  touch "$WINEPREFIX/.catraca-ready"
fi

limit=${WINE_TESTS_TIMEOUT:-180}
log="$OUT/platform_checks.log"
set +e
(cd "$OUT" && timeout -k 10 "$limit" "$WINE" platform_checks.exe "$@" </dev/null) | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}
set -e
# Programs the checks opened through the shell may keep the server alive.
"$WINESERVER" -k 2>/dev/null || true

summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n1 || true)
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "wine-tests: FAILED: no end after ${limit} s" >&2
  status=1
elif [ -z "$summary" ] || [ "${summary%% *}" -eq 0 ]; then
  echo "wine-tests: FAILED: no check ran (exit code $status)" >&2
  status=1
elif [ "$status" -ne 0 ]; then
  echo "wine-tests: FAILED: $summary" >&2
else
  echo "wine-tests: OK: $summary"
fi
exit "$status"
