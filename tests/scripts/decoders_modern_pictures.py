#!/usr/bin/python3
"""Writes HEIF, WebP and AVIF test pictures into the folder given as the only argument.

The pictures come from the formats' own encoders (heif-enc, cwebp, img2webp, avifenc) fed with
PNG files that ImageMagick draws; the PNG beside each file is what it should show. heif-enc has
no way to ask for a rotation, so one HEIC gets its 'irot' property added to the file's boxes
here. Faulty files (truncated, oversized dimensions, damaged header) are made by rewriting
encoder output.
"""
import os
import struct
import subprocess
import sys

from heif_boxes import add_property, box

OUT = sys.argv[1]
CONVERT = "/usr/bin/convert"


def path(name):
    return os.path.join(OUT, name)


def run(*args):
    subprocess.run(list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read(name):
    with open(path(name), "rb") as f:
        return bytearray(f.read())


def write(name, data):
    with open(path(name), "wb") as f:
        f.write(bytes(data))


def set_all(data, kind, width, height):
    """Writes a size into every 'ispe' property."""
    at = data.find(kind)
    while at >= 0:
        struct.pack_into(">II", data, at + 8, width, height)
        at = data.find(kind, at + 4)
    return data


def set_clap_width(data, numerator):
    """Rewrites the clean-aperture width of the file's 'clap' box (numerator, denominator)."""
    at = data.find(b"clap")
    struct.pack_into(">I", data, at + 4, numerator)
    return data


def pictures():
    # An asymmetric pattern: gradients with a red block top left and a green one bottom right,
    # so that any turn or mirroring shows.
    run(CONVERT, "-size", "96x64", "gradient:#3060d0-#f0e020", "-fill", "#e01010", "-draw",
        "rectangle 0,0 23,15", "-fill", "#10c010", "-draw", "rectangle 80,52 95,63",
        "-depth", "8", path("pattern.png"))
    run(CONVERT, path("pattern.png"), "-rotate", "-90", path("pattern_ccw.png"))
    run(CONVERT, path("pattern.png"), "-rotate", "-90", "-flop", path("pattern_ccw_flop.png"))
    run(CONVERT, "-size", "80x48", "xc:none", "-fill", "#2050e0c0", "-draw",
        "rectangle 0,0 39,47", "-fill", "#e0202060", "-draw", "circle 60,24 70,24",
        "PNG32:" + path("alpha.png"))
    run(CONVERT, "-size", "96x64", "xc:#808080", path("second.png"))

    run("heif-enc", "-q", "96", "-p", "chroma=444", path("pattern.png"), "-o",
        path("heic_plain.heic"))
    run("heif-enc", "-q", "96", "-p", "chroma=444", path("alpha.png"), "-o",
        path("heic_alpha.heic"))
    write("heic_rotated.heic", add_property(read("heic_plain.heic"), box(b"irot", b"\x01")))
    # A camera's EXIF orientation (6, turn right) travels into the HEIC unchanged; the file's own
    # (absent) rotation is what counts, as in every HEIF reader.
    run(CONVERT, path("pattern.png"), "-quality", "97", path("exif6.jpg"))
    run("/usr/bin/python3", "-c",
        "import sys; from PIL import Image; im = Image.open(sys.argv[1]); e = Image.Exif(); "
        "e[0x0112] = 6; im.save(sys.argv[1], quality=97, exif=e.tobytes())", path("exif6.jpg"))
    run("heif-enc", "-q", "96", "-p", "chroma=444", path("exif6.jpg"), "-o",
        path("heic_exif6.heic"))

    run("cwebp", "-quiet", "-lossless", path("pattern.png"), "-o", path("webp_lossless.webp"))
    # The JPEG's EXIF (orientation 6) goes into the WebP's EXIF chunk; the pixels stay as stored.
    run("cwebp", "-quiet", "-lossless", "-metadata", "exif", path("exif6.jpg"), "-o",
        path("webp_exif6.webp"))
    run("cwebp", "-quiet", "-q", "92", path("pattern.png"), "-o", path("webp_lossy.webp"))
    run("cwebp", "-quiet", "-lossless", "-exact", path("alpha.png"), "-o", path("webp_alpha.webp"))
    run("img2webp", "-lossless", "-d", "100", path("pattern.png"), path("second.png"), "-o",
        path("webp_animated.webp"))

    run("avifenc", "-l", path("pattern.png"), path("avif_lossless.avif"))
    run("avifenc", "-l", path("alpha.png"), path("avif_alpha.avif"))
    run("avifenc", "-l", "--irot", "1", "--imir", "1", path("pattern.png"),
        path("avif_rotated.avif"))
    # A clean aperture (crop box) 64x48 at 8,4, which comes before the turn.
    run(CONVERT, path("pattern.png"), "-crop", "64x48+8+4", "+repage", "-rotate", "-90",
        path("pattern_clap_ccw.png"))
    run("avifenc", "-l", "--crop", "8,4,64,48", "--irot", "1", path("pattern.png"),
        path("avif_clap.avif"))
    # One wider than the picture, which no reader can apply: the whole picture is shown.
    write("avif_clap_bad.avif", set_clap_width(read("avif_clap.avif"), 200))


def faults():
    for name in ("heic_plain.heic", "webp_lossy.webp", "webp_animated.webp", "avif_lossless.avif"):
        data = read(name)
        stem, ext = os.path.splitext(name)
        write("bad_truncated_" + stem + ext, data[:len(data) // 2])
        damaged = bytearray(data)
        damaged[12:40] = b"\xff" * 28  # past the signature: the first boxes or chunk headers
        write("bad_header_" + stem + ext, damaged)
    write("bad_huge_heic.heic", set_all(read("heic_plain.heic"), b"ispe", 60000, 60000))
    write("bad_huge_avif.avif", set_all(read("avif_lossless.avif"), b"ispe", 60000, 60000))
    # The alpha picture's item turned into an overlay whose canvas size is read from the bytes of
    # its HEVC data.
    overlay = read("heic_alpha.heic")
    at = overlay.find(b"hvc1", overlay.find(b"hvc1") + 4)
    overlay[at:at + 4] = b"iovl"
    write("bad_overlay_heic.heic", overlay)
    anim = read("webp_animated.webp")
    at = anim.find(b"VP8X") + 12  # canvas width - 1 and height - 1, 24 bits each
    anim[at:at + 6] = (59999).to_bytes(3, "little") + (59999).to_bytes(3, "little")
    write("bad_huge_webp.webp", anim)
    # A JPEG named .heic: no picture of that type, and no picture under our rule either way.
    write("not_a_picture.heic", b"this is a text file that only says it is a HEIC picture\n")


pictures()
faults()
