#!/usr/bin/env bash
# Configures and builds Arvendel into build/ (or $ARV_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
