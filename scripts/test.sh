#!/usr/bin/env bash
# Runs every test: checks the layers of src/, installs what is missing,
# builds, starts the private database servers, runs CTest, cross-builds the
# Windows program and its setup (its Qt and Connector/C are built once per
# machine into a cache, 12 to 30 min the first time, beside the native build and
# CTest), runs the Windows checks under Wine with the fuzz targets
# (scripts/fuzz.sh) beside them, stops the servers. A Windows step that
# cannot run fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
# ---- begin: what this run puts in /tmp goes into one folder, removed at the end
run_tmp=$(mktemp -d /tmp/catraca-test-XXXXXX)
trap 'rm -rf "$run_tmp"' EXIT
touch "$run_tmp/started"
export TMPDIR=$run_tmp WINE_APP_DIR=${WINE_APP_DIR:-$run_tmp/wine-app} WINE_E2E_DIR=${WINE_E2E_DIR:-$run_tmp/wine-e2e}
# The Firebird client keeps its lock and trace files in /tmp/firebird unless
# told otherwise.
export FIREBIRD_LOCK=${FIREBIRD_LOCK:-$run_tmp/firebird}
# ---- end: what this run puts in /tmp
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
export BUILD_DIR
status=0
# CI shows only the end of what a run printed: the parts that failed are
# named again on the last lines.
failed=()
fail() { failed+=("$1"); status=1; }
# The folders of src/ are layers that include only downward.
scripts/check-layers.sh || fail "the layers of src/ (scripts/check-layers.sh)"
run_started=$(date +%s)
elapsed() { local s=$(( $(date +%s) - $1 )); echo "$((s / 60)) min $((s % 60)) s"; }
# On a fresh machine Qt for Windows is most of the run: it starts at once, at
# the lowest priority, so that it uses what the native build and CTest, which
# mostly wait on servers and timers, leave of the processors. With its cache
# complete it ends at once.
win_deps_log=$(mktemp /tmp/catraca-win-deps-XXXXXX.log)
scripts/win-deps.sh >"$win_deps_log" 2>&1 &
win_deps_pid=$!
export CATRACA_SERVERS_DIR=${CATRACA_SERVERS_DIR:-$run_tmp/servers}
# The tests on the servers take turns on them. Two of the longest, tst_faults
# and the end-to-end suite on the window program (about 4 min together), get
# a second pair of their own, ten ports up, so that they run beside the others.
faults_servers=$CATRACA_SERVERS_DIR-faults
stop_servers() {
  scripts/servers.sh stop || true
  CATRACA_SERVERS_DIR=$faults_servers scripts/servers.sh stop || true
}
cleanup() {
  kill "$win_deps_pid" ${fuzz_pid:-} 2>/dev/null || true
  [ ! -x scripts/servers.sh ] || stop_servers
  # The logs, the servers' state (unless the caller chose its folder), what
  # the tests left in TMPDIR, and the instance locks of the installation
  # folders they made (in /tmp whatever TMPDIR says) that nobody holds now.
  rm -f "$win_deps_log" "${faults_log:-}" "${fuzz_log:-}"
  find /tmp -maxdepth 1 -name 'catraca-sync-*.lock' -newer "$run_tmp/started" \
    -exec flock -n {} rm -f {} \; 2>/dev/null || true
  rm -rf "$run_tmp"
}
trap cleanup EXIT
scripts/build.sh
# ---- begin: every command the README shows, against a demo of its own
# Before the test servers start: a newcomer's machine has no Firebird on the
# default port, and the README's database tests count on that.
scripts/check-readme-commands.sh || fail "the README's commands (scripts/check-readme-commands.sh)"
# ---- end: every command the README shows
if [ -x scripts/servers.sh ]; then
  CATRACA_SERVERS_DIR=$faults_servers CATRACA_FB_PORT=$(( ${CATRACA_FB_PORT:-3050} + 10 )) \
    CATRACA_MYSQL_PORT=$(( ${CATRACA_MYSQL_PORT:-3307} + 10 )) scripts/servers.sh start
  scripts/servers.sh start
  # shellcheck disable=SC1091
  source "$CATRACA_SERVERS_DIR/env.sh"
fi
second_pair='^app/tst_(faults|end_to_end)$'
faults_log=$(mktemp /tmp/catraca-faults-XXXXXX.log)
(
  # shellcheck disable=SC1091
  [ ! -f "$faults_servers/env.sh" ] || source "$faults_servers/env.sh"
  ctest --test-dir "$BUILD_DIR" --output-on-failure -R "$second_pair"
) >"$faults_log" 2>&1 &
faults_pid=$!
ctest --test-dir "$BUILD_DIR" --output-on-failure -j 2 -E "$second_pair" || fail "CTest (see its list of failed tests above)"
wait "$faults_pid" || fail "CTest on the second pair of servers (tst_faults, tst_end_to_end)"
cat "$faults_log"
rm -f "$faults_log"
echo "test: the native build and CTest ended $(elapsed "$run_started") after the start"
# The libFuzzer targets, built apart by clang, each running a bounded time
# (20 s here; 30 s when scripts/fuzz.sh runs alone): they keep one core busy
# beside the rest of the Qt build on a fresh machine, or beside the Wine
# checks, which mostly wait on windows and servers. Niced, so the checks' own
# work comes first; their report follows the Windows part's.
fuzz_pid=
if [ -x scripts/fuzz.sh ]; then
  fuzz_log=$(mktemp /tmp/catraca-fuzz-XXXXXX.log)
  FUZZ_SECONDS=${FUZZ_SECONDS:-20} FUZZ_BUILD_DIR=${FUZZ_BUILD_DIR:-$BUILD_DIR/fuzz} \
    nice -n 10 scripts/fuzz.sh >"$fuzz_log" 2>&1 &
  fuzz_pid=$!
fi
windows_started=$(date +%s)
windows_built=1
if ! wait "$win_deps_pid"; then
  echo "test: FAILED: Qt or Connector/C for Windows could not be built (scripts/win-deps.sh):" >&2
  fail "Qt or Connector/C for Windows (scripts/win-deps.sh)"
  windows_built=0
fi
cat "$win_deps_log"
rm -f "$win_deps_log"
echo "test: the Windows dependencies were ready $(elapsed "$run_started") after the start"
if [ "$windows_built" -eq 1 ] && ! scripts/win-build.sh; then
  echo "test: FAILED: the Windows program could not be built (scripts/win-build.sh)" >&2
  fail "the Windows build (scripts/win-build.sh)"
  windows_built=0
fi
# ---- begin: the laid-out folder needs nothing newer than Windows 10
scripts/check-win-imports.sh --self-test || fail "scripts/check-win-imports.sh --self-test"
if [ "$windows_built" -eq 1 ]; then
  scripts/check-win-imports.sh "${WIN_BUILD_DIR:-build-win}/install" || fail "the Windows imports (scripts/check-win-imports.sh)"
fi
# ---- end: the laid-out folder needs nothing newer than Windows 10
if [ "$windows_built" -eq 1 ]; then
  WINE_QT_TESTS=required scripts/wine-tests.sh || fail "scripts/wine-tests.sh"
  scripts/wine-setup-tests.sh || fail "scripts/wine-setup-tests.sh"
  scripts/wine-app-tests.sh || fail "scripts/wine-app-tests.sh"
  # The end-to-end suite CTest ran against the Linux build, now against the
  # Windows program its setup installed, on the first pair of servers.
  e2e_started=$(date +%s)
  scripts/wine-e2e-tests.sh || fail "scripts/wine-e2e-tests.sh"
  echo "test: the end-to-end suite under Wine took $(elapsed "$e2e_started")"
else
  # The Qt-free layers need no Windows Qt.
  scripts/wine-tests.sh || fail "scripts/wine-tests.sh"
fi
echo "test: the Windows part took $(elapsed "$windows_started") after CTest (a wait for Qt included)"
if [ -n "$fuzz_pid" ]; then
  fuzz_started=$(date +%s)
  wait "$fuzz_pid" || fail "the fuzz targets (scripts/fuzz.sh)"
  cat "$fuzz_log"
  rm -f "$fuzz_log"
  echo "test: the fuzz targets ended $(( $(date +%s) - fuzz_started )) s after the Windows part"
fi
echo "test: all done in $(elapsed "$run_started")"
if [ "${#failed[@]}" -gt 0 ]; then
  printf 'test: FAILED: %s\n' "${failed[@]}" >&2
else
  echo "test: every part passed"
fi
exit $status
