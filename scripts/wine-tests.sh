#!/usr/bin/env bash
# Cross-builds the platform layers' Windows files with their Qt-free checks
# (tests/platform) using MinGW-w64 and runs them under Wine, headless; then
# runs the Qt unit tests that scripts/win-build.sh cross-built, if any.
# Installs nothing: scripts/install-deps.sh provides the compiler and Wine.
# Fails when the build fails, a check fails, the run hangs or the summary
# line is missing (Wine that cannot start a program must not pass).
# Arguments are handed to the checks: one text runs only the cases whose name
# contains it.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/wine-env.sh
CXX=$MINGW_CXX

OUT=${WINE_TESTS_DIR:-/tmp/catraca-wine-tests-$(id -u)}
mkdir -p "$OUT"
# Never on the caller's screen: headless, or on a private Xvfb display where
# a check needs a window (the end-of-session messages go to one).
unset DISPLAY WAYLAND_DISPLAY
xvfb=
display=
stop_xvfb() { [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true; }
trap stop_xvfb EXIT
start_xvfb() {
  [ -z "$xvfb" ] || return 0
  display=$(free_display)
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 40); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.25; done
  echo "wine-tests: no Xvfb display" >&2
}

# Every Windows layer and every shared Qt-free unit under src, and every check.
mapfile -t sources < <(find src -name '*_win.cpp' -o -name '*_common.cpp' | sort)
mapfile -t checks < <(find tests/platform -name '*_checks.cpp' | sort)
mapfile -t headers < <(find src tests/platform -name '*.h' | sort)
# The program's resource script is linked in too, so its checks see the
# manifest and icon the program ships with.
RC=${MINGW_WINDRES:-x86_64-w64-mingw32-windres}
resources=(src/app/catraca-sync.rc src/app/catraca-sync.manifest src/app/catraca-sync.ico)
flags=(-std=c++20 -O1 -Wall -DUNICODE -D_UNICODE -DCATRACA_CHECK_RESOURCES -Isrc -Itests/platform -I"$WINE_INCLUDE")
libs=(-static -liphlpapi -lws2_32 -lwinmm -lshell32 -ladvapi32 -lversion)

# Rebuilt only when a file, the file list, the flags or the compiler changed.
stamp=$({ echo "$CXX ${flags[*]} ${libs[*]}"; "$CXX" --version | head -n1
          for f in scripts/wine-env.sh tests/platform/check_main.cpp tests/wine/fbclient_stand_in.cpp "${checks[@]}" "${sources[@]}" "${headers[@]}" "${resources[@]}"; do
            echo "$f"; cat "$f"; done; } | sha256sum | cut -d' ' -f1)
exe="$OUT/platform_checks.exe"
if [ -f "$exe" ] && [ "$(cat "$OUT/platform_checks.stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "wine-tests: platform_checks.exe is up to date"
else
  echo "wine-tests: building ${#sources[@]} units and ${#checks[@]} check files with $CXX"
  rm -f "$exe" "$OUT/platform_checks.stamp"
  # The Firebird checks load it beside the checks under a name of its own.
  "$CXX" "${flags[@]}" -shared tests/wine/fbclient_stand_in.cpp -o "$OUT/fbclient-stand-in.dll" \
    -static -Wl,--exclude-libs,ALL
  wine_unusable_fbclients "$OUT"
  "$RC" -DCATRACA_EMBED_MANIFEST -O coff -i src/app/catraca-sync.rc -o "$OUT/resources.o"
  "$CXX" "${flags[@]}" tests/platform/check_main.cpp "${checks[@]}" "${sources[@]}" "$OUT/resources.o" \
    -o "$exe" "${libs[@]}"
  echo "$stamp" >"$OUT/platform_checks.stamp"
fi

wine_prefix_ready

limit=${WINE_TESTS_TIMEOUT:-180}
log="$OUT/platform_checks.log"
set +e
start_xvfb
(cd "$OUT" && DISPLAY=$display timeout -k 10 "$limit" "$WINE" platform_checks.exe "$@" </dev/null) | tr -d '\r' | tee "$log"
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

# The Qt unit tests that need no database server, cross-built by
# scripts/win-build.sh; WINE_QT_TESTS=required makes their absence a failure.
qt_tests=${WIN_BUILD_DIR:-build-win}/wine-tests
if [ ! -f "$qt_tests/tests.txt" ]; then
  if [ "${WINE_QT_TESTS:-}" = required ]; then
    echo "wine-tests: FAILED: no cross-built Qt tests in $qt_tests (scripts/win-build.sh)" >&2
    exit 1
  fi
  echo "wine-tests: no cross-built Qt tests in $qt_tests (scripts/win-build.sh makes them)"
  exit "$status"
fi
[ $# -eq 0 ] || exit "$status"
winepath_of() { echo "Z:$(echo "$1" | tr / '\\')"; }
fixtures=$(winepath_of "$(pwd -P)/tests/fixtures")
# The test of the texts' room measures with the faces the program draws with:
# on Windows the offscreen platform has FreeType and Qt's own font folder
# instead, so it runs on the Windows platform, on a private Xvfb display,
# with the prefix's stand-ins for Arial and Tahoma.
windows_platform='^tst_texts_fit$'
wine_design_fonts
# The echo tests need this machine's loopback to answer ICMP. Twice a CI
# machine's stopped answering under Wine after the first few requests, and
# the program then took minutes to end: a short limit, one fresh run, and a
# native look at the loopback tell a fault of ours from the machine's.
echo_test='^tst_pingsend$'
loopback_is_silent() { # only when the Linux build's own probe gets no answer either
  local native=${BUILD_DIR:-build}/tests/tst_pingsend
  [ -x "$native" ] || return 1
  ! QT_QPA_PLATFORM=offscreen timeout -k 5 30 "$native" loopbackAnswers:ipv4 >"$OUT/native_echo.log" 2>&1
}
qt_failed=()
qt_started=$(date +%s)
# QtTest's report goes to a file: Wine hands a Windows program's standard
# output to a Unix pipe unreliably.
run_qt_test() { # name limit platform-arguments...
  local name=$1 limit=$2
  shift 2
  rm -f "$OUT/$name.txt"
  (cd "$qt_tests" && env CATRACA_FIXTURES="$fixtures" ${run_display:+DISPLAY=$run_display} \
     timeout -k 10 "$limit" "$WINE" "$name.exe" "$@" -o "$(winepath_of "$OUT/$name.txt"),txt" </dev/null >"$OUT/$name.log" 2>&1)
}
qt_totals() { tr -d '\r' <"$OUT/$1.txt" 2>/dev/null | grep -E '^Totals: ' | tail -n1 || true; }
while read -r name; do
  [ -n "$name" ] || continue
  set +e
  # Wine does not hand QT_QPA_PLATFORM on: the platform goes as an argument,
  # which only a test with a QApplication (QTEST_MAIN) takes.
  platform=()
  grep -qs 'QTEST_MAIN' tests/*/"$name.cpp" && platform=(-platform offscreen)
  run_display=
  if [[ $name =~ $windows_platform ]]; then
    start_xvfb
    platform=(-platform windows)
    run_display=$display
    # Wine's desktop takes the display of the program that starts it.
    "$WINESERVER" -k 2>/dev/null || true
  fi
  started=$(date +%s)
  limit=300
  [[ $name =~ $echo_test ]] && limit=60
  run_qt_test "$name" "$limit" "${platform[@]}"
  result=$?
  [ -z "$run_display" ] || "$WINESERVER" -k 2>/dev/null || true
  totals=$(qt_totals "$name")
  if [[ $name =~ $echo_test ]] && { [ "$result" -ne 0 ] || [ -z "$totals" ]; }; then
    echo "wine-tests: $name failed (exit code $result) ${totals:-no totals}; its failures:" >&2
    tr -d '\r' <"$OUT/$name.txt" 2>/dev/null | grep -E '^FAIL!' | head -n 8 >&2 || true
    echo "wine-tests: $name once more, with a fresh Wine server" >&2
    "$WINESERVER" -k 2>/dev/null || true
    run_qt_test "$name" "$limit" "${platform[@]}"
    result=$?
    totals=$(qt_totals "$name")
    if { [ "$result" -ne 0 ] || [ -z "$totals" ]; } && loopback_is_silent; then
      echo "wine-tests: SKIPPED: $name: this machine's loopback does not answer ICMP echo now, natively either ($OUT/native_echo.log)" >&2
      tr -d '\r' <"$OUT/native_echo.log" | grep -E '^(FAIL!|Totals)' >&2 || true
      "$WINESERVER" -k 2>/dev/null || true
      set -e
      continue
    fi
  fi
  set -e
  if [ "$result" -ne 0 ] || [ -z "$totals" ]; then
    qt_failed+=("$name")
    echo "wine-tests: FAILED: $name (exit code $result) ${totals:-no totals}" >&2
    tr -d '\r' <"$OUT/$name.txt" 2>/dev/null | grep -E '^(FAIL!|   Loc:|QFATAL)' -A2 | head -n 20 >&2 || true
    tail -n 5 "$OUT/$name.log" >&2 || true
  else
    echo "wine-tests: $name: $totals ($(( $(date +%s) - started )) s)"
  fi
done <"$qt_tests/tests.txt"
"$WINESERVER" -k 2>/dev/null || true
stop_xvfb
if [ ${#qt_failed[@]} -gt 0 ]; then
  echo "wine-tests: FAILED: ${#qt_failed[@]} Qt test programs under Wine: ${qt_failed[*]}" >&2
  status=1
else
  echo "wine-tests: OK: $(grep -c . "$qt_tests/tests.txt") Qt test programs under Wine in $(( $(date +%s) - qt_started )) s"
fi
exit "$status"
