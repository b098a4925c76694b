#!/usr/bin/env bash
# zoripost-jpeg.exe and zoripost-sortlogs.exe, run under Wine, give the same files as the Linux
# build's tools: JPEGs byte for byte from the same pictures and settings, and the same folder
# tree and file contents after sorting the same send-log folder.
#   windows_same_output.sh LINUX_BUILD JPEG_EXE SORTLOGS_EXE WINE_RUN
# Exit 0 when everything matches, 1 when not, 77 when the Linux tools are not built.
set -euo pipefail
linux=$1 jpeg_exe=$2 sort_exe=$3 run=$4
jpeg=$linux/picture/cli/zoripost-jpeg
sortlogs=$linux/logtool/cli/zoripost-sortlogs
if [ ! -x "$jpeg" ] || [ ! -x "$sortlogs" ]; then
  echo "skipped: the Linux tools are not built in $linux (cmake --preset default)"
  exit 77
fi
data=$(cd "$(dirname "$0")/../data" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0

# Pictures of every reader, made by ImageMagick: a large photo-like PNG, a JPEG that EXIF says
# to turn, a GIF with a palette, a 24-bit BMP, a small picture to enlarge. Names and folders
# hold Japanese and a character code page 932 lacks ("é"), which the Windows tools read from
# the wide command line.
mkdir "$tmp/in"
convert -size 1600x1200 plasma:fractal -seed 3 "$tmp/in/写真 é.png"
convert -size 900x600 plasma:fractal -seed 5 -quality 92 -orient RightTop "$tmp/in/turned.jpg"
convert -size 300x200 plasma:fractal -seed 7 -colors 64 "$tmp/in/palette.gif"
convert -size 500x700 gradient:navy-orange "BMP3:$tmp/in/gradient.bmp"
convert -size 60x40 plasma:fractal -seed 9 "$tmp/in/small.png"

n=0
for opts in "--preset 1 --limit 20" "--size 240x320 --cut --turn none" \
            "--preset 6 --quality 70 --no-enlarge" "--size 1920x1080 --quality 100 --turn right"; do
  n=$((n + 1))
  wout="$tmp/w$n 出力é"
  mkdir "$tmp/l$n" "$wout"
  # shellcheck disable=SC2086
  "$jpeg" -q --jobs 2 $opts --out "$tmp/l$n" "$tmp"/in/* || true
  # shellcheck disable=SC2086
  "$run" "$jpeg_exe" -q --jobs 2 $opts --out "$wout" "$tmp"/in/* || true
  for f in "$tmp/l$n"/*; do
    name=$(basename "$f")
    if cmp -s "$f" "$wout/$name"; then
      echo "same  $opts  $name"
    else
      echo "DIFFERENT  $opts  $name"
      failed=1
    fi
  done
  if [ "$(ls "$tmp/l$n")" != "$(ls "$wout")" ]; then
    echo "DIFFERENT file lists with $opts: $(ls "$tmp/l$n" | tr '\n' ' ') / $(ls "$wout" | tr '\n' ' ')"
    failed=1
  fi
  [ -n "$(ls "$tmp/l$n")" ] || { echo "no output with $opts"; failed=1; }
done

# A send-log folder: the test logs, each several times under other names, with the picture the
# HTML log shows, and a recipient whose name Windows would not take as it is.
mkdir "$tmp/logs"
for i in 1 2 3; do
  for f in "$data"/sendlog/*; do
    base=$(basename "$f")
    # The test logs are kept in UTF-8; the program writes Shift-JIS with CR LF.
    iconv -f UTF-8 -t CP932 "$f" | sed 's/$/\r/' >"$tmp/logs/2011-03-0${i}_${base}"
  done
done
cp "$tmp/l1/$(ls "$tmp/l1" | head -n 1)" "$tmp/logs/2011-03-04_05-06-07.jpg"
cp -r "$tmp/logs" "$tmp/logs-linux"
cp -r "$tmp/logs" "$tmp/ログ é-windows"
"$sortlogs" "$tmp/logs-linux" >"$tmp/sort-linux.txt" 2>&1 || echo "linux exit $?" >>"$tmp/sort-linux.txt"
"$run" "$sort_exe" "$tmp/ログ é-windows" >"$tmp/sort-windows.txt" 2>&1 || echo "windows exit $?" >>"$tmp/sort-windows.txt"
if diff -r "$tmp/logs-linux" "$tmp/ログ é-windows"; then
  echo "same  sorted log folder ($(find "$tmp/logs-linux" -type f | wc -l) files)"
else
  echo "DIFFERENT sorted log folders"
  failed=1
fi
if [ "$(cd "$tmp/logs-linux" && find . | sort)" = "$(cd "$tmp/logs" && find . | sort)" ]; then
  echo "the sorting moved nothing"
  failed=1
fi
exit "$failed"
