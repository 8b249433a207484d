#!/usr/bin/env bash
# Runs every test: installs what is missing, builds, starts the private
# database servers, runs the Wine checks, the fuzz targets (scripts/fuzz.sh)
# and CTest, stops the servers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
export BUILD_DIR
scripts/build.sh
export CATRACA_SERVERS_DIR=${CATRACA_SERVERS_DIR:-$(mktemp -d /tmp/catraca-test-XXXXXX)}
if [ -x scripts/servers.sh ]; then
  trap 'scripts/servers.sh stop || true' EXIT
  scripts/servers.sh start
  # shellcheck disable=SC1091
  source "$CATRACA_SERVERS_DIR/env.sh"
fi
status=0
if [ -x scripts/wine-tests.sh ]; then
  scripts/wine-tests.sh || status=$?
fi
# The libFuzzer targets, built apart by clang; each runs a bounded time.
if [ -x scripts/fuzz.sh ]; then
  FUZZ_BUILD_DIR=${FUZZ_BUILD_DIR:-$BUILD_DIR/fuzz} scripts/fuzz.sh || status=$?
fi
ctest --test-dir "$BUILD_DIR" --output-on-failure -j 2 || status=$?
exit $status
