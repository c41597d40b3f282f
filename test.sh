#!/usr/bin/env bash
# Installs what is missing, builds capsel with its tests and benchmarks in build-test/ and runs
# every test; then builds again with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the tests there too, failing on any report; then runs each fuzz target
# for a while (CAPSEL_FUZZ_SECONDS, default 60; 0 skips fuzzing).
set -euo pipefail
CAPSEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$CAPSEL_ROOT/scripts/common.sh"

ensure_packages "${CAPSEL_BUILD_PACKAGES[@]}" "${CAPSEL_RUN_PACKAGES[@]}" "${CAPSEL_TEST_PACKAGES[@]}"
configure_and_build "$CAPSEL_ROOT/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd "$CAPSEL_ROOT/build-test" && ctest --output-on-failure -j "$(nproc)") | tee "$log"

echo "== The same tests with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build "$CAPSEL_ROOT/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAPSEL_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$CAPSEL_ROOT/tests/lsan.supp
# The window, crash and package tests and the two big loads need no second, slower run.
(cd "$CAPSEL_ROOT/build-asan" && ctest --output-on-failure -j "$(nproc)" \
  -E 'window_xvfb|package_deb|crash_consistency|Load\.|Hostile\.ADocumentOf200|Hostile\.AFileLarger') | tee -a "$log"

if [ "${CAPSEL_FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== Fuzzing"
  "$CAPSEL_ROOT/fuzz/run.sh" "${CAPSEL_FUZZ_SECONDS:-60}"
fi
# One closing line for the whole run: the tests of both builds.
passed=$(awk '/tests passed, 0 tests failed out of/ { n += $NF } END { print n + 0 }' "$log")
echo "capsel: ${passed:-0} passed, 0 failed"
