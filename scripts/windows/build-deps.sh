#!/usr/bin/env bash
# Builds the C libraries the plain libraries need (libjpeg-turbo with its SIMD, libpng, giflib,
# libdeflate, zlib) and GoogleTest for 64-bit Windows, static, with Debian's MinGW-w64 and from
# Debian's own source packages at the versions the Linux build uses, so that both systems run the
# same code. HEIF, WebP and AVIF are not built: the Windows programs do without them.
#   scripts/windows/build-deps.sh           builds what is missing, prints the prefix last
#   scripts/windows/build-deps.sh --prefix  only prints the prefix the current versions give
# The prefix is $ZP_MINGW_CACHE (default ~/.cache/zoripost)/mingw-<versions>; a version change
# gives a new folder, an unchanged one is reused as it is.
#
# <versions> are those of the sources actually built. They are the installed ones, unless the
# archive no longer serves an installed revision (it keeps only the newest, so a security
# update the machine has not taken yet, e.g. libpng 1.6.39-2+deb12u5 for an installed
# deb12u4, replaces it): then the newest revision of that upstream version is built, the folder
# is named after it, and the name the installed versions give becomes a link to that folder.
# Finding the prefix thus needs only dpkg and the cache, never the network: a complete cache is
# reused without asking the archive what it serves now (the installed versions, which the Linux
# build links, are what the cache answers to; a newer archive revision is only a stand-in).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
cache=${ZP_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zoripost}
jobs=${ZP_JOBS:-$(nproc)}
# Raised when the way the libraries are built changes, so that the cache is built again.
recipe=1

# The Debian binary package whose source each library is built from (the one the Linux build
# links), and the short name that goes into the folder name.
declare -A devpkg=([jpeg]=libjpeg62-turbo-dev [png]=libpng-dev [gif]=libgif-dev
                   [deflate]=libdeflate-dev [z]=zlib1g-dev [gtest]=libgtest-dev)
order=(z deflate png gif jpeg gtest)

declare -A srcpkg srcver
key=""
for lib in "${order[@]}"; do
  line=$(dpkg-query -W -f='${source:Package} ${source:Version}' "${devpkg[$lib]}" 2>/dev/null) || {
    echo "build-deps: ${devpkg[$lib]} is not installed (scripts/install-deps.sh test)" >&2
    exit 1
  }
  srcpkg[$lib]=${line%% *}
  srcver[$lib]=${line#* }
  v=${srcver[$lib]#*:}
  key+="$lib${v}-"
done
installed=$cache/mingw-${key}r$recipe
prefix=$installed
if [ -L "$installed" ]; then
  prefix=$cache/$(readlink "$installed")
fi
if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$cache/work-$$
prefix=$installed
rm -rf "$prefix"
mkdir -p "$work" "$prefix"
trap 'rm -rf "$work"' EXIT
started=$SECONDS
log=$work/log

. "$root/scripts/windows/debian-source.sh"

cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-gcc-ar-posix

# Compiles C files of a library that has no CMake build into lib<name>.a.
c_archive() {
  local name=$1 src=$2 objs=() f
  shift 2
  mkdir -p "$work/obj-$name"
  for f in "$@"; do
    "$cc" -O2 -DNDEBUG -I"$src" -I"$prefix/include" -c "$src/$f" -o "$work/obj-$name/${f%.c}.o" 2>>"$log" || {
      tail -n 30 "$log" >&2
      exit 1
    }
    objs+=("$work/obj-$name/${f%.c}.o")
  done
  "$ar" rcs "$prefix/lib/lib$name.a" "${objs[@]}"
}

cmake_build() {
  local name=$1 src=$2 targets=$3
  shift 3
  local tgt=()
  [ -n "$targets" ] && tgt=(--target $targets)
  cmake -S "$src" -B "$work/build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DZP_MINGW_PREFIX="$prefix" -DZP_MINGW_FILLING_PREFIX=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    "$@" >>"$log" 2>&1 &&
    cmake --build "$work/build-$name" -j "$jobs" "${tgt[@]}" >>"$log" 2>&1 || {
    tail -n 60 "$log" >&2
    exit 1
  }
}

stage() { echo "build-deps: $1 ($((SECONDS - started)) s)" >&2; }

# The version of the source unpacked in $2 (its Debian changelog), which fetch_source may have
# taken newer than the installed one.
declare -A built
built_from() {
  built[$1]=$(dpkg-parsechangelog -l "$2/debian/changelog" -S Version)
}
built[gtest]=${srcver[gtest]} # built from the installed package's own copy of the source

mkdir -p "$prefix/lib" "$prefix/include"
apt_sources
stage "source lists read"

src=$(fetch_source z)
built_from z "$src"
c_archive z "$src" adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c \
  infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
stage "zlib ${built[z]}"

src=$(fetch_source deflate)
built_from deflate "$src"
make -C "$src" -j "$jobs" CC="$cc" AR="$ar" libdeflatestatic.lib >>"$log" 2>&1 || {
  tail -n 30 "$log" >&2
  exit 1
}
cp "$src/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
cp "$src/libdeflate.h" "$prefix/include/"
stage "libdeflate ${built[deflate]}"

src=$(fetch_source gif)
built_from gif "$src"
c_archive gif "$src" dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c \
  openbsd-reallocarray.c quantize.c
cp "$src/gif_lib.h" "$prefix/include/"
stage "giflib ${built[gif]}"

src=$(fetch_source png)
built_from png "$src"
cmake_build png "$src" png_static -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
cp "$work/build-png/libpng16.a" "$prefix/lib/libpng16.a"
cp "$work/build-png/libpng16.a" "$prefix/lib/libpng.a"
cp "$src/png.h" "$src/pngconf.h" "$work/build-png/pnglibconf.h" "$prefix/include/"
stage "libpng ${built[png]}"

# The SIMD parts as Debian's amd64 build has them, so that the JPEG files are the same bytes.
src=$(fetch_source jpeg)
built_from jpeg "$src"
cmake_build jpeg "$src" jpeg-static -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
cp "$work/build-jpeg/libjpeg.a" "$prefix/lib/"
cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$work/build-jpeg/jconfig.h" "$prefix/include/"
stage "libjpeg-turbo ${built[jpeg]}"

# GoogleTest's source as libgtest-dev installs it (Debian's package of it).
cmake_build gtest /usr/src/googletest "" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
cmake --install "$work/build-gtest" >>"$log" 2>&1
stage "GoogleTest ${srcver[gtest]}"

# Named after what was built; the installed versions' name leads there.
key=""
for lib in "${order[@]}"; do
  v=${built[$lib]#*:}
  key+="$lib${v}-"
done
final=$cache/mingw-${key}r$recipe
if [ "$final" != "$prefix" ]; then
  if [ -f "$final/.complete" ]; then
    rm -rf "$prefix" # the same sources were built before, for other installed versions
  else
    rm -rf "$final"
    mv "$prefix" "$final"
  fi
  ln -s "$(basename "$final")" "$installed"
  prefix=$final
  echo "build-deps: named $(basename "$final") after the sources built" >&2
fi
mkdir -p "$prefix/lib/pkgconfig"
cat >"$prefix/lib/pkgconfig/libdeflate.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include
libdir=\${prefix}/lib

Name: libdeflate
Description: Fast implementation of DEFLATE, zlib, and gzip
Version: ${built[deflate]%-*}
Libs: -L\${libdir} -ldeflate
Cflags: -I\${includedir}
PC
for lib in "${order[@]}"; do echo "${srcpkg[$lib]} ${built[$lib]}"; done >"$prefix/versions.txt"
touch "$prefix/.complete"
echo "build-deps: done in $((SECONDS - started)) s" >&2
echo "$prefix"
