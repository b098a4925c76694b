#!/usr/bin/env bash
# Builds zoripost and starts it. Installs the Debian packages it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset default -DZP_BUILD_TESTS=OFF -DZP_BUILD_APP=ON >/dev/null
cmake --build --preset default -j "$(nproc)" --target zoripost
exec build/app/zoripost "$@"
