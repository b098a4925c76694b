#!/usr/bin/env bash
# Times zoripost-jpeg side by side with peer tools doing the same job: fit a picture into a
# frame (no turning, no cutting), write a JPEG whose quality steps down until it is under a
# size limit. Prints a Markdown table of median times, ratios and peak memory.
#
#   bench/compare.sh [BUILD_DIR] [RUNS]     (default build-bench, 5 runs per command)
#   ZP_COMPARE_INPUTS="photo24.jpg" bench/compare.sh    only some of the inputs
#
# Needs: hyperfine, ImageMagick, GraphicsMagick, vipsthumbnail, djpeg/cjpeg, bmptopnm,
# heif-enc/heif-convert, cwebp/dwebp, avifenc/avifdec, Debian's python3
# with Pillow, GNU time (scripts/install-deps.sh bench installs them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(cd "${1:-$root/build-bench}" && pwd)
runs=${2:-5}
zp=$build/picture/cli/zoripost-jpeg
py=/usr/bin/python3
im=/usr/bin/convert-im6.q16 # ImageMagick's own binary, not a wrapper on PATH
[ -x "$build/bench/png_inflate_floor" ] || { echo "build the benchmarks first: cmake --build --preset bench" >&2; exit 1; }
[ -x "$zp" ] || { echo "build zoripost-jpeg first: cmake --preset bench && cmake --build --preset bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

inputs=${ZP_COMPARE_INPUTS:-photo12.jpg photo24.jpg shot4k.png photo8.bmp photo12.heic photo12.webp photo12.avif}
wanted() { [[ " $inputs " == *" $1 "* ]]; }
echo "Generating inputs in $work ..." >&2
make_photo() { "$py" "$root/tests/scripts/picture_make_photo.py" "$@"; }
if wanted photo12.jpg || wanted photo12.heic || wanted photo12.webp || wanted photo12.avif; then
    make_photo 4240 2832 photo12.jpg
fi
wanted photo24.jpg && make_photo 6000 4000 photo24.jpg
wanted photo8.bmp && make_photo 3264 2448 photo8.bmp
# A 4K screenshot: flat panels, hairlines and text, as a desktop capture looks.
wanted shot4k.png && "$py" - <<'PY'
from PIL import Image, ImageDraw
import random
random.seed(4)
im = Image.new('RGB', (3840, 2160), (236, 236, 236))
d = ImageDraw.Draw(im)
for i in range(160):
    x, y = random.randrange(3700), random.randrange(2050)
    w, h = random.randrange(80, 900), random.randrange(30, 500)
    d.rectangle([x, y, x + w, y + h], fill=tuple(random.randrange(256) for _ in range(3)),
                outline=(40, 40, 40))
    for ty in range(y + 6, y + h - 10, 14):
        d.text((x + 6, ty), 'zoripost window %d line %d' % (i, ty), fill=(10, 10, 10))
im.save('shot4k.png')
PY

# The phones' and browsers' formats, made from the same 12-megapixel photo by the libraries'
# own encoders at their usual settings (x265 for HEIC, libaom at speed 8 for AVIF).
wanted photo12.heic && heif-enc -q 50 -o photo12.heic photo12.jpg >/dev/null
wanted photo12.webp && cwebp -quiet -q 80 photo12.jpg -o photo12.webp
wanted photo12.avif && avifenc -s 8 -j 2 photo12.jpg photo12.avif >/dev/null
wanted photo12.jpg || rm -f photo12.jpg

# Smallest DCT scale m/8 that leaves at least a factor of two over the fitted size.
fit_and_scale() { # sw sh W H -> "w h m"
    "$py" -c "
import sys, math
sw, sh, W, H = map(int, sys.argv[1:])
w, h = W, sh * W // sw
if h > H: h, w = H, sw * H // sh
m = next((m for m in range(1, 9) if math.ceil(sw * m / 8) >= 2 * w and math.ceil(sh * m / 8) >= 2 * h), 8)
print(w, h, m)" "$@"
}

size_of() { identify -format '%w %h\n' "$1"; }

results=$work/results.tsv
: > "$results"
for input in $inputs; do
    read -r sw sh < <(size_of "$input")
    for frame in 240x320 480x854; do
        W=${frame%x*}; H=${frame#*x}
        read -r fw fh m < <(fit_and_scale "$sw" "$sh" "$W" "$H")
        for limit in 20 100; do
            loop() { # a shell loop lowering the quality by 5 until the file is under the limit
                echo "q=90; while :; do $1; s=\$(stat -c %s $2); [ \$s -lt $((limit * 1024)) ] && break; q=\$((q-5)); [ \$q -lt 1 ] && break; done"
            }
            declare -A cmd=()
            cmd[zoripost-jpeg]="$zp -q --size ${W}x${H} --turn none --no-cut --enlarge --quality 90 --limit $limit --out $work $input"
            cmd[convert]="$im $input -resize ${W}x${H} -quality 90 -define jpeg:extent=${limit}kB out_im.jpg"
            cmd[convert-jpeg:size]="$im -define jpeg:size=$((2 * fw))x$((2 * fh)) $input -resize ${W}x${H} -quality 90 -define jpeg:extent=${limit}kB out_im2.jpg"
            cmd[vipsthumbnail]=$(loop "vipsthumbnail $input -s ${W}x${H} -o \"out_vips.jpg[Q=\$q]\"" out_vips.jpg)
            cmd[pillow]="$py $here/pillow_fit.py $input $W $H $limit out_pil.jpg"
            cmd[gm]=$(loop "gm convert -size $((2 * fw))x$((2 * fh)) $input -resize ${W}x${H} -quality \$q out_gm.jpg" out_gm.jpg)
            if [[ $input == *.jpg ]]; then
                # One pass, no fit to the frame: the floor of decoding and encoding at that scale.
                cmd[djpeg-cjpeg]="djpeg -scale $m/8 $input | cjpeg -quality 90 > out_dj.jpg"
                cmd[djpeg-only]="djpeg -scale $m/8 $input > /dev/null"
            fi
            # The library's own command-line decoder writing raw pixels at full size: the floor
            # of decoding the whole picture (we decode a still WebP at a reduced size).
            case $input in
            *.heic) cmd[decoder]="heif-convert -q 90 $input out_floor.y4m > /dev/null" ;;
            *.webp) cmd[decoder]="dwebp -quiet $input -ppm -o /dev/null" ;;
            *.avif) cmd[decoder]="avifdec -j 1 $input out_floor.y4m > /dev/null" ;;
            # netpbm's plain conversion of the whole file, written nowhere.
            *.bmp) cmd[decoder]="bmptopnm $input > /dev/null" ;;
            # zlib inflating the concatenated IDAT data into a reused buffer, nothing else.
            *.png) cmd[decoder]="$build/bench/png_inflate_floor $input" ;;
            esac
            # The floors right after ours, so that both are timed with the machine in the same
            # state (its speed drifts over the minutes the slow peers take).
            names=(zoripost-jpeg)
            [[ $input == *.jpg ]] && names+=(djpeg-only djpeg-cjpeg)
            [[ -n ${cmd[decoder]:-} ]] && names+=(decoder)
            names+=(convert convert-jpeg:size vipsthumbnail pillow gm)
            echo "== $input ($sw x $sh) into $frame, limit $limit kB (fit $fw x $fh, DCT scale $m/8)" >&2
            for n in "${names[@]}"; do
                hyperfine -N --style none --warmup 1 --runs "$runs" --export-json "$work/h.json" \
                    "bash -c '${cmd[$n]//\'/\'\\\'\'}'" >/dev/null 2>&1 ||
                    { echo "   $n failed" >&2; continue; }
                median=$("$py" -c "import json; print(json.load(open('$work/h.json'))['results'][0]['median'])")
                rss=$( { /usr/bin/time -v bash -c "${cmd[$n]}" >/dev/null; } 2>&1 |
                       awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}')
                printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$input" "$frame" "$limit" "$n" "$median" "$rss" "$m" >> "$results"
                printf '   %-18s %8.1f ms %8d KiB\n' "$n" "$(awk "BEGIN { print $median * 1000 }")" "$rss" >&2
            done
            unset cmd
        done
    done
done

"$py" - "$results" <<'PY'
import sys, collections
rows = [l.rstrip('\n').split('\t') for l in open(sys.argv[1])]
cases = collections.OrderedDict()
for inp, frame, limit, name, median, rss, m in rows:
    cases.setdefault((inp, frame, limit, m), {})[name] = (float(median) * 1000, int(rss) / 1024)
# The peers that do the whole job. The floor only decodes: djpeg at the DCT scale we decode
# at for JPEGs, bmptopnm for BMPs, zlib inflating the image data alone for PNGs
# (bench/png_inflate_floor), the format library's own decoder tool for the others
# (djpeg | cjpeg also encodes once, without fitting).
peers = ['convert', 'convert-jpeg:size', 'vipsthumbnail', 'pillow', 'gm']
floors = [('djpeg-only', 'djpeg -scale %s/8'), ('decoder', None)]
tools = {'.heic': 'heif-convert', '.webp': 'dwebp', '.avif': 'avifdec', '.bmp': 'bmptopnm',
         '.png': 'zlib inflate'}
print('| input | frame | limit | zoripost-jpeg ms | ' + ' | '.join(p + ' ms' for p in peers) +
      ' | fastest peer | ours / fastest | floor ms | ours / floor | djpeg\\|cjpeg ms | our peak MiB |')
print('|' + '---|' * (len(peers) + 10))
for (inp, frame, limit, m), t in cases.items():
    ours = t['zoripost-jpeg'][0]
    cells = ['%.0f' % t[p][0] if p in t else '-' for p in peers]
    fastest = min((t[p][0], p) for p in peers if p in t)
    floor = next(((t[k][0], (label % m) if label else tools.get(inp[inp.rfind('.'):], k))
                  for k, label in floors if k in t), None)
    chain = t.get('djpeg-cjpeg')
    print('| %s | %s | %s kB | **%.0f** | %s | %s | %.2f | %s | %s | %s | %.1f |' % (
        inp, frame, limit, ours, ' | '.join(cells), fastest[1], ours / fastest[0],
        '%.0f (%s)' % floor if floor else '-', '%.2f' % (ours / floor[0]) if floor else '-',
        '%.0f' % chain[0] if chain else '-', t['zoripost-jpeg'][1]))
print()
print('Peak memory on photo24.jpg (MiB, max over its cases):')
mem = collections.defaultdict(float)
for (inp, frame, limit, m), t in cases.items():
    if inp == 'photo24.jpg':
        for n, (_, r) in t.items():
            mem[n] = max(mem[n], r)
print(' | '.join('%s %.1f' % (n, r) for n, r in sorted(mem.items(), key=lambda x: x[1])))
PY
