#!/usr/bin/env bash
# Builds zoripost and runs every test. Installs the Debian packages it needs first.
#   scripts/test.sh            the whole suite (build/), then the plain libraries' tests again
#                              under address and undefined-behaviour sanitizers
#                              (build-sanitize/), then the plain libraries, the command-line
#                              tools and their tests as Windows programs run under Wine
#                              (build-windows/)
#   scripts/test.sh --fast     the whole suite only
#   scripts/test.sh --windows  the Windows part only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
what=${1:-all}
started=$SECONDS
stage() { echo "== $1: $(($SECONDS - $2)) s"; }

if [ "$what" != --windows ]; then
  t=$SECONDS
  cmake --preset default -DZP_BUILD_TESTS=ON -DZP_BUILD_APP=ON >/dev/null
  cmake --build --preset default -j "$jobs"
  stage "Linux build" "$t"
  t=$SECONDS
  ctest --preset default -j "$jobs"
  stage "Linux tests" "$t"
fi

if [ "$what" = all ]; then
  # The readers of untrusted bytes (pictures, settings file, server replies) once more with
  # the sanitizers; the window is left out to keep the run short.
  t=$SECONDS
  cmake --preset sanitize -DZP_BUILD_TESTS=ON -DZP_BUILD_APP=OFF >/dev/null
  cmake --build --preset sanitize -j "$jobs"
  stage "sanitizer build" "$t"
  t=$SECONDS
  ctest --preset sanitize -j "$jobs"
  stage "sanitizer tests" "$t"
fi

if [ "$what" = all ] || [ "$what" = --windows ]; then
  # The same tables as Windows programs, under Wine in a Japanese locale, with one Wine prefix
  # made once for the run.
  ZP_JOBS=$jobs scripts/windows/build.sh
  t=$SECONDS
  export ZP_WINEPREFIX=${ZP_WINEPREFIX:-$PWD/build-windows/wine}
  scripts/windows/wine-run.sh --init
  stage "Wine prefix" "$t"
  t=$SECONDS
  status=0
  ctest --preset windows -j "$jobs" || status=$?
  scripts/windows/wine-run.sh --stop
  stage "Windows tests under Wine" "$t"
  [ "$status" -eq 0 ] || exit "$status"
fi
stage "everything" "$started"
