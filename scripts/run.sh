#!/usr/bin/env bash
# Runs the program: installs what is missing, builds and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec "${BUILD_DIR:-build}/src/catraca-sync" "$@"
