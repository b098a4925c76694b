#!/usr/bin/env bash
# Builds zoripost and runs every test. Installs the Debian packages it needs first.
#   scripts/test.sh            the whole suite (build/), then the plain libraries' tests again
#                              under address and undefined-behaviour sanitizers
#                              (build-sanitize/), then the plain libraries, the command-line
#                              tools and their tests as Windows programs run under Wine
#                              (build-windows/), and the window from its installer on a
#                              virtual X server when Qt for Windows is built
#                              (scripts/windows/test-window.sh)
#   scripts/test.sh --fast     the whole suite only
#   scripts/test.sh --windows  the Windows part only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
export QT_QPA_PLATFORM=offscreen
# A compiler cache kept from an earlier run serves a checkout in another folder too.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
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
  # made once for the run (the build draws the program icon under Wine in it too).
  export ZP_WINEPREFIX=${ZP_WINEPREFIX:-$PWD/build-windows/wine}
  ZP_JOBS=$jobs scripts/windows/build.sh
  t=$SECONDS
  scripts/windows/wine-run.sh --init
  stage "Wine prefix" "$t"
  t=$SECONDS
  status=0
  ctest --preset windows -j "$jobs" || status=$?
  scripts/windows/wine-run.sh --stop
  stage "Windows tests under Wine" "$t"
  # The window itself, installed from the installer and driven on a virtual X server; it
  # needs Qt for Windows, which only scripts/windows/build-qt.sh builds.
  if [ -f "$(scripts/windows/build-qt.sh --prefix)/.complete" ]; then
    t=$SECONDS
    scripts/windows/test-window.sh || status=$?
    stage "Windows window under Wine" "$t"
  else
    echo "== Windows window test skipped: Qt for Windows is not built" \
      "(scripts/windows/build-qt.sh, about 25 minutes)"
  fi
  [ "$status" -eq 0 ] || exit "$status"
fi
stage "everything" "$started"
