#!/usr/bin/env bash
# Runs a Windows program of the build under Wine as the tests need it: a Japanese locale (so that
# the ANSI code page is 932, as on the users' Windows), no display, no Wine chatter, and one
# prefix for the whole run ($ZP_WINEPREFIX, made on first use). The program's exit status is
# passed on.
#   scripts/windows/wine-run.sh program.exe [arguments...]
#   scripts/windows/wine-run.sh --init      only makes the prefix and starts its server and services
#   scripts/windows/wine-run.sh --stop      ends the prefix's server
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zoripost-wine-$(id -u)}
# Test programs start this build's other .exe programs through the same runner.
export ZP_WINE_RUN=$(readlink -f "$0")
unset DISPLAY WAYLAND_DISPLAY

up() {
  # One caller at a time makes the prefix and starts its server; the others wait for it.
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    "$wineserver" -w
  fi
  # The server, and Wine's own services after it, are started here apart from the caller's
  # output: started by a program whose output is a pipe (CTest's for a test, ninja's for a
  # build step), they would hold that pipe open after the program has ended, and the caller
  # would wait for them for ever. The server stays until --stop, or a minute after its last
  # program when nobody stops it. An exit status of 0 means it was not running yet.
  if "$wineserver" -p60 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
  flock -u 9
  exec 9>&-
}

case "${1:-}" in
--init)
  up
  exit 0
  ;;
--stop)
  "$wineserver" -k 2>/dev/null || true
  exit 0
  ;;
esac
up
exec "$wine" "$@"
