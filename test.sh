#!/usr/bin/env bash
# Installs what is missing, builds capsel with its tests and benchmarks in build-test/ and runs
# every test; then builds again with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the tests there too, failing on any report; then builds with
# ThreadSanitizer in build-tsan/ and runs the tests that involve the scan thread; then runs
# each fuzz target for a while (CAPSEL_FUZZ_SECONDS, default 40; 0 skips fuzzing).
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

echo "== The window's tests with ThreadSanitizer"
cmake -S "$CAPSEL_ROOT" -B "$CAPSEL_ROOT/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAPSEL_SANITIZE=thread
cmake --build "$CAPSEL_ROOT/build-tsan" -j "$(nproc)" --target capsel capsel_tests capsel_generate
# Qt and GLib are not built with the sanitizer: their own memory accesses are left out
# (ignore_noninstrumented_modules), capsel's are all checked.
export TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1"
# Only the tests where a second thread runs: the window's, and the real window without its load.
(cd "$CAPSEL_ROOT/build-tsan" && CAPSEL_WINDOW_LOAD=0 ctest --output-on-failure \
  -R 'WindowTest|ListSink|window_xvfb') | tee -a "$log"

if [ "${CAPSEL_FUZZ_SECONDS:-40}" != 0 ]; then
  echo "== Fuzzing"
  "$CAPSEL_ROOT/fuzz/run.sh" "${CAPSEL_FUZZ_SECONDS:-40}"
fi
# One closing line for the whole run: the tests of every build.
passed=$(awk '/tests passed, 0 tests failed out of/ { n += $NF } END { print n + 0 }' "$log")
echo "capsel: ${passed:-0} passed, 0 failed"
