#!/usr/bin/env bash
# Makes the Windows installer and the portable zip in one step: builds everything for Windows
# (Qt for Windows first when the cache lacks it), installs it into a staging folder and packs
# that folder twice. Prints the two files' paths.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() {
  cat <<'TEXT'
Usage: scripts/windows/package.sh [--no-build] [--check] [--help]

Builds zoripost for 64-bit Windows (scripts/windows/build.sh --with-qt: the first run builds Qt
for Windows, about 25 minutes on 2 cores, kept in the cache), installs it with cmake --install
into build-windows/package/zoripost-<version>/ and makes from that folder
  build-windows/package/zoripost-<version>-setup.exe     the installer (NSIS)
  build-windows/package/zoripost-<version>-portable.zip  the same folder without installer

  --no-build  package what build-windows/ holds, without building
  --check     then install the installer silently under Wine into a new prefix, start the
              installed program headless, and uninstall it (packaging/windows/check-install.sh)
  --help      this text

Run scripts/install-deps.sh test first (MinGW-w64, Wine, NSIS, Python's markdown).
TEXT
}

build=1
check=0
for arg in "$@"; do
  case "$arg" in
  --no-build) build=0 ;;
  --check) check=1 ;;
  --help | -h)
    usage
    exit 0
    ;;
  *)
    usage >&2
    exit 2
    ;;
  esac
done

command -v makensis >/dev/null || {
  echo "package: makensis is missing (scripts/install-deps.sh test installs nsis)" >&2
  exit 1
}
if [ $build = 1 ]; then
  scripts/windows/build.sh --with-qt
fi
bin="build-windows"
if [ ! -f $bin/app/zoripost.exe ]; then
  echo "package: $bin/app/zoripost.exe is not built (scripts/windows/build.sh --with-qt)" >&2
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $bin/CMakeCache.txt)
[ -n "$version" ] || {
  echo "package: no project version in $bin/CMakeCache.txt" >&2
  exit 1
}
out=$PWD/$bin/package
stage=$out/zoripost-$version
setup=$out/zoripost-$version-setup.exe
zip=$out/zoripost-$version-portable.zip
rm -rf "$stage" "$setup" "$zip"
mkdir -p "$out"
cmake --install $bin --prefix "$stage" >/dev/null
packaging/windows/check-package.py portable "$stage"
packaging/windows/check-package.py closure "$stage"

# The installer's lists: every staged file put in place and, for the uninstaller, removed again
# with its folders (the deepest first), so that nothing else in the folder is touched.
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT
(
  cd "$stage"
  find . -type d | LC_ALL=C sort | while read -r dir; do
    rel=${dir#.}
    win=${rel//\//\\}
    echo "SetOutPath \"\$INSTDIR$win\""
    find "$dir" -maxdepth 1 -type f | LC_ALL=C sort | while read -r f; do
      echo "File \"$stage/${f#./}\""
    done
  done >"$lists/files.nsh"
  find . -type f | LC_ALL=C sort | while read -r f; do
    rel=${f#./}
    echo "Delete \"\$INSTDIR\\${rel//\//\\}\""
  done >"$lists/unfiles.nsh"
  find . -mindepth 1 -type d | LC_ALL=C sort -r | while read -r dir; do
    rel=${dir#./}
    echo "RMDir \"\$INSTDIR\\${rel//\//\\}\""
  done >>"$lists/unfiles.nsh"
)
icon=$bin/packaging/zoripost.ico
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGING="$stage" -DOUTFILE="$setup" \
  -DFILES="$lists/files.nsh" -DUNFILES="$lists/unfiles.nsh" -DICON="$PWD/$icon" \
  packaging/windows/installer.nsi
(cd "$out" && cmake -E tar cf "$zip" --format=zip "zoripost-$version")

echo "Windows installer: $setup"
echo "Windows portable copy: $zip"
if [ $check = 1 ]; then
  packaging/windows/check-install.sh "$setup" "$version"
fi
