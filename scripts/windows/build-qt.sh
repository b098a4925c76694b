#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian 12's own qt6-base source package, at the version the
# Linux build uses, with Debian's native Qt as the host tools (moc, uic, rcc). Only what the
# window needs: Core, Gui, Widgets, Network (the running-copy pipe) and the windows and offscreen
# platform plugins. Shared DLLs: the Qt licence lets a user swap them, the platform plugins are
# DLLs anyway, and one Qt serves zoripost.exe and its Windows tests.
#   scripts/windows/build-qt.sh           builds it when missing, prints the prefix last
#   scripts/windows/build-qt.sh --prefix  only prints the prefix the installed version gives
# The prefix is $ZP_MINGW_CACHE (default ~/.cache/zoripost)/qt6-mingw-<version>-r<recipe>. The
# first build takes about 25 minutes on 2 cores; an existing prefix is reused as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cache=${ZP_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zoripost}
jobs=${ZP_JOBS:-$(nproc)}
# Raised when the way Qt is built changes, so that the cache is built again.
recipe=1

declare -A srcpkg srcver
line=$(dpkg-query -W -f='${source:Package} ${source:Version}' qt6-base-dev 2>/dev/null) || {
  echo "build-qt: qt6-base-dev is not installed (scripts/install-deps.sh test)" >&2
  exit 1
}
srcpkg[qt]=${line%% *}
srcver[qt]=${line#* }
prefix=$cache/qt6-mingw-${srcver[qt]#*:}-r$recipe
if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# The toolchain file wants the C libraries' folder; Qt itself uses the copies in its own tree.
ZP_MINGW_PREFIX=$("$root/scripts/windows/build-deps.sh")
export ZP_MINGW_PREFIX

work=$cache/work-qt-$$
rm -rf "$prefix"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
started=$SECONDS
log=$work/log
stage() { echo "build-qt: $1 ($((SECONDS - started)) s)" >&2; }
echo "build-qt: building Qt ${srcver[qt]} for Windows into $prefix (about 25 minutes on 2 cores)" >&2

. "$root/scripts/windows/debian-source.sh"
apt_sources
src=$(fetch_source qt)
stage "source fetched"

hostcmake=/usr/lib/x86_64-linux-gnu/cmake
# The +dfsg tarball has no wintab headers, hence no tablet events. OpenGL stays on: the windows
# platform plugin of this version does not compile without it. The bundled zlib, libpng, libjpeg,
# freetype, harfbuzz and pcre2 of the tree are used, not the static ones of the engines' folder.
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_FIND_LIBRARY_SUFFIXES=".dll.a;.a" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$hostcmake" -DQt6HostInfo_DIR="$hostcmake/Qt6HostInfo" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DFEATURE_openssl=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
  >>"$log" 2>&1 || {
  tail -n 60 "$log" >&2
  exit 1
}
stage "configured"
cmake --build "$work/build" -j "$jobs" >>"$log" 2>&1 || {
  tail -n 60 "$log" >&2
  exit 1
}
stage "built"
cmake --install "$work/build" >>"$log" 2>&1 || {
  tail -n 30 "$log" >&2
  exit 1
}
# Qt's own Japanese messages (the standard buttons, the file dialog), as Debian installs them.
mkdir -p "$prefix/translations"
cp /usr/share/qt6/translations/qtbase_ja.qm "$prefix/translations/" 2>/dev/null ||
  echo "build-qt: qtbase_ja.qm not found (qt6-translations-l10n); Qt's own texts stay English" >&2
echo "${srcpkg[qt]} ${srcver[qt]}" >"$prefix/versions.txt"
touch "$prefix/.complete"
echo "build-qt: done in $((SECONDS - started)) s" >&2
echo "$prefix"
