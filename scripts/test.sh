#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, cross-builds the Windows
# program and its setup (its Qt and Connector/C are built once per machine
# into a cache, 40-60 min the first time), starts the private database
# servers, runs the Windows checks under Wine with the fuzz targets
# (scripts/fuzz.sh) beside them, then CTest, stops the servers. A Windows
# step that cannot run fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
export BUILD_DIR
scripts/build.sh
status=0
windows_started=$(date +%s)
windows_built=1
if ! scripts/win-build.sh; then
  echo "test: FAILED: the Windows program could not be built (scripts/win-build.sh)" >&2
  status=1
  windows_built=0
fi
# ---- begin: the laid-out folder needs nothing newer than Windows 10
scripts/check-win-imports.sh --self-test || status=1
if [ "$windows_built" -eq 1 ]; then
  scripts/check-win-imports.sh "${WIN_BUILD_DIR:-build-win}/install" || status=1
fi
# ---- end: the laid-out folder needs nothing newer than Windows 10
windows_seconds=$(( $(date +%s) - windows_started ))
export CATRACA_SERVERS_DIR=${CATRACA_SERVERS_DIR:-$(mktemp -d /tmp/catraca-test-XXXXXX)}
if [ -x scripts/servers.sh ]; then
  trap 'scripts/servers.sh stop || true' EXIT
  scripts/servers.sh start
  # shellcheck disable=SC1091
  source "$CATRACA_SERVERS_DIR/env.sh"
fi
# The libFuzzer targets, built apart by clang, each running a bounded time
# (20 s here; 30 s when scripts/fuzz.sh runs alone): they keep one core busy
# beside the Wine checks, which mostly wait on windows and servers. Niced, so
# the checks' own work comes first; their report follows the Windows part's.
fuzz_pid=
if [ -x scripts/fuzz.sh ]; then
  fuzz_log=$(mktemp /tmp/catraca-fuzz-XXXXXX.log)
  FUZZ_SECONDS=${FUZZ_SECONDS:-20} FUZZ_BUILD_DIR=${FUZZ_BUILD_DIR:-$BUILD_DIR/fuzz} \
    nice -n 10 scripts/fuzz.sh >"$fuzz_log" 2>&1 &
  fuzz_pid=$!
fi
windows_started=$(date +%s)
if [ "$windows_built" -eq 1 ]; then
  WINE_QT_TESTS=required scripts/wine-tests.sh || status=$?
  scripts/wine-setup-tests.sh || status=$?
  scripts/wine-app-tests.sh || status=$?
else
  # The Qt-free layers need no Windows Qt.
  scripts/wine-tests.sh || status=$?
fi
windows_seconds=$(( windows_seconds + $(date +%s) - windows_started ))
echo "test: the Windows part took $((windows_seconds / 60)) min $((windows_seconds % 60)) s"
if [ -n "$fuzz_pid" ]; then
  fuzz_started=$(date +%s)
  wait "$fuzz_pid" || status=$?
  cat "$fuzz_log"
  rm -f "$fuzz_log"
  echo "test: the fuzz targets ended $(( $(date +%s) - fuzz_started )) s after the Windows part"
fi
ctest --test-dir "$BUILD_DIR" --output-on-failure -j 2 || status=$?
exit $status
