#!/usr/bin/env bash
# Installs what is missing, builds capsel with its tests in build-test/ and runs every test.
set -euo pipefail
CAPSEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$CAPSEL_ROOT/scripts/common.sh"

ensure_packages "${CAPSEL_BUILD_PACKAGES[@]}" "${CAPSEL_RUN_PACKAGES[@]}" "${CAPSEL_TEST_PACKAGES[@]}"
configure_and_build "$CAPSEL_ROOT/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cd "$CAPSEL_ROOT/build-test"
ctest --output-on-failure -j "$(nproc)"
