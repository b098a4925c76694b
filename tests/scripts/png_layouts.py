#!/usr/bin/python3
"""PNG files of every 8-bit layout with chosen row filters, written here chunk by chunk (the
decoder's reference is ImageMagick's reading of them), large RGBA files from Pillow, and damaged
files whose damage lies in the image data.

    png_layouts.py OUTPUT_DIR
"""
import os
import struct
import sys
import zlib

from PIL import Image

out = sys.argv[1]


def chunk(kind, data):
    body = kind + data
    return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filtered(rows, bpp, filters):
    """Each row behind its filter byte, the filter for row y being filters[y % len(filters)]."""
    data = bytearray()
    prev = bytes(len(rows[0]))
    for y, row in enumerate(rows):
        f = filters[y % len(filters)]
        data.append(f)
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][f]
            data.append((x - pred) & 0xff)
        prev = row
    return bytes(data)


def png(name, width, height, colour, channels, pixel, filters=(0, 1, 2, 3, 4), depth=8,
        plte=None, trns=None, idat_piece=None, damage=None):
    """pixel(x, y) gives the channel values of one pixel."""
    size = depth // 8
    rows = [bytes(v >> (8 * k) & 0xff for x in range(width) for v in pixel(x, y)
                  for k in reversed(range(size))) for y in range(height)]
    data = zlib.compress(filtered(rows, channels * size, filters), 9)
    if damage == 'filter':
        raw = bytearray(filtered(rows, channels * size, filters))
        raw[3 * (len(raw) // height)] = 7
        data = zlib.compress(bytes(raw), 9)
    if damage == 'adler':
        data = data[:-1] + bytes([data[-1] ^ 0x55])
    pieces = [data] if idat_piece is None else \
        [data[i:i + idat_piece] for i in range(0, len(data), idat_piece)] + [b'']
    body = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth,
                                                             colour, 0, 0, 0))
    body += chunk(b'tEXt', b'Comment\0made for the decoder tests')
    if plte is not None:
        body += chunk(b'PLTE', plte)
    if trns is not None:
        body += chunk(b'tRNS', trns)
    idat = b''.join(chunk(b'IDAT', p) for p in pieces)
    if damage == 'crc':
        idat = bytearray(idat)
        idat[20] ^= 0x01
        idat = bytes(idat)
    body += idat + chunk(b'IEND', b'')
    if damage == 'truncated':
        body = body[:8 + 25 + 47 + 12 + len(data) // 2]
    with open(os.path.join(out, name), 'wb') as f:
        f.write(body)


W, H = 97, 41
rgb = lambda x, y: ((x * 7 + y) & 255, (y * 13) & 255, (x * y) & 255)
png('grey.png', W, H, 0, 1, lambda x, y: ((x * 5 + y * 3) & 255,))
png('rgb.png', W, H, 2, 3, rgb)
png('rgb_pieces.png', W, H, 2, 3, rgb, idat_piece=100)
png('rgb_one_column.png', 1, 9, 2, 3, rgb)
png('rgb_one_row.png', 13, 1, 2, 3, rgb)
# Few distinct values, so that Paeth's ties (a before b before c) decide many bytes.
noise = lambda x, y: tuple((x * 2654435761 + y * 40503 + k * 97) >> 7 & 3 for k in range(3))
png('rgb_paeth.png', W, H, 2, 3, noise, filters=(4,))
png('grey_paeth.png', W, H, 0, 1, lambda x, y: noise(x, y)[:1], filters=(4, 3))
png('grey_alpha.png', W, H, 4, 2, lambda x, y: ((x * 3) & 255, (y * 6) & 255))
png('rgba.png', W, H, 6, 4, lambda x, y: rgb(x, y) + ((x * 11 + y) & 255,))
palette = bytes(v for i in range(200) for v in (i, 255 - i, (i * 7) & 255))
png('palette.png', W, H, 3, 1, lambda x, y: ((x + y) % 200,), plte=palette)
png('palette_trns.png', W, H, 3, 1, lambda x, y: ((x + y) % 200,), plte=palette,
    trns=bytes((i * 3) & 255 for i in range(150)))
png('rgb16.png', 31, 17, 2, 3, lambda x, y: (x * 2000, y * 3000, 65535 - x * y), depth=16)
png('damaged_truncated.png', W, H, 2, 3, rgb, damage='truncated')
png('damaged_crc.png', W, H, 2, 3, rgb, damage='crc')
png('damaged_adler.png', W, H, 2, 3, rgb, damage='adler')
png('damaged_filter.png', W, H, 2, 3, rgb, damage='filter')

# RGBA at and just over the filtered-data bound of 12 MiB (4 bytes a pixel + 1 a row):
# (4 * 1773 + 1) * 1773 = 12575889 <= 12582912 < (4 * 1774 + 1) * 1774.
for name, side in (('rgba_1773.png', 1773), ('rgba_1774.png', 1774)):
    im = Image.linear_gradient('L').resize((side, side))
    Image.merge('RGBA', (im, im.rotate(90), im.transpose(Image.FLIP_LEFT_RIGHT),
                         im.rotate(45, fillcolor=128))).save(os.path.join(out, name))
