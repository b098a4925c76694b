#!/usr/bin/env bash
# Compiles the plain libraries' sources for Windows with the MinGW cross compiler, syntax
# only, so that code without a Windows branch shows up on Linux.
#   windows_syntax_check.sh [folder...]   folders relative to the source root;
#                                         default: every plain folder
# Exit 0 when every file compiles, 1 when one does not, 77 when the cross compiler is missing.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cxx=${ZP_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "skipped: $cxx not found (apt-get install g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)"
  exit 77
fi

folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
  for f in fileio text settings mail mail/tls decoders picture picture/cli addressbook logtool logtool/cli; do
    [ -d "$root/$f" ] && folders+=("$f")
  done
fi

# The third-party headers the sources include, taken from the Linux installation: their
# declarations are the same for Windows, and only the syntax is checked. Copies keep
# the rest of /usr/include, which would clash with the MinGW headers, out of the way.
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
for h in jpeglib.h jconfig.h jmorecfg.h jerror.h png.h pngconf.h pnglibconf.h gif_lib.h \
         zlib.h zconf.h libdeflate.h; do
  for dir in /usr/include /usr/include/x86_64-linux-gnu; do
    if [ -f "$dir/$h" ]; then
      cp "$dir/$h" "$headers/"
      break
    fi
  done
done
# The HEIF, WebP and AVIF headers are included with their folder.
for d in libheif webp avif; do
  for dir in /usr/include /usr/include/x86_64-linux-gnu; do
    if [ -d "$dir/$d" ]; then
      cp -r "$dir/$d" "$headers/"
      break
    fi
  done
done

# OpenSSL's headers, with the configuration headers that live in the multiarch folder.
if [ -d /usr/include/openssl ]; then
  mkdir -p "$headers/openssl"
  cp /usr/include/openssl/*.h "$headers/openssl/"
  for dir in /usr/include/x86_64-linux-gnu/openssl /usr/include/aarch64-linux-gnu/openssl; do
    [ -d "$dir" ] && cp "$dir"/*.h "$headers/openssl/"
  done
fi

failed=0
checked=0
for folder in "${folders[@]}"; do
  if [ ! -d "$root/$folder" ]; then
    echo "FAIL $folder: no such folder"
    failed=$((failed + 1))
    continue
  fi
  for src in "$root/$folder"/*.cpp; do
    [ -e "$src" ] || continue
    checked=$((checked + 1))
    if out=$("$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror \
               -I"$root" -isystem "$headers" "$src" 2>&1); then
      echo "ok   ${src#"$root"/}"
    else
      echo "FAIL ${src#"$root"/}"
      printf '%s\n' "$out" | head -n 40
      failed=$((failed + 1))
    fi
  done
done

echo "$checked files checked, $failed failed"
[ "$failed" -eq 0 ]
