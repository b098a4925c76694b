#!/usr/bin/python3
"""Writes the decoder test pictures into the folder given as the only argument.

Pictures come from ImageMagick and Pillow; a few variants no common tool writes (RLE4, top-down
rows, OS/2 and the 52/56-byte headers, a local GIF colour table) are made by rewriting the bytes
of a tool-written file, so their pixels equal that file's.  Faulty files for the failure tests
are made the same way.
"""
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image

OUT = sys.argv[1]
CONVERT = "/usr/bin/convert"


def path(name):
    return os.path.join(OUT, name)


def magick(*args):
    subprocess.run([CONVERT, *args], check=True)


def pattern(width, height, alpha=False):
    """A picture whose every pixel differs from its neighbours in some channel."""
    im = Image.new("RGBA" if alpha else "RGB", (width, height))
    px = im.load()
    for y in range(height):
        for x in range(width):
            rgb = (x * 7 % 256, y * 9 % 256, (x * y * 3 + 40) % 256)
            px[x, y] = rgb + ((x * 11 + y * 5) % 256,) if alpha else rgb
    return im


def smooth(width, height):
    """A photo-like picture (smooth gradients and a few edges) for JPEG scaling."""
    im = Image.new("RGB", (width, height))
    px = im.load()
    for y in range(height):
        for x in range(width):
            edge = 60 if (x // 80 + y // 60) % 2 else 0
            px[x, y] = ((x * 255 // width + edge) % 256, y * 255 // height, (x + y) * 128 // (width + height) + 60)
    return im


# ---------------------------------------------------------------- BMP

def bmp_fields(data):
    info = struct.unpack_from("<I", data, 14)[0]
    offset = struct.unpack_from("<I", data, 10)[0]
    return info, offset


def bmp_top_down(src, dst):
    """Stores the rows first to last with a negative height."""
    data = bytearray(open(src, "rb").read())
    info, offset = bmp_fields(data)
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    stride = (width * bits + 31) // 32 * 4
    rows = [data[offset + i * stride: offset + (i + 1) * stride] for i in range(height)]
    data[offset: offset + stride * height] = b"".join(reversed(rows))
    struct.pack_into("<i", data, 22, -height)
    open(dst, "wb").write(data)


def bmp_cut_header(src, dst, keep, size, compression=None):
    """Keeps the first keep bytes of a v5 header (its masks sit at 40..56) and labels it size:
    40 with masks after it (BITFIELDS, ALPHABITFIELDS), or the 52- and 56-byte headers."""
    data = bytearray(open(src, "rb").read())
    info, offset = bmp_fields(data)
    del data[14 + keep: 14 + info]
    struct.pack_into("<I", data, 14, size)
    struct.pack_into("<I", data, 10, offset - (info - keep))
    struct.pack_into("<I", data, 2, len(data))
    if compression is not None:
        struct.pack_into("<I", data, 30, compression)
    open(dst, "wb").write(data)


def bmp_without_masks(src, dst):
    """A 16-bit 5-5-5 BITFIELDS file as the plain BI_RGB form (whose masks are the defaults)."""
    data = bytearray(open(src, "rb").read())
    info, offset = bmp_fields(data)
    assert struct.unpack_from("<III", data, 54) == (0x7C00, 0x03E0, 0x001F)
    del data[54:66]
    struct.pack_into("<I", data, 30, 0)
    struct.pack_into("<I", data, 10, offset - 12)
    struct.pack_into("<I", data, 2, len(data))
    open(dst, "wb").write(data)


def rle4_rows(indices, width, height):
    """RLE4 with encoded runs, literal runs (odd and even lengths) and end-of-line marks."""
    out = bytearray()
    for y in range(height):
        row = indices[y * width:(y + 1) * width]
        x = 0
        while x < width:
            run = 1
            while x + run < width and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 3 or width - x < 3:
                out += bytes([run, row[x] << 4 | row[x]])
                x += run
                continue
            n = min(width - x, 9 + y % 5)  # literal lengths 9..13
            lit = row[x:x + n] + [0]
            out += bytes([0, n]) + bytes(lit[i] << 4 | lit[i + 1] for i in range(0, n, 2))
            if ((n + 1) // 2) % 2:
                out += b"\0"
            x += n
        out += b"\0\0"
    return out + b"\0\1"


def bmp_rle4(src, dst):
    """Re-encodes an uncompressed 4-bit file (bottom-up) as RLE4."""
    data = open(src, "rb").read()
    info, offset = bmp_fields(data)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 4 + 31) // 32 * 4
    indices = []
    for y in range(height):
        row = data[offset + y * stride: offset + (y + 1) * stride]
        for x in range(width):
            indices.append(row[x // 2] >> 4 if x % 2 == 0 else row[x // 2] & 15)
    pixels = rle4_rows(indices, width, height)
    head = bytearray(data[:offset])
    struct.pack_into("<I", head, 30, 2)
    struct.pack_into("<I", head, 34, len(pixels))
    struct.pack_into("<I", head, 2, len(head) + len(pixels))
    open(dst, "wb").write(bytes(head) + pixels)


def make_bmps():
    pattern(37, 29).save(path("src.png"))
    pattern(37, 29, alpha=True).save(path("src_alpha.png"))
    src = path("src.png")
    magick(src, "-monochrome", "BMP3:" + path("bmp_1bit.bmp"))
    magick(src, "-colors", "16", "-compress", "None", "BMP3:" + path("bmp_4bit.bmp"))
    magick(src, "-colors", "200", "-compress", "None", "BMP3:" + path("bmp_8bit.bmp"))
    magick(src, "-colors", "200", "-compress", "RLE", "BMP3:" + path("bmp_rle8.bmp"))
    magick(src, "BMP3:" + path("bmp_24bit.bmp"))
    magick(src, "BMP2:" + path("bmp_os2_24bit.bmp"))
    magick(src, "-colors", "200", "-compress", "None", "BMP2:" + path("bmp_os2_8bit.bmp"))
    magick(src, "-define", "bmp:subtype=RGB555", "BMP:" + path("bmp_555_v5.bmp"))
    magick(src, "-define", "bmp:subtype=RGB565", "BMP:" + path("bmp_565_v5.bmp"))
    magick(src, "-define", "bmp:format=bmp4", path("bmp_v4_24bit.bmp"))
    magick(path("src_alpha.png"), "BMP:" + path("bmp_v5_alpha.bmp"))
    bmp_top_down(path("bmp_24bit.bmp"), path("bmp_24bit_topdown.bmp"))
    bmp_top_down(path("bmp_8bit.bmp"), path("bmp_8bit_topdown.bmp"))
    bmp_cut_header(path("bmp_555_v5.bmp"), path("bmp_555_bitfields.bmp"), 52, 40)
    bmp_cut_header(path("bmp_565_v5.bmp"), path("bmp_52_header.bmp"), 52, 52)
    bmp_cut_header(path("bmp_v5_alpha.bmp"), path("bmp_56_header.bmp"), 56, 56)
    bmp_cut_header(path("bmp_v5_alpha.bmp"), path("bmp_alphabitfields.bmp"), 56, 40, 6)
    bmp_without_masks(path("bmp_555_bitfields.bmp"), path("bmp_16bit_rgb.bmp"))
    bmp_rle4(path("bmp_4bit.bmp"), path("bmp_rle4.bmp"))
    im = Image.open(src)
    im.save(path("pil_24bit.bmp"))
    im.convert("L").save(path("pil_grey.bmp"))
    im.convert("1").save(path("pil_1bit.bmp"))
    im.convert("P").save(path("pil_palette.bmp"))
    im.convert("RGBA").save(path("pil_32bit.bmp"))


# ---------------------------------------------------------------- PNG and GIF

def make_pngs():
    src, alpha = path("src.png"), path("src_alpha.png")
    magick(src, "-interlace", "PNG", path("png_interlaced.png"))
    magick(alpha, "-depth", "16", "-interlace", "PNG", path("png_rgba16_interlaced.png"))
    magick(src, "-depth", "16", path("png_rgb16.png"))
    magick(src, "-colorspace", "Gray", "-depth", "2", "PNG8:" + path("png_grey2.png"))
    im = Image.open(src)
    im.convert("LA").save(path("png_grey_alpha.png"))
    Image.open(alpha).convert("LA").save(path("png_grey_alpha_real.png"))
    magick(src, "-colorspace", "Gray", "-depth", "16", path("png_grey16.png"))
    pal = im.convert("P", palette=Image.ADAPTIVE, colors=16)
    pal.save(path("png_palette_trns.png"), transparency=3)
    pal.save(path("png_palette_4bit.png"), bits=4)
    Image.open(alpha).quantize(colors=40).save(path("png_palette_alpha.png"))
    im.save(path("png_rgb_trns.png"), transparency=im.getpixel((3, 2)))
    Image.open(alpha).save(path("png_rgba.png"))
    # A zTXt chunk that inflates to 64 MB in front of a small picture: it must be skipped.
    png = open(path("png_rgba.png"), "rb").read()
    payload = b"Comment\0\0" + zlib.compress(b"\0" * (64 << 20), 9)
    chunk = struct.pack(">I", len(payload)) + b"zTXt" + payload + struct.pack(">I", zlib.crc32(b"zTXt" + payload))
    open(path("png_text_bomb.png"), "wb").write(png[:33] + chunk + png[33:])


def gif_global_to_local(src, dst):
    """Moves the global colour table into the first frame's image descriptor."""
    data = bytearray(open(src, "rb").read())
    flags = data[10]
    assert flags & 0x80
    size = 3 << ((flags & 7) + 1)
    table = data[13:13 + size]
    del data[13:13 + size]
    data[10] = flags & 0x70
    pos = 13
    while data[pos] == 0x21:  # skip extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C
    data[pos + 9] = (data[pos + 9] & 0x40) | 0x80 | (flags & 7)
    data[pos + 10:pos + 10] = table
    open(dst, "wb").write(data)


def make_gifs():
    src, alpha = path("src.png"), path("src_alpha.png")
    magick(src, "-colors", "64", path("gif_plain.gif"))
    magick(src, "-colors", "64", "-interlace", "GIF", path("gif_interlaced.gif"))
    magick(alpha, "-channel", "A", "-threshold", "50%", "+channel", "-colors", "32", path("gif_transparent.gif"))
    magick(src, "-colors", "64", "-repage", "50x40+6+4", path("gif_offset_frame.gif"))
    magick(src, "(", src, "-negate", ")", "-colors", "64", "-loop", "0", path("gif_animated.gif"))
    gif_global_to_local(path("gif_plain.gif"), path("gif_local_table.gif"))
    im = Image.open(src).convert("P", palette=Image.ADAPTIVE, colors=32)
    im.save(path("pil_transparent.gif"), transparency=5)


# ---------------------------------------------------------------- JPEG

def make_jpegs():
    src = path("src.png")
    smooth(640, 480).save(path("smooth.png"))
    magick(src, "-quality", "92", "-sampling-factor", "1x1", path("jpeg_444.jpg"))
    magick(src, "-quality", "92", "-sampling-factor", "2x2", path("jpeg_420.jpg"))
    magick(src, "-quality", "92", "-interlace", "Plane", path("jpeg_progressive.jpg"))
    magick(src, "-colorspace", "Gray", path("jpeg_grey.jpg"))
    magick(src, "-colorspace", "CMYK", path("jpeg_cmyk_magick.jpg"))
    Image.open(src).convert("CMYK").save(path("jpeg_cmyk_pil.jpg"), quality=95)
    magick(path("smooth.png"), "-quality", "90", path("jpeg_smooth.jpg"))
    magick(path("smooth.png"), "-quality", "90", "-interlace", "Plane", path("jpeg_smooth_progressive.jpg"))
    im = Image.open(src)
    for orientation in range(1, 9):
        exif = Image.Exif()
        exif[0x0112] = orientation
        im.save(path("jpeg_orient%d.jpg" % orientation), quality=95, exif=exif.tobytes())
    exif = Image.Exif()
    exif[0x0112] = 6
    smooth(640, 480).save(path("jpeg_smooth_orient6.jpg"), quality=90, exif=exif.tobytes())


# ---------------------------------------------------------------- faulty files

def truncate(src, dst, fraction):
    data = open(src, "rb").read()
    open(dst, "wb").write(data[:int(len(data) * fraction)])


def png_chunk(kind, payload):
    return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))


def png_claiming(width, height, rows):
    """A valid PNG header whose IDAT holds only a few rows of zeros (the inflated size is huge)."""
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    raw = zlib.compress(b"\0" * ((width * 3 + 1) * rows), 9)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", raw)
            + png_chunk(b"IEND", b""))


def jpeg_many_scans(src, dst, copies):
    """Repeats the first scan (the DC band) of a progressive JPEG until the file has thousands
    of scans. Its data stays decodable when repeated, so only the number of scans is at fault."""
    data = open(src, "rb").read()
    first_sos = data.index(b"\xff\xda")
    eoi = data.rindex(b"\xff\xd9")
    end = first_sos + 2
    while not (data[end] == 0xFF and data[end + 1] not in (0x00,) and not 0xD0 <= data[end + 1] <= 0xD7):
        end += 1
    scan = data[first_sos:end]
    open(dst, "wb").write(data[:eoi] + scan * copies + data[eoi:])


def gif_bad_lzw(dst):
    """A 4x4 GIF whose LZW data names a code the decoder has not defined yet."""
    head = b"GIF89a" + struct.pack("<HHBBB", 4, 4, 0x80, 0, 0) + bytes([0, 0, 0, 255, 255, 255])
    desc = b"\x2c" + struct.pack("<HHHHB", 0, 0, 4, 4, 0)
    # Minimum code size 2: clear = 4, end = 5, first free code 6; code 7 comes first after clear.
    data = bytes([2, 2, 0x3c | 0x00, 0x07, 0])
    open(dst, "wb").write(head + desc + data + b"\x3b")


def bmp_rle_bad(dst, stream, width=4, height=2):
    """An RLE8 file with a 2-entry palette and the given pixel stream."""
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(stream), 0, 0, 2, 0)
    offset = 14 + 40 + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(stream), 0, 0, offset)
    open(dst, "wb").write(head + info + palette + stream)


def make_faulty():
    truncate(path("jpeg_smooth.jpg"), path("bad_jpeg_truncated.jpg"), 0.5)
    truncate(path("jpeg_smooth_progressive.jpg"), path("bad_jpeg_progressive_truncated.jpg"), 0.6)
    truncate(path("jpeg_smooth.jpg"), path("bad_jpeg_header_only.jpg"), 0.02)
    jpeg_many_scans(path("jpeg_smooth_progressive.jpg"), path("bad_jpeg_5000_scans.jpg"), 5000)
    truncate(path("png_rgba.png"), path("bad_png_truncated.png"), 0.6)
    open(path("bad_png_huge_sides.png"), "wb").write(png_claiming(100000, 100000, 1))
    open(path("bad_png_too_many_pixels.png"), "wb").write(png_claiming(60000, 60000, 1))
    open(path("bad_png_short_idat.png"), "wb").write(png_claiming(4000, 3000, 2))
    data = bytearray(open(path("png_rgba.png"), "rb").read())
    data[18] ^= 0xff  # the width inside IHDR: the CRC no longer matches
    open(path("bad_png_crc.png"), "wb").write(data)
    truncate(path("gif_plain.gif"), path("bad_gif_truncated.gif"), 0.5)
    gif_bad_lzw(path("bad_gif_lzw.gif"))
    truncate(path("bmp_24bit.bmp"), path("bad_bmp_truncated.bmp"), 0.7)
    bmp_rle_bad(path("bad_bmp_rle_run_past_row.bmp"), bytes([5, 1, 0, 0, 0, 1]))
    bmp_rle_bad(path("bad_bmp_rle_delta_out.bmp"), bytes([0, 2, 1, 5, 1, 1, 0, 1]))
    bmp_rle_bad(path("bad_bmp_rle_rows_past_top.bmp"), bytes([4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1]))
    bmp_rle_bad(path("bad_bmp_rle_literal_truncated.bmp"), bytes([0, 8, 1, 1]))
    data = bytearray(open(path("bmp_24bit.bmp"), "rb").read())
    struct.pack_into("<ii", data, 18, 70000, 10)
    open(path("bad_bmp_huge_width.bmp"), "wb").write(data)
    struct.pack_into("<ii", data, 18, 60000, -60000)
    open(path("bad_bmp_too_many_pixels.bmp"), "wb").write(data)
    data = bytearray(open(path("bmp_24bit.bmp"), "rb").read())
    struct.pack_into("<I", data, 10, len(data) + 100)
    open(path("bad_bmp_offset_outside.bmp"), "wb").write(data)
    data = bytearray(open(path("bmp_24bit.bmp"), "rb").read())
    struct.pack_into("<I", data, 14, 41)
    open(path("bad_bmp_header_size.bmp"), "wb").write(data)
    open(path("bad_not_a_picture.png"), "wb").write(b"This is a text file, not a picture.\n")


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    make_bmps()
    make_pngs()
    make_gifs()
    make_jpegs()
    make_faulty()
