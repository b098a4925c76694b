#!/usr/bin/env bash
# Wall time of zoripost-sortlogs on a large send log folder: LOGS text logs, each with a
# picture of 20 kB, naming 1 to 3 recipients of 12 (so about 1.9 copies and one move a log).
# The folder is made on a disk (not a tmpfs), so that the syncs cost what they cost.
#
#   bench/sortlogs.sh [BUILD_DIR] [LOGS] [PARENT]   (default build, 5000 logs, /var/tmp)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build}" && pwd)
logs=${2:-5000}
parent=${3:-/var/tmp}
sorter=$build/logtool/cli/zoripost-sortlogs
[ -x "$sorter" ] || { echo "build zoripost-sortlogs first" >&2; exit 1; }

work=$(mktemp -d "$parent/zp-sortlogs-XXXXXX")
trap 'rm -rf "$work"' EXIT
df -T "$work" | tail -1 | awk '{print "file system: " $2 " on " $7}'

/usr/bin/python3 - "$work" "$logs" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20)
names = ["山田 太郎", "花子", "Jiro", "佐藤", "鈴木 一郎", "田中", "Ito", "高橋", "渡辺",
         "中村", "小林", "加藤"]
for i in range(count):
    base = "2024-01-%02d_%02d-%02d-%02d" % (1 + i // 86400 % 28, i // 3600 % 24, i // 60 % 60, i % 60)
    if i >= 86400 * 28:
        base += "_%d" % i
    who = rng.sample(range(len(names)), rng.randint(1, 3))
    lines = ["【送信日時】", "2024/01/01 0:00:00", "送信成功", "【送信先】"]
    lines += ["%s (user%d@example.jp)" % (names[n], n) for n in who]
    lines += ["【件名】", "写真 %d" % i, "【本文】", "こんにちは"]
    with open(os.path.join(folder, base + ".txt"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))
    with open(os.path.join(folder, base + ".jpg"), "wb") as f:
        f.write(rng.randbytes(20 * 1024))
PY
sync

start=$(date +%s%N)
status=0
${ZP_BENCH_WRAP:-} "$sorter" "$work" >"$work.out" 2>&1 || status=$?
end=$(date +%s%N)
ms=$(((end - start) / 1000000))
left=$(find "$work" -maxdepth 1 -type f | wc -l)
filed=$(find "$work" -mindepth 2 -type f | wc -l)
rm -f "$work.out"
echo "$logs logs: ${ms} ms (exit $status), $filed files in recipients' folders, $left left"
