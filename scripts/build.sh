#!/usr/bin/env bash
# Configures and builds Arvendel into build/ (or $ARV_BUILD_DIR).
# Arguments: cmake options (-D...) and, after "--", the targets to build (default: all).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
opts=() targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
  opts+=("$1"); shift
done
# A compiler cache, where the machine has one, makes repeated builds (and the sanitizer build
# of the same sources' unchanged parts) cheaper; nothing depends on it.
if command -v ccache >/dev/null 2>&1; then
  opts=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${opts[@]}")
fi
cmake -S "$top" -B "$build" -G Ninja "${opts[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$build" -j "$(nproc)"
fi
