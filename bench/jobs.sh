#!/usr/bin/env bash
# Throughput of zoripost-jpeg on a batch: 16 photos of 12 megapixels (4240x2832 JPEG) into
# 240x320 under 20 kB, converted one at a time (--jobs 1) and on every core (--jobs N).
# Prints the median wall time of each over RUNS runs, taken in turns, and the speed-up.
#
#   bench/jobs.sh [BUILD_DIR] [RUNS] [JOBS]   (default build-bench, 7 runs, one job per core)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build-bench}" && pwd)
runs=${2:-7}
jobs=${3:-$(nproc)}
zp=$build/picture/cli/zoripost-jpeg
[ -x "$zp" ] || { echo "build zoripost-jpeg first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# One photo, copied: every file costs the same, and the copies are in the page cache.
/usr/bin/python3 "$root/tests/scripts/picture_make_photo.py" 4240 2832 p00.jpg
for i in $(seq -w 1 15); do cp p00.jpg "p$i.jpg"; done
mkdir out

timed() { # prints the wall time of one batch in ms
  local start end
  start=$(date +%s%N)
  "$zp" -q --jobs "$1" --preset 1 --limit 20 --turn none --out out p*.jpg
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
one=() several=()
for _ in $(seq "$runs"); do
  one+=("$(timed 1)")
  several+=("$(timed "$jobs")")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
m1=$(median "${one[@]}")
mn=$(median "${several[@]}")
echo "16 photos, one at a time: $m1 ms (runs: ${one[*]})"
echo "16 photos, --jobs $jobs: $mn ms (runs: ${several[*]})"
awk -v a="$m1" -v b="$mn" 'BEGIN {printf "speed-up: %.2f\n", a / b}'
