#!/usr/bin/env bash
# Configures and builds into build/ (override with BUILD_DIR): everything, or
# only the targets named as arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
# ccache, where it is installed, makes rebuilds in other checkouts cheap.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "${LAUNCHER[@]}" ${CMAKE_ARGS:-} >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$BUILD_DIR" -j2 --target "$@"
else
    cmake --build "$BUILD_DIR" -j2
fi
