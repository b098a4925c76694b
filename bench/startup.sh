#!/usr/bin/env bash
# How fast the window starts: from exec to the main window mapped (an X MapNotify timer,
# bench/mapwait.c) under Xvfb, against an empty Qt Widgets window of the same size with one
# label (bench/empty_window.cpp). The program starts as a portable copy with a settings file of
# 40 addresses and its mail settings filled in (no welcome box). Runs are taken in turns, one
# of each per pair; prints a Markdown table of medians and the shared libraries each process
# has mapped when its window appears.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]     (default: build, 15 pairs)
#
# Needs: Xvfb, Xlib headers, Qt 6 Widgets headers (scripts/install-deps.sh bench).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-15}
[ -x "$build/app/zoripost" ] || { echo "build the window first: cmake --build $build --target zoripost" >&2; exit 1; }

work=$(mktemp -d)
xvfb=
cleanup() { [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cc -O2 -o "$work/mapwait" "$here/mapwait.c" -lX11
# shellcheck disable=SC2046 # pkg-config's flags are words
g++ -O2 -fPIC -o "$work/empty_window" "$here/empty_window.cpp" $(pkg-config --cflags --libs Qt6Widgets)

# The portable copy: the program, its sound, TLS and keyring modules where the program looks for
# them, and the settings file beside the program, in Shift-JIS with CR LF line ends.
mkdir -p "$work/copy/app" "$work/run" "$work/config"
chmod 700 "$work/run"
cp "$build/app/zoripost" "$work/copy/app/"
for name in libzp_sound.so libzp_tls.so libzp_keyring.so; do
    module=$(cd "$build" && find . -name "$name" -path '*/zoripost/*' | head -n 1)
    if [ -n "$module" ]; then
        mkdir -p "$work/copy/$(dirname "$module")"
        cp "$build/$module" "$work/copy/$module"
    fi
done
/usr/bin/python3 - "$work/settings.ini" <<'PY'
import sys
lines = ['[smtp]', 'host=127.0.0.1', 'user=taro', 'addr=taro@example.jp', '[mail]', 'addrcount=40']
names = ['山田 太郎', '佐藤 花子', '鈴木 一郎', '高橋 美咲', '田中 健']
for i in range(1, 41):
    lines.append('addr%d=%s%d (user%02d@example.jp)' % (i, names[i % 5], i, i))
    lines.append('addrChecked%d=%d' % (i, i % 3 == 0))
open(sys.argv[1], 'wb').write(('\r\n'.join(lines) + '\r\n').encode('cp932'))
PY

exec 3>"$work/display"
# -noreset: the server would otherwise reset, and refuse connections meanwhile, each time
# the last client leaves.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 600); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")
# The display number comes a moment before the server takes connections on a busy machine.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config

failed() {
    kill -0 "$xvfb" 2>/dev/null || echo "Xvfb is gone:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
}
window() { # the program once, from a fresh settings file
    cp "$work/settings.ini" "$work/copy/app/zoripost.ini"
    "$work/mapwait" "$work/copy/app/zoripost" || failed
}
empty() { "$work/mapwait" "$work/empty_window" "$width" "$height" || failed; }

# One untimed run of each fills the page cache and tells the window's size.
read -r _ size _ < <(window)
width=${size%x*}
height=${size#*x}
empty >/dev/null
for i in $(seq "$runs"); do
    if [ $((i % 2)) -eq 1 ]; then
        window >>"$work/window.txt"
        empty >>"$work/empty.txt"
    else
        empty >>"$work/empty.txt"
        window >>"$work/window.txt"
    fi
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
range() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo " – " hi }'; }
mw=$(cut -d' ' -f1 "$work/window.txt" | median)
me=$(cut -d' ' -f1 "$work/empty.txt" | median)
printf '| Program (%s×%s, %d runs each, in turns) | Median to mapped (ms) | Range (ms) | Processor time to mapped, median (ms) | Shared libraries mapped |\n' \
    "$width" "$height" "$runs"
printf '|---|---|---|---|---|\n'
line() { # name file
    printf '| %s | %s | %s | %s | %s |\n' "$1" "$(cut -d' ' -f1 "$2" | median)" "$(cut -d' ' -f1 "$2" | range)" \
        "$(cut -d' ' -f4 "$2" | median)" "$(cut -d' ' -f3 "$2" | median)"
}
line "zoripost, 40 addresses" "$work/window.txt"
line "empty Qt Widgets window, one label" "$work/empty.txt"
cw=$(cut -d' ' -f4 "$work/window.txt" | median)
ce=$(cut -d' ' -f4 "$work/empty.txt" | median)
awk -v a="$mw" -v b="$me" -v c="$cw" -v d="$ce" \
    'BEGIN { printf "\nRatio: %.2f × the empty window (processor time: %.2f ×).\n", a / b, c / d }'
