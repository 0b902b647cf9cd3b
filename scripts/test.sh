#!/usr/bin/env bash
# Installs what is needed, builds, starts the test domain and runs every test. Then builds the
# unit and directory integration tests again with AddressSanitizer and UndefinedBehaviorSanitizer
# (-DARV_SANITIZE=ON, in $ARV_SANITIZE_BUILD_DIR, default <build dir>-asan) and runs them against
# the same test domain; ARV_SANITIZE=0 skips that second run. Prints how long each part took.
# Arguments are passed to the first build (cmake options, see scripts/build.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ARV_BUILD_DIR:-$top/build}
asan=${ARV_SANITIZE_BUILD_DIR:-$build-asan}
started=$(date +%s)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh" "$@"
status=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)" --timeout 900) || status=$?
main_done=$(date +%s)

if [ "${ARV_SANITIZE:-1}" != 0 ]; then
  # The same test domain as the first run (the fixture starts it again on its address).
  cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
  ARV_BUILD_DIR="$asan" bash "$top/scripts/build.sh" -DARV_SANITIZE=ON -DARV_BUILD_BENCH=OFF \
    "-DARV_TEST_KINDS=unit;integration" "-DARV_TEST_DOMAIN_DIR=$(cache ARV_TEST_DOMAIN_DIR)" \
    "-DARV_TEST_DOMAIN_ADDR=$(cache ARV_TEST_DOMAIN_ADDR)"
  # Whole stacks, so that the one named suppression (the SASL GSSAPI plugin's leak) can match.
  export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:strict_string_checks=1:detect_stack_use_after_return=1
  export LSAN_OPTIONS=suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd "$asan" && ctest --output-on-failure -j "$(nproc)" --timeout 1800) || status=$?
fi
finished=$(date +%s)
echo "scripts/test.sh: tests $((main_done - started)) s (with install and build)," \
     "sanitizer build and tests $((finished - main_done)) s, total $((finished - started)) s"
exit $status
