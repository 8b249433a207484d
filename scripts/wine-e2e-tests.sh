#!/usr/bin/env bash
# Runs the end-to-end suite (tests/app/tst_end_to_end.cpp, the same cases the
# Linux build passes in CTest) against the Windows program under Wine: the
# setup (scripts/win-build.sh) installs it silently into an ERP's folder in a
# prefix set to Windows 10, the Firebird bridge (tests/wine) goes beside it
# as fbclient.dll, and the suite, built natively, starts it from there beside
# the private servers, each reached through the fault proxy. Loopback only.
# Needs: the servers' env.sh sourced, the native build (${BUILD_DIR:-build})
# with tst_end_to_end and fault_proxy, Xvfb.
# Arguments go to the suite: a case's name runs only that case.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${WIN_BUILD_DIR:-build-win}
NATIVE=${BUILD_DIR:-build}
: "${CATRACA_FB_DATABASE:?source the private servers env.sh first (scripts/servers.sh start)}"
setup=$(realpath "$BUILD/catraca-sync-setup.exe" 2>/dev/null || true)
[ -f "$setup" ] || { echo "wine-e2e-tests: FAILED: no $BUILD/catraca-sync-setup.exe (run scripts/win-build.sh)" >&2; exit 1; }
for t in tst_end_to_end fault_proxy; do
  [ -x "$NATIVE/tests/$t" ] || { echo "wine-e2e-tests: FAILED: no $NATIVE/tests/$t (run scripts/build.sh)" >&2; exit 1; }
done
source scripts/wine-env.sh
started=$(date +%s)
OUT=${WINE_E2E_DIR:-/tmp/catraca-wine-e2e-$(id -u)}
rm -rf "$OUT/app"
mkdir -p "$OUT/app"
wine_prefix_ready
# The Windows the shops run, for the setup and the program alike.
"$WINE" winecfg -v win10 >/dev/null 2>&1
wine_fbclient_bridge "$OUT/bridge"

unset DISPLAY WAYLAND_DISPLAY
display=$(free_display)
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# The program's windows are not handed to a window manager: there is none on
# this display, and winex11 would wait up to 2 s for one to confirm each
# window it hides, which a Windows desktop never does (the end of the
# session closes the window that a second start has brought forward). The
# other Wine checks want managed windows: the setting goes at the end.
desktop_key='HKCU\Software\Wine\AppDefaults\catraca-sync.exe\X11 Driver'
cleanup() {
  "$WINE" reg delete "$desktop_key" /f >/dev/null 2>&1 || true
  "$WINESERVER" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 40); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.25; done
"$WINE" reg add "$desktop_key" /v Managed /d N /f >/dev/null 2>&1

# An ERP's folder (the setup asks for its settings file; the suite writes
# the real ones), the program put there by the setup, the bridge beside it:
# the setup's bitness check would refuse the ELF bridge, as it is meant to.
app=$OUT/app
printf '[IBCONFIG]\r\nIP=127.0.0.1\r\n' >"$app/norvacomercio.ini"
status=0
timeout -k 5 120 "$WINE" "$setup" /S /INICIAR=NAO "/D=Z:${app//\//\\}" >/dev/null 2>&1 </dev/null || status=$?
if [ "$status" -ne 0 ] || [ ! -f "$app/catraca-sync.exe" ]; then
  echo "wine-e2e-tests: FAILED: the setup did not install into $app (status $status)" >&2
  exit 1
fi
cp "$OUT/bridge/fbclient.dll" "$app/fbclient.dll"
echo "wine-e2e-tests: installed by the setup in $(( $(date +%s) - started )) s"

set +e
env CATRACA_E2E_PROGRAM=windows CATRACA_E2E_WINDOWS_FOLDER="$app" CATRACA_E2E_WINE="$WINE" \
  CATRACA_FAULT_PROXY="$(realpath "$NATIVE/tests/fault_proxy")" \
  timeout -k 10 900 "$NATIVE/tests/tst_end_to_end" "$@" 2>&1 | tee "$OUT/suite.log"
status=${PIPESTATUS[0]}
set -e
# A suite that skipped its cases must not pass.
cases=$(grep -cE '^PASS   : TestEndToEnd::[A-Za-z]+\(windows\)$' "$OUT/suite.log" || true)
if ! grep -qE '^Totals: [0-9]+ passed, 0 failed' "$OUT/suite.log" || [ "$cases" -lt 10 ]; then
  [ "$status" -ne 0 ] || status=1
fi
if [ "$status" -ne 0 ]; then
  echo "wine-e2e-tests: FAILED: the suite against the Windows program (status $status); its log:" >&2
  tail -n 30 "$app/catraca-sync.log" >&2 2>/dev/null || true
  exit 1
fi
echo "wine-e2e-tests: OK: the suite against the Windows program in $(( $(date +%s) - started )) s"
