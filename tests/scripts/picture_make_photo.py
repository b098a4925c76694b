#!/usr/bin/python3
"""Writes a photo-like test picture with Pillow.

usage: picture_make_photo.py WIDTH HEIGHT OUT [ROTATED_OUT]

OUT is the upright picture (format from its extension: jpg, png, bmp, gif).
ROTATED_OUT, a JPEG, holds the same picture stored turned a quarter counterclockwise
with the EXIF orientation 6 ("turn clockwise to show"), so a reader that applies the
orientation gets OUT's picture back.
"""
import sys

from PIL import Image, ImageFilter


def photo(w, h):
    # Smooth gradients in three channels plus noise at several scales (coarse blotches down
    # to fine grain), so the JPEG sizes are those of a photograph at every reduction rather
    # than of a flat test card.
    small = (max(w // 8, 1), max(h // 8, 1))
    r = Image.linear_gradient('L').resize(small)
    g = Image.radial_gradient('L').resize(small)
    b = Image.effect_noise(small, 60).filter(ImageFilter.GaussianBlur(2))
    img = Image.merge('RGB', (r, g, b)).resize((w, h), Image.BILINEAR)
    for div, weight in ((256, 0.35), (64, 0.3), (16, 0.25), (1, 0.2)):
        size = (max(w // div, 2), max(h // div, 2))
        octave = [Image.effect_noise(size, 70).resize((w, h), Image.BICUBIC) for _ in range(3)]
        img = Image.blend(img, Image.merge('RGB', octave), weight)
    return img


def save(img, path, exif=None):
    fmt = path.rsplit('.', 1)[1].lower()
    if fmt in ('jpg', 'jpeg'):
        kw = {'exif': exif} if exif else {}
        img.save(path, quality=90, **kw)
    elif fmt == 'gif':
        img.convert('P', palette=Image.ADAPTIVE).save(path)
    else:
        img.save(path)


def main():
    w, h, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    img = photo(w, h)
    save(img, out)
    if len(sys.argv) > 4:
        exif = Image.Exif()
        exif[0x0112] = 6
        save(img.transpose(Image.ROTATE_90), sys.argv[4], exif.tobytes())


if __name__ == '__main__':
    main()
