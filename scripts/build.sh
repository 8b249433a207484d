#!/usr/bin/env bash
# Configures and builds into ${BUILD_DIR:-build}: everything, or only the
# targets named (scripts/build.sh catraca-sync).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# A machine that built before (another checkout, an earlier CI run) compiles
# only what changed: paths below the checkout are hashed relative to it.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "${launcher[@]}" >/dev/null
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
cmake --build "$BUILD_DIR" -j "$(nproc)" "${targets[@]}"
