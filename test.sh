#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files (scripts/format.sh), builds
# capsel with its tests and benchmarks in build-test/ and runs every test; then builds again
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs the tests that
# are not labelled slow there, failing on any report; then builds with ThreadSanitizer in
# build-tsan/ and runs the tests that involve the scan thread; then runs each fuzz target for a
# while (CAPSEL_FUZZ_SECONDS, default 40; 0 skips fuzzing). Ends with the lines of test code
# against product code, and fails when the tests exceed half the product.
set -euo pipefail
CAPSEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$CAPSEL_ROOT/scripts/common.sh"

ensure_packages "${CAPSEL_BUILD_PACKAGES[@]}" "${CAPSEL_RUN_PACKAGES[@]}" "${CAPSEL_TEST_PACKAGES[@]}"
"$CAPSEL_ROOT/scripts/format.sh"
# The package test packs this folder: its prefix must be the package's, also in a folder
# configured when the default prefix was /usr/local.
configure_and_build "$CAPSEL_ROOT/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd "$CAPSEL_ROOT/build-test" && ctest --output-on-failure -j "$(nproc)") | tee "$log"

echo "== The same tests with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build "$CAPSEL_ROOT/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAPSEL_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$CAPSEL_ROOT/tests/lsan.supp
# The slow tests need no second, slower run. The memory-limit test cannot run here: the
# sanitizers' shadow memory alone needs more address space than the limit it sets.
(cd "$CAPSEL_ROOT/build-asan" && ctest --output-on-failure -j "$(nproc)" -LE slow -E binary_memory) |
  tee -a "$log"

echo "== The window's tests with ThreadSanitizer"
cmake -S "$CAPSEL_ROOT" -B "$CAPSEL_ROOT/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAPSEL_SANITIZE=thread
cmake --build "$CAPSEL_ROOT/build-tsan" -j "$(nproc)" --target capsel capsel_tests capsel_generate
# Qt and GLib are not built with the sanitizer: their own memory accesses are left out
# (ignore_noninstrumented_modules), capsel's are all checked.
export TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1"
# Only the tests where a second thread runs, labelled threads: the window's, and the real window.
(cd "$CAPSEL_ROOT/build-tsan" && ctest --output-on-failure -L threads) | tee -a "$log"

if [ "${CAPSEL_FUZZ_SECONDS:-40}" != 0 ]; then
  echo "== Fuzzing"
  "$CAPSEL_ROOT/fuzz/run.sh" "${CAPSEL_FUZZ_SECONDS:-40}"
fi
# One closing line for the whole run: the tests of every build.
passed=$(awk '/tests passed, 0 tests failed out of/ { n += $NF } END { print n + 0 }' "$log")
echo "capsel: ${passed:-0} passed, 0 failed"
python3 "$CAPSEL_ROOT/scripts/test_ratio.py" "$CAPSEL_ROOT"
