#!/usr/bin/env bash
# Builds zoripost and runs every test. Installs the Debian packages it needs first.
#   scripts/test.sh             normal build (build/) and the whole test suite
#   scripts/test.sh --sanitize  the same under address and undefined-behaviour sanitizers
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
preset=default
[ "${1:-}" = "--sanitize" ] && preset=sanitize
cmake --preset "$preset" -DZP_BUILD_TESTS=ON -DZP_BUILD_APP=ON >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" -j "$(nproc)"
