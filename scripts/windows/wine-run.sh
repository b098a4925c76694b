#!/usr/bin/env bash
# Runs a Windows program of the build under Wine as the tests need it: a Japanese locale (so that
# the ANSI code page is 932, as on the users' Windows), no display, no Wine chatter, and one
# prefix for the whole run ($ZP_WINEPREFIX, made on first use). The program's exit status is
# passed on.
#   scripts/windows/wine-run.sh program.exe [arguments...]
#   scripts/windows/wine-run.sh --init      only makes the prefix and starts its server
#   scripts/windows/wine-run.sh --stop      ends the prefix's server
set -euo pipefail
wine=${ZP_WINE:-/usr/lib/wine/wine64}
export WINEPREFIX=${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zoripost-wine-$(id -u)}
export WINEDEBUG=-all
# Test programs start this build's other .exe programs through the same runner.
export ZP_WINE_RUN=$(readlink -f "$0")
export WINEARCH=win64
# Wine asks for no desktop integration or Mono/Gecko installers in a test prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset DISPLAY WAYLAND_DISPLAY
server=${wine%/*}/wineserver
[ -x "$server" ] || server=$(command -v wineserver || echo /usr/lib/wine/wineserver)

init() {
  # One test at a time makes the prefix; the others wait for it.
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$server" -w
  fi
  flock -u 9
}

case "${1:-}" in
--init)
  init
  # Kept running until --stop, so that each test does not start and stop its own server.
  "$server" -p
  exit 0
  ;;
--stop)
  "$server" -k 2>/dev/null || true
  exit 0
  ;;
esac
init
exec "$wine" "$@"
