#!/usr/bin/env bash
# How close the JPEG that meets a size limit comes to the fitted picture: zoripost-jpeg (the
# steps of 5, and --fine) against ImageMagick's jpeg:extent, against the best single quality
# that fits (cjpeg -optimize, bisection over 1..100, 4:2:0 and 4:4:4), and against the loop as
# it was with libjpeg's standard Huffman tables ("before": cjpeg with our settings, without
# -optimize, stepping down by 5). Every encoder gets the same fitted picture, which
# zoripost-jpeg writes losslessly with --fitted-ppm. Prints Markdown tables: every case, then
# the cases where the limit decides the quality (the first encoding at 90 does not fit).
#
#   bench/quality.sh [BUILD_DIR] > table.md      (default: build)
#
# Needs: ImageMagick, libjpeg-turbo-progs (cjpeg/djpeg), Debian's python3 with Pillow, cc.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
zp=$build/picture/cli/zoripost-jpeg
py=/usr/bin/python3
im=/usr/bin/convert-im6.q16 # ImageMagick's own binary, not a wrapper on PATH
[ -x "$zp" ] || { echo "build zoripost-jpeg first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/metrics" "$here/quality_metrics.c" -lm

# Two camera-like scenes (12 and 24 megapixels) and the pipeline tests' photo of graded noise.
photos=${ZP_QUALITY_PHOTOS:-scene12 scene24 grain12}
echo "Generating photos in $work ..." >&2
for p in $photos; do
    case $p in
    scene12) "$py" "$here/make_scene.py" 4000 3000 1 "$work/$p.jpg" ;;
    scene24) "$py" "$here/make_scene.py" 6000 4000 2 "$work/$p.jpg" ;;
    grain12) "$py" "$here/../tests/scripts/picture_make_photo.py" 4240 2832 "$work/$p.jpg" ;;
    *) echo "unknown photo $p" >&2; exit 2 ;;
    esac
done
frames=${ZP_QUALITY_FRAMES:-240x160 480x320}
limits=${ZP_QUALITY_LIMITS:-10 20 50 100}

# "PSNR SSIM" of a JPEG against the fitted picture.
metrics() { djpeg -pnm "$2" >"$work/decoded.ppm" && "$work/metrics" "$1" "$work/decoded.ppm"; }
fits() { [ "$(stat -c %s "$1")" -lt $(($2 * 1024)) ]; }
row() { # method file quality fitted
    read -r psnr ssim < <(metrics "$4" "$2")
    printf '| %s | %d | %s | %s | %s |\n' "$1" "$(stat -c %s "$2")" "$3" "$psnr" "$ssim"
    echo "$1 $psnr" >>"$work/case"
}
# The highest quality in 1..100 whose cjpeg -optimize output is under the limit.
best_single() { # fitted limit sample out
    local lo=0 hi=101 mid
    while [ $((hi - lo)) -gt 1 ]; do
        mid=$(((lo + hi) / 2))
        cjpeg -optimize -sample "$3" -quality "$mid" "$1" >"$work/try.jpg"
        if fits "$work/try.jpg" "$2"; then lo=$mid; cp "$work/try.jpg" "$4"; else hi=$mid; fi
    done
    echo "$lo"
}
# The loop before optimised tables: standard tables, same settings otherwise.
before() { # fitted limit out
    local q=90
    while :; do
        cjpeg -dct float -baseline -quality "$q" "$1" >"$3"
        if fits "$3" "$2" || [ $((q - 5)) -lt 1 ]; then break; fi
        q=$((q - 5))
    done
    echo "$q"
}
last_quality() { sed -n 's/.*画質\([0-9]*\) .*/\1/p' "$1" | tail -n 1; }

summary=$work/summary
printf '| Photo | Frame | Limit | Method | Bytes | Quality | Luma PSNR (dB) | SSIM |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for p in $photos; do
    for f in $frames; do
        for l in $limits; do
            d=$work/$p-$f-$l
            mkdir -p "$d/steps" "$d/fine"
            "$zp" --size "$f" --turn none --limit "$l" --fitted-ppm --out "$d/steps" \
                "$work/$p.jpg" >"$d/steps.txt"
            "$zp" --size "$f" --turn none --limit "$l" --fine --out "$d/fine" \
                "$work/$p.jpg" >"$d/fine.txt"
            fitted=$d/steps/zp_$p.ppm
            qs=$(last_quality "$d/steps.txt")
            qf=$(last_quality "$d/fine.txt")
            # Our encoder is libjpeg with cjpeg's settings: the bytes must be cjpeg's.
            cjpeg -dct float -baseline -optimize -quality "$qs" "$fitted" | cmp -s - "$d/steps/zp_$p.jpg" ||
                echo "warning: $p $f $l: our JPEG differs from cjpeg's at quality $qs" >&2
            qb=$(before "$fitted" "$l" "$d/before.jpg")
            "$im" "$fitted" -define jpeg:extent=$((l * 1024 - 1)) "$d/im.jpg"
            qi=$("$im" "$d/im.jpg" -format %Q info:)
            q420=$(best_single "$fitted" "$l" 2x2 "$d/best420.jpg")
            q444=$(best_single "$fitted" "$l" 1x1 "$d/best444.jpg")
            : >"$work/case"
            {
                row "before (standard tables)" "$d/before.jpg" "$qb" "$fitted"
                row "steps of 5" "$d/steps/zp_$p.jpg" "$qs" "$fitted"
                row "--fine" "$d/fine/zp_$p.jpg" "$qf" "$fitted"
                row "ImageMagick jpeg:extent" "$d/im.jpg" "$qi" "$fitted"
                row "best single 4:2:0" "$d/best420.jpg" "$q420" "$fitted"
                row "best single 4:4:4" "$d/best444.jpg" "$q444" "$fitted"
            } | sed "s/^/| $p | $f | $l kB /"
            for j in before.jpg steps/zp_$p.jpg fine/zp_$p.jpg; do
                fits "$d/$j" "$l" || echo "warning: $p $f $l: $j is over the limit" >&2
            done
            # One line per case: photo frame limit qbefore qsteps qfine PSNRs in row order.
            echo "$p $f $l $qb $qs $qf $(awk '{print $NF}' "$work/case" | tr '\n' ' ')" >>"$summary"
        done
    done
done

echo
echo 'Cases where the limit decides the quality (luma PSNR in dB; Δ = --fine minus the other):'
echo
printf '| Photo | Frame | Limit | Quality before / steps / fine | Before | Steps | Fine | Δ extent | Δ best 4:2:0 |\n'
printf '|---|---|---|---|---|---|---|---|---|\n'
awk '$5 < 90 {
    printf "| %s | %s | %s kB | %s / %s / %s | %s | %s | %s | %+.2f | %+.2f |\n",
        $1, $2, $3, $4, $5, $6, $7, $8, $9, $9 - $10, $9 - $11 }' "$summary"
