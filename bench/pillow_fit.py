#!/usr/bin/python3
"""Peer for compare.sh: Pillow with draft() and a BOX resize, quality lowered by 5 until
the JPEG is under the limit. usage: pillow_fit.py IN W H LIMIT_KB OUT"""
import io
import sys

from PIL import Image


def fitted(sw, sh, W, H):
    w, h = W, sh * W // sw
    if h > H:
        h, w = H, sw * H // sh
    return max(w, 1), max(h, 1)


def main():
    src, W, H, limit, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
    im = Image.open(src)
    w, h = fitted(im.width, im.height, W, H)
    im.draft('RGB', (2 * w, 2 * h))
    im = im.convert('RGB').resize((w, h), Image.BOX)
    q = 90
    while True:
        buf = io.BytesIO()
        im.save(buf, 'JPEG', quality=q)
        if buf.tell() < limit * 1024 or q - 5 < 1:
            break
        q -= 5
    with open(out, 'wb') as f:
        f.write(buf.getvalue())


if __name__ == '__main__':
    main()
