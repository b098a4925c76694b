#!/usr/bin/env bash
# The Windows window end to end under Wine on a virtual X server: installs the installer
# silently into a new Wine prefix, starts the installed zoripost.exe with a picture, and
# sends mail with Alt+S to a real SMTP server on loopback (ISO-2022-JP, UTF-8, STARTTLS).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

usage() {
  cat <<'TEXT'
Usage: scripts/windows/test-window.sh [INSTALLER.exe]
       scripts/windows/test-window.sh --linux [PROGRAM]

Drives the real window as a user would, on a virtual X server (Xvfb), and prints PASS or
FAIL for each row; the exit status is non-zero when any row fails.

  Wine prefix     a new prefix in a temporary folder, Japanese locale
  install         the installer run silently (/S) for a user "josé" (a name code page 932
                  lacks); zoripost.exe with uninstall.exe beside it
  window          zoripost.exe started with a test picture (Z:\...) shows its main window;
                  a screenshot goes to docs/window-windows.png
  working JPEG    %LOCALAPPDATA%\zoripost\zoripost.jpg exists and is under the size limit
                  that the settings file sets
  ISO-2022-JP     Alt+S sends the mail to aiosmtpd on 127.0.0.1; Python's email package
  UTF-8           reads back subject, body, sender and recipient exactly as the settings
  STARTTLS        file (%APPDATA%\zoripost\zoripost.ini, Shift-JIS) holds them, and the
                  attachment is the working JPEG; the STARTTLS row trusts a private CA
                  through [smtp] cafile
  settings saved  closing the window writes the settings file back

INSTALLER.exe defaults to the one scripts/windows/package.sh --no-build packs from what
build-windows/ holds (scripts/windows/build.sh --with-qt builds it).

--linux runs the same rows against the Linux build of the window (PROGRAM, default
build/app/zoripost, copied as a portable program with its TLS module): a check of this
harness on a machine without the Windows build. No screenshot is kept unless
ZP_WINDOW_SCREENSHOT names a file.

Every wait is bounded; the X server, the Wine server of the prefix, the SMTP servers and the
temporary folders are removed at the end, also after a failure or Ctrl+C.
Needs: scripts/install-deps.sh test (xvfb, xdotool, x11-utils, imagemagick, wine64,
python3-aiosmtpd, openssl).
TEXT
}

mode=windows
installer=
program=
case "${1:-}" in
--help | -h)
  usage
  exit 0
  ;;
--linux)
  mode=linux
  program=${2:-build/app/zoripost}
  ;;
-*)
  usage >&2
  exit 2
  ;;
*) installer=${1:-} ;;
esac

python=/usr/bin/python3
rows_py=$root/scripts/windows/test_window_rows.py
. "$root/scripts/windows/wine-env.sh"
for tool in Xvfb xdotool xwininfo import "$python"; do
  command -v "$tool" >/dev/null || {
    echo "test-window: $tool is missing; run scripts/install-deps.sh test" >&2
    exit 2
  }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zoripost-window.XXXXXX")
xvfb_pid=
app_pid=
smtp_pid=
failures=0
started=$SECONDS

# Ends a process of ours and waits (bounded) until it is gone.
stop_pid() {
  local pid=$1 _
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  trap - EXIT INT TERM
  stop_pid "$app_pid"
  stop_pid "$smtp_pid"
  if [ "$mode" = windows ] && [ -d "$work/prefix" ]; then
    WINEPREFIX=$work/prefix timeout 30 "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$work/prefix timeout 30 "$wineserver" -w 2>/dev/null || true
  fi
  stop_pid "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "test-window: interrupted" >&2; exit 130' INT
trap 'exit 143' TERM

pass() { printf 'PASS  %s\n' "$1"; }
fail() {
  printf 'FAIL  %s: %s\n' "$1" "$2"
  failures=$((failures + 1))
}

# Runs the command until it succeeds or the given number of seconds has passed.
wait_until() { # seconds command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.25
  done
}

start_xvfb() {
  # The server picks a free display itself and writes its number to the file.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_until 20 grep -qs '[0-9]' "$work/display" || {
    echo "test-window: Xvfb did not start: $(tail -3 "$work/xvfb.log")" >&2
    exit 1
  }
  DISPLAY=:$(tr -dc 0-9 <"$work/display")
  export DISPLAY
  wait_until 10 xwininfo -root >/dev/null 2>&1
}

# aiosmtpd on 127.0.0.1, saving into $work/mail-ROW; sets smtp_port.
start_smtp() { # row [--tls cert key --mode starttls]
  local out=$work/mail-$1
  shift
  mkdir -p "$out"
  stop_pid "$smtp_pid"
  "$python" "$root/tests/scripts/smtp_server.py" "$out" --auth "$("$python" "$rows_py" login)" \
    "$@" >"$out/port" 2>"$out/err" &
  smtp_pid=$!
  smtp_port=
  wait_until 20 grep -qs '^PORT ' "$out/port" || return 1
  smtp_port=$(sed -n 's/^PORT //p' "$out/port")
}

# --- the two systems: where the program, its settings and its picture live -----------------

# The prefix's user is named with a character code page 932 lacks, as a Windows user folder may
# be ("José"): the settings file and the working JPEG live under that folder.
wine_user=josé

wine_env() {
  export WINEPREFIX=$work/prefix USER=$wine_user LOGNAME=$wine_user
  # Wine hands the environment on: a headless choice of the caller's (scripts/test.sh sets
  # offscreen for the Linux tests) would keep the window off the screen.
  unset QT_QPA_PLATFORM
}

# A folder of the prefix's user (%APPDATA%, %LOCALAPPDATA%) as a POSIX path. Wine's console
# output would give the user's name in code page 932, without the "é".
wine_folder() { # AppData/Roaming | AppData/Local
  [ -d "$WINEPREFIX/drive_c/users/$wine_user/$1" ] && echo "$WINEPREFIX/drive_c/users/$wine_user/$1"
}

to_program_path() { # POSIX path -> the path the program is given
  if [ "$mode" = windows ]; then
    timeout 60 "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r' | tail -1
  else
    echo "$1"
  fi
}

# Without an argument the installer is packed from what build-windows/ holds.
find_installer() {
  if [ -z "$installer" ]; then
    if [ ! -f build-windows/app/zoripost.exe ]; then
      echo "test-window: build-windows/app/zoripost.exe is not built (scripts/windows/build.sh" \
        "--with-qt; Qt for Windows takes about 25 minutes the first time)" >&2
      return 1
    fi
    echo "test-window: packing the installer (scripts/windows/package.sh --no-build)"
    installer=$(scripts/windows/package.sh --no-build | sed -n 's/^Windows installer: //p') || true
    [ -n "$installer" ] || echo "test-window: scripts/windows/package.sh --no-build failed" >&2
  fi
  [ -n "$installer" ] && [ -f "$installer" ]
}

setup_windows() {
  wine_env
  local t=$SECONDS
  if timeout 180 "$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 &&
    timeout 60 "$wineserver" -w; then
    # Wine draws the caption buttons with Marlett (fonts-wine), which a new prefix lacks.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # Kept running, so that each start of the program finds it.
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
    # No window manager runs: Wine draws the frames and captions itself, as Windows does
    # (and the screenshot shows them).
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
    pass "Wine prefix ($((SECONDS - t)) s)"
  else
    fail "Wine prefix" "wineboot did not finish within its time"
    return 1
  fi
  t=$SECONDS
  if ! timeout 300 "$wine" "$installer" /S </dev/null >"$work/install.log" 2>&1; then
    fail install "$installer /S failed or took longer than 300 s"
    return 1
  fi
  local uninstall
  uninstall=$(find "$WINEPREFIX/drive_c" -iname uninstall.exe -path '*zoripost*' | head -1)
  exe=${uninstall%/*}/zoripost.exe
  program_dir=${uninstall%/*}
  if [ -z "$uninstall" ] || [ ! -f "$exe" ]; then
    fail install "no zoripost.exe with uninstall.exe beside it in the prefix"
    return 1
  fi
  # Started by its Windows path, as the Start menu starts it.
  exe=$(to_program_path "$exe")
  pass "install ($((SECONDS - t)) s, $exe)"
  ini=$(wine_folder AppData/Roaming)/zoripost/zoripost.ini
  jpeg=$(wine_folder AppData/Local)/zoripost/zoripost.jpg
  if [ "$ini" = /zoripost/zoripost.ini ] || [ "$jpeg" = /zoripost/zoripost.jpg ]; then
    fail install "the prefix's %APPDATA% or %LOCALAPPDATA% cannot be found"
    return 1
  fi
  screenshot=${ZP_WINDOW_SCREENSHOT:-$root/docs/window-windows.png}
}

setup_linux() {
  [ -x "$program" ] || {
    fail install "$program is not built (cmake --build build --target zoripost zp_tls)"
    return 1
  }
  # A portable copy: settings and picture beside the program, the TLS module found there.
  mkdir -p "$work/app" "$work/home"
  cp "$program" "$work/app/zoripost"
  local module
  module=$(dirname "$program")/../lib/zoripost/libzp_tls.so
  [ -f "$module" ] && cp "$module" "$work/app/"
  export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=
  export XDG_CACHE_HOME=$work/home/cache QT_QPA_PLATFORM=xcb
  exe=$work/app/zoripost
  ini=$work/app/zoripost.ini
  jpeg=$work/app/zoripost.jpg
  screenshot=${ZP_WINDOW_SCREENSHOT:-}
  pass "install (portable copy of $program)"
}

start_program() { # picture (POSIX)
  local arg
  arg=$(to_program_path "$1")
  if [ "$mode" = windows ]; then
    "$wine" "$exe" "$arg" </dev/null >"$work/program.log" 2>&1 &
  else
    "$exe" "$arg" </dev/null >"$work/program.log" 2>&1 &
  fi
  app_pid=$!
}

window_id=
find_window() {
  window_id=$(xdotool search --onlyvisible --name '^zoripost$' 2>/dev/null | head -1)
  [ -n "$window_id" ]
}

program_gone() { ! kill -0 "$app_pid" 2>/dev/null; }

# Asks the window to close as a user would and waits (bounded) for the program to end.
close_program() {
  if [ "$mode" = windows ]; then
    xdotool windowfocus --sync "$window_id" key --clearmodifiers alt+F4 2>/dev/null || true
    wait_until 20 program_gone ||
      timeout 30 "$wine" taskkill /im zoripost.exe </dev/null >/dev/null 2>&1 || true
  else
    kill -TERM "$app_pid" 2>/dev/null || true
  fi
  wait_until 30 program_gone || return 1
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}

# The working JPEG whole: present, and no longer growing.
jpeg_ready() {
  [ -s "$jpeg" ] || return 1
  local a b
  a=$(stat -c %s "$jpeg")
  sleep 0.3
  b=$(stat -c %s "$jpeg")
  [ "$a" = "$b" ]
}

# The working JPEG under the settings file's limit; kept for the comparison with the mail.
check_jpeg() { # row label
  local size limit
  size=$(stat -c %s "$jpeg")
  limit=$("$python" "$rows_py" limit)
  if [ "$size" -lt "$limit" ]; then
    pass "working JPEG ($2): $size bytes, under the limit of $limit"
  else
    fail "working JPEG ($2)" "$size bytes, the limit is $limit"
  fi
  cp "$jpeg" "$work/sent-$1.jpg"
}

take_screenshot() {
  [ -n "$screenshot" ] || return 0
  mkdir -p "$(dirname "$screenshot")"
  # Without time stamps: the same window gives the same file, and a tree stays clean.
  if import -window root -crop "$(window_geometry)" +repage \
    -define png:exclude-chunks=date,time "$screenshot" 2>"$work/import.log"; then
    pass "screenshot ${screenshot#"$root/"}"
  else
    fail screenshot "$(head -1 "$work/import.log")"
  fi
}

# A program that a failed row left running is ended, so that the next row's start is not
# taken for a second copy.
abandon_program() {
  [ -n "$app_pid" ] || return 0
  stop_pid "$app_pid"
  app_pid=
  if [ "$mode" = windows ]; then
    timeout 30 "$wineserver" -k 2>/dev/null || true
    timeout 30 "$wineserver" -w 2>/dev/null || true
    "$wineserver" -p </dev/null >/dev/null 2>&1 || true
  fi
}

run_row() { # row label [smtp options...]
  send_row "$@" || true
  abandon_program
}

# While the program runs, installing again (silently) is refused with exit code 2 and leaves
# the installed files and the running window as they are.
check_install_refused() {
  local status=0
  timeout 120 "$wine" "$installer" /S </dev/null >>"$work/install.log" 2>&1 || status=$?
  if [ "$status" -ne 2 ]; then
    fail "installer while running" "exit code $status, not 2"
  elif [ ! -f "$program_dir/zoripost.exe" ] || [ ! -f "$program_dir/uninstall.exe" ]; then
    fail "installer while running" "the installed files were touched"
  elif ! find_window; then
    fail "installer while running" "the window went"
  else
    pass "installer refuses while the program runs (exit code 2)"
  fi
}

# One start of the program: a settings file, the picture, Alt+S, the mail read back.
send_row() { # row label [smtp options...]
  local row=$1 label=$2
  shift 2
  if ! start_smtp "$row" "$@"; then
    fail "$label" "aiosmtpd did not start: $(tail -3 "$work/mail-$row/err")"
    return
  fi
  local cafile=
  [ "$row" = starttls ] && cafile=$(to_program_path "$work/certs/ca.pem")
  mkdir -p "$(dirname "$ini")"
  rm -f "$jpeg"
  "$python" "$rows_py" ini "$row" "$ini" "$smtp_port" ${cafile:+"$cafile"}
  local t=$SECONDS
  start_program "$picture"
  if ! wait_until 60 find_window; then
    fail "$label" "no window named zoripost within 60 s$(program_gone && echo ' (the program ended)')$(failure_shot "$row")"
    return
  fi
  [ "$row" != iso-2022-jp ] || pass "window ($((SECONDS - t)) s after the start)"
  if ! wait_until 30 jpeg_ready; then
    fail "working JPEG ($label)" "$jpeg was not made within 30 s"
    return
  fi
  check_jpeg "$row" "$label"
  [ "$row" != iso-2022-jp ] || take_screenshot
  [ "$mode" != windows ] || [ "$row" != iso-2022-jp ] || check_install_refused
  local eml=$work/mail-$row/1.eml
  # A picture given on the command line is shown, never sent by itself.
  if [ -e "$eml" ]; then
    fail "$label" "a mail was sent before Alt+S"
    return
  fi
  t=$SECONDS
  xdotool windowfocus --sync "$window_id" 2>/dev/null || true
  xdotool key --clearmodifiers alt+s
  if ! wait_until 60 test -f "$eml"; then
    fail "$label" "no mail at aiosmtpd within 60 s after Alt+S$(failure_shot "$row")"
  elif "$python" "$rows_py" check "$row" "$eml" "$work/sent-$row.jpg" >"$work/check.log"; then
    pass "$label: sent on Alt+S only, read back as written ($((SECONDS - t)) s after Alt+S)"
  else
    fail "$label" "the mail differs:"
    cat "$work/check.log"
  fi
  if ! close_program; then
    fail "$label" "the program did not end within 50 s of being closed"
    return
  fi
  if [ "$row" = iso-2022-jp ]; then
    if "$python" "$rows_py" saved "$ini" "$smtp_port" >"$work/check.log"; then
      pass "settings saved"
    else
      fail "settings saved" "$(cat "$work/check.log")"
    fi
  fi
}

# The screen at a failure, kept for a look (the work folder goes): says where it went.
failure_shot() { # row
  local dir=$root/build-windows/test-window
  [ "$mode" = windows ] || dir=$root/build/test-window
  mkdir -p "$dir" && import -window root "$dir/failed-$1.png" 2>/dev/null &&
    echo "; the screen is in ${dir#"$root/"}/failed-$1.png"
}

# The window's place on the screen with its frame, as ImageMagick's -crop takes it.
window_geometry() {
  local x y w h
  eval "$(xdotool getwindowgeometry --shell "$window_id" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  x=$X y=$Y w=$WIDTH h=$HEIGHT
  echo "${w}x${h}+${x}+${y}"
}

# --- the run ---------------------------------------------------------------------------

if [ "$mode" = windows ] && ! find_installer; then
  fail install "no installer${installer:+ at $installer} (scripts/windows/package.sh makes it)"
  exit 1
fi
start_xvfb
echo "test-window: $mode, display $DISPLAY, work folder $work"
if [ "$mode" = windows ]; then setup_windows || exit 1; else setup_linux || exit 1; fi

# A Japanese name with a space: the window takes the path from the wide command line.
picture="$work/写真 東京.jpg"
"$python" "$root/tests/scripts/picture_make_photo.py" 1600 1200 "$picture"
bash "$root/tests/scripts/make_test_certs.sh" "$work/certs" >/dev/null 2>&1

run_row iso-2022-jp ISO-2022-JP
run_row utf-8 UTF-8
run_row starttls STARTTLS --tls "$work/certs/good.pem" "$work/certs/good.key" --mode starttls

echo "test-window: $failures failed, $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
