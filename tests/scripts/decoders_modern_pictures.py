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


def boxes(data, start, end):
    """(type, start, header size, end) of the boxes between start and end."""
    out = []
    while start + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, start)
        out.append((kind, start, 8, start + size))
        start += size
    return out


def child(data, parent, kind, full=False):
    _, start, header, end = parent
    for box in boxes(data, start + header + (4 if full else 0), end):
        if box[0] == kind:
            return box
    raise ValueError(kind)


def shift_iloc(data, iloc, delta):
    """Moves every file-offset extent of the iloc box by delta bytes."""
    at = iloc[1] + 8
    version = data[at]
    at += 4
    offset_size, length_size = data[at] >> 4, data[at] & 15
    base_size, index_size = data[at + 1] >> 4, data[at + 1] & 15
    at += 2
    count_size = 2 if version < 2 else 4
    count = int.from_bytes(data[at:at + count_size], "big")
    at += count_size

    def shifted(pos, size):
        value = int.from_bytes(data[pos:pos + size], "big") + delta
        data[pos:pos + size] = value.to_bytes(size, "big")

    for _ in range(count):
        at += count_size  # item id
        method = 0
        if version in (1, 2):
            method = int.from_bytes(data[at:at + 2], "big") & 15
            at += 2
        at += 2  # data reference index
        base_at = at
        at += base_size
        extents = int.from_bytes(data[at:at + 2], "big")
        at += 2
        if method == 0 and base_size and int.from_bytes(data[base_at:at - 2], "big"):
            shifted(base_at, base_size)
            method = -1
        for _ in range(extents):
            if version in (1, 2) and index_size:
                at += index_size
            if method == 0 and offset_size:
                shifted(at, offset_size)
            at += offset_size + length_size


def add_heif_rotation(data, quarter_turns):
    """Adds an essential 'irot' property to the primary item of a file written by heif-enc."""
    top = boxes(data, 0, len(data))
    meta = next(b for b in top if b[0] == b"meta")
    pitm = child(data, meta, b"pitm", full=True)
    primary = struct.unpack_from(">H", data, pitm[1] + 12)[0]
    iprp = child(data, meta, b"iprp", full=True)
    ipco = child(data, iprp, b"ipco")
    ipma = child(data, iprp, b"ipma")
    index = len(boxes(data, ipco[1] + 8, ipco[3])) + 1
    version, flags = data[ipma[1] + 8], int.from_bytes(data[ipma[1] + 9:ipma[1] + 12], "big")
    assert version == 0 and not flags & 1 and index < 128
    irot = struct.pack(">I4sB", 9, b"irot", quarter_turns)
    grow = len(irot) + 1
    if any(b[0] == b"mdat" and b[1] > meta[1] for b in top):
        shift_iloc(data, child(data, meta, b"iloc", full=True), grow)
    # The primary item's association list in ipma gets one more entry.
    at = ipma[1] + 12
    count = struct.unpack_from(">I", data, at)[0]
    at += 4
    for _ in range(count):
        item, n = struct.unpack_from(">HB", data, at)
        if item == primary:
            data[at + 2] = n + 1
            data[at + 3 + n:at + 3 + n] = bytes([0x80 | index])
            break
        at += 3 + n
    data[ipco[3]:ipco[3]] = irot  # ipco ends right before ipma
    for box, extra in ((meta, grow), (iprp, grow), (ipco, len(irot))):
        struct.pack_into(">I", data, box[1], box[3] - box[1] + extra)
    ipma_start = ipma[1] + len(irot)
    struct.pack_into(">I", data, ipma_start, ipma[3] - ipma[1] + 1)
    return data


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
    write("heic_rotated.heic", add_heif_rotation(read("heic_plain.heic"), 1))
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
