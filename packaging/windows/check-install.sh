#!/usr/bin/env bash
# The installer's round trip under Wine, in a new prefix: silent installation for the current
# user, then for all users; each time the files, the registry (uninstall entry, "Open with"),
# the Start-menu shortcut, a headless start of the installed program (no DLL missing), and the
# silent uninstallation, which must remove all of that and keep the user's settings.
#   packaging/windows/check-install.sh SETUP.exe VERSION [STAGING-FOLDER]
# The staging folder (default: the setup's name without -setup.exe) is what must be installed.
set -euo pipefail
setup=$(readlink -f "$1")
version=$2
stage=${3:-${setup%-setup.exe}}
. "$(dirname "$0")/../../scripts/windows/wine-env.sh"
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "check-install: $*" >&2
  failures=$((failures + 1))
}

"$wine" wineboot --init >/dev/null 2>&1 || true
"$wineserver" -w
home=""
for dir in "$WINEPREFIX"/drive_c/users/*; do
  [ "${dir##*/}" = Public ] || home=$dir
done
[ -n "$home" ] || {
  echo "check-install: Wine made no user profile in $WINEPREFIX" >&2
  exit 1
}
roaming=$home/AppData/Roaming

reg_value() { # HIVE\KEY VALUE -> the value's data, empty when there is none
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

check_installed() { # MODE HIVE FOLDER START-MENU
  local mode=$1 hive=$2 dir=$3 menu=$4 key
  key="$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zoripost"
  [ -f "$dir/uninstall.exe" ] || fail "$mode: no uninstall.exe in $dir"
  (cd "$stage" && find . -type f) | while read -r f; do
    cmp -s "$stage/$f" "$dir/$f" || echo "$mode: ${f#./} is not installed as staged"
  done | { ! grep . >&2; } || fail "$mode: files differ"
  [ -f "$menu/zoripost.lnk" ] || fail "$mode: no Start-menu shortcut in $menu"
  [ "$(reg_value "$key" DisplayVersion)" = "$version" ] || fail "$mode: DisplayVersion is not $version"
  local size
  size=$(reg_value "$key" EstimatedSize)
  if [ -z "$size" ] || [ $((size)) -le 1000 ]; then
    fail "$mode: EstimatedSize is '$size' (KB)"
  fi
  reg_value "$key" UninstallString | grep -q 'uninstall.exe' || fail "$mode: no UninstallString"
  for ext in .jpg .jpeg .png .gif .bmp; do
    "$wine" reg query "$hive\\Software\\Classes\\Applications\\zoripost.exe\\SupportedTypes" /v $ext \
      >/dev/null 2>&1 || fail "$mode: $ext is not among the supported types"
    "$wine" reg query "$hive\\Software\\Classes\\$ext\\OpenWithProgids" /v zoripost.picture \
      >/dev/null 2>&1 || fail "$mode: $ext has no OpenWithProgids entry"
  done
}

check_starts() { # MODE FOLDER: the program stays up for 10 s with every DLL found
  local mode=$1 dir=$2 log=$work/run.log pid
  WINEDEBUG=err+module QT_QPA_PLATFORM=offscreen "$wine" "$dir/zoripost.exe" >"$log" 2>&1 &
  pid=$!
  sleep 10
  if ! kill -0 $pid 2>/dev/null; then
    wait $pid || true
    fail "$mode: zoripost.exe ended within 10 s: $(head -c 600 "$log")"
  fi
  if grep -i 'not found\|import_dll' "$log" >&2; then
    fail "$mode: zoripost.exe misses a DLL"
  fi
  "$wineserver" -k 2>/dev/null || true
  wait $pid 2>/dev/null || true
}

check_removed() { # MODE HIVE FOLDER START-MENU
  local mode=$1 hive=$2 dir=$3 menu=$4
  [ ! -e "$dir" ] || fail "$mode: $dir is left after uninstalling: $(cd "$dir" && find . | head)"
  [ ! -e "$menu/zoripost.lnk" ] || fail "$mode: the shortcut is left"
  for key in 'Software\Microsoft\Windows\CurrentVersion\Uninstall\zoripost' \
    'Software\Classes\Applications\zoripost.exe' 'Software\Classes\zoripost.picture' \
    'Software\Microsoft\Windows\CurrentVersion\App Paths\zoripost.exe'; do
    ! "$wine" reg query "$hive\\$key" >/dev/null 2>&1 || fail "$mode: $hive\\$key is left"
  done
  ! "$wine" reg query "$hive\\Software\\Classes\\.jpg\\OpenWithProgids" /v zoripost.picture \
    >/dev/null 2>&1 || fail "$mode: .jpg still opens with zoripost"
  [ -f "$roaming/zoripost/zoripost.ini" ] || fail "$mode: the user's settings went with the program"
}

round_trip() { # MODE SWITCH HIVE FOLDER START-MENU
  local mode=$1 switch=$2 hive=$3 dir=$4 menu=$5
  # shellcheck disable=SC2086 # no switch at all for the current user
  "$wine" "$setup" /S $switch >/dev/null 2>&1 || fail "$mode: the installer failed"
  "$wineserver" -w
  check_installed "$mode" "$hive" "$dir" "$menu"
  if [ -f "$dir/zoripost.exe" ]; then
    check_starts "$mode" "$dir"
  fi
  # The settings a user made, which no uninstallation may take.
  mkdir -p "$roaming/zoripost"
  [ -f "$roaming/zoripost/zoripost.ini" ] || printf '[smtp]\r\nserver=mail.example.jp\r\n' \
    >"$roaming/zoripost/zoripost.ini"
  "$wine" "$dir/uninstall.exe" /S >/dev/null 2>&1 || fail "$mode: the uninstaller failed"
  "$wineserver" -w
  check_removed "$mode" "$hive" "$dir" "$menu"
}

round_trip "for the current user" "" HKCU "$home/AppData/Local/Programs/zoripost" \
  "$roaming/Microsoft/Windows/Start Menu/Programs"
round_trip "for all users" /AllUsers HKLM "$WINEPREFIX/drive_c/Program Files/zoripost" \
  "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"

if [ $failures -gt 0 ]; then
  echo "check-install: $failures checks failed" >&2
  exit 1
fi
echo "check-install: installed, started and removed for the current user and for all users"
