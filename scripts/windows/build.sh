#!/usr/bin/env bash
# Builds the Windows engines and command-line tools on Debian 12 in one step: the C libraries
# from Debian's sources (once, into the cache), then the plain libraries, zoripost-jpeg.exe,
# zoripost-sortlogs.exe and the tests in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() {
  cat <<'TEXT'
Usage: scripts/windows/build.sh [--with-qt | --deps-only] [--help]

Cross compiles zoripost's plain libraries, zoripost-jpeg.exe, zoripost-sortlogs.exe and their
tests for 64-bit Windows with Debian's MinGW-w64, linked statically (no DLLs beside them but the
system's). The output is in build-windows/ (picture/cli/zoripost-jpeg.exe,
logtool/cli/zoripost-sortlogs.exe); ctest --preset windows runs the tests under Wine.

The C libraries (libjpeg-turbo with its SIMD, libpng, giflib, libdeflate, zlib) and GoogleTest
are built from Debian's own source packages, at the versions the Linux build links, into
  ${ZP_MINGW_CACHE:-~/.cache/zoripost}/mingw-<versions>
The first build of them takes about 5 minutes on 2 cores; later runs reuse the folder until a
version changes.

The window program, zoripost.exe (build-windows/app/), is built too when Qt for Windows is in
the cache: Debian's qt6-base source built for MinGW by scripts/windows/build-qt.sh into
  ${ZP_MINGW_CACHE:-~/.cache/zoripost}/qt6-mingw-<version>-r<n>
which takes about 25 minutes on 2 cores the first time (--with-qt builds it first).
scripts/windows/package.sh makes the installer and the portable zip from it.

TLS goes through the system's Schannel (zp_tls.dll beside the programs, certificates checked
against the Windows certificate store and the [smtp] cafile); the password kept in the keyring
goes to the Windows Credential Manager (zp_keyring.dll). Not in the Windows build: the HEIF,
WebP and AVIF readers (such pictures are refused with a message naming the missing library).

  --with-qt     build Qt for Windows first when the cache lacks it, then everything
  --deps-only   build the C libraries only and print their folder
  --help        this text

Run scripts/install-deps.sh test first (MinGW-w64, nasm, Wine, dpkg-dev).
TEXT
}

case "${1:-}" in
--help | -h)
  usage
  exit 0
  ;;
--deps-only)
  scripts/windows/build-deps.sh
  exit 0
  ;;
--with-qt)
  scripts/windows/build-qt.sh >/dev/null
  ;;
"") ;;
*)
  usage >&2
  exit 2
  ;;
esac

jobs=${ZP_JOBS:-$(nproc)}
start=$SECONDS
ZP_MINGW_PREFIX=$(scripts/windows/build-deps.sh)
export ZP_MINGW_PREFIX
echo "Windows: C libraries in $ZP_MINGW_PREFIX ($((SECONDS - start)) s)"
step=$SECONDS
# The window program when Qt for Windows is in the cache; the engines and tools alone otherwise.
app=OFF
[ -f "$(scripts/windows/build-qt.sh --prefix)/.complete" ] && app=ON
cmake --preset windows -DZP_BUILD_APP=$app >/dev/null
cmake --build --preset windows -j "$jobs"
echo "Windows: programs and tests built in build-windows/ ($((SECONDS - step)) s)"
[ $app = ON ] || echo "Windows: no window program: Qt for Windows is not in the cache (scripts/windows/build-qt.sh, about 25 minutes)"
