#!/usr/bin/env bash
# Runs a Windows program of the build under Wine as the tests need it: a Japanese locale (so that
# the ANSI code page is 932, as on the users' Windows), no display, no Wine chatter, and one
# prefix for the whole run ($ZP_WINEPREFIX, made on first use). The program's exit status is
# passed on.
#   scripts/windows/wine-run.sh program.exe [arguments...]
#   scripts/windows/wine-run.sh --init      only makes the prefix and starts its server
#   scripts/windows/wine-run.sh --stop      ends the prefix's server
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zoripost-wine-$(id -u)}
# Test programs start this build's other .exe programs through the same runner.
export ZP_WINE_RUN=$(readlink -f "$0")
unset DISPLAY WAYLAND_DISPLAY

init() {
  # One test at a time makes the prefix; the others wait for it.
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$wineserver" -w
  fi
  flock -u 9
}

case "${1:-}" in
--init)
  init
  # Kept running until --stop, so that each test does not start and stop its own server.
  "$wineserver" -p </dev/null >/dev/null 2>&1 || true # already running: kept as it is
  # Wine's own services come up now, apart from any caller's output: started by the first test
  # program, they would keep CTest's pipe of that test open until the end of the run.
  "$wine" wineboot </dev/null >/dev/null 2>&1 || true
  exit 0
  ;;
--stop)
  "$wineserver" -k 2>/dev/null || true
  exit 0
  ;;
esac
init
# The prefix's server, started here when none runs, apart from the caller's output: a server
# that a test program started would hold CTest's output pipe open after the test has ended.
"$wineserver" -p </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
