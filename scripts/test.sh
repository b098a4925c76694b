#!/usr/bin/env bash
# Builds zoripost and runs every test. Installs the Debian packages it needs first.
#   scripts/test.sh          the whole suite (build/), then the plain libraries' tests again
#                            under address and undefined-behaviour sanitizers (build-sanitize/)
#   scripts/test.sh --fast   the whole suite only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake --preset default -DZP_BUILD_TESTS=ON -DZP_BUILD_APP=ON >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

if [ "${1:-}" != "--fast" ]; then
  # The readers of untrusted bytes (pictures, settings file, server replies) once more with
  # the sanitizers; the window is left out to keep the run short.
  cmake --preset sanitize -DZP_BUILD_TESTS=ON -DZP_BUILD_APP=OFF >/dev/null
  cmake --build --preset sanitize -j "$jobs"
  ctest --preset sanitize -j "$jobs" -LE windows
fi
