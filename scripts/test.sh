#!/usr/bin/env bash
# Installs what is needed, builds, starts the test domain and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 900
