#!/usr/bin/python3
"""Writes a camera-like test photo with Pillow, the same for the same arguments.

usage: make_scene.py WIDTH HEIGHT SEED OUT.jpg

A landscape as a phone camera takes it: a sky with clouds, ridges of hills with texture,
a row of buildings with windows and signs, grass in front; then the softness of a lens,
sensor noise, and a camera's JPEG (quality 92, 4:2:0). Unlike a flat test card or pure noise,
it has the mix of smooth areas, edges, fine texture and text whose JPEG sizes decide how a
size limit is met.
"""
import random
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT = '/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf'


def texture(size, sigma, blur):
    return Image.effect_noise(size, sigma).filter(ImageFilter.GaussianBlur(blur))


def sky(w, h, rng):
    top, bottom = (40, 90, 170), (190, 215, 235)
    grad = Image.linear_gradient('L').resize((w, h))
    img = Image.composite(Image.new('RGB', (w, h), bottom), Image.new('RGB', (w, h), top), grad)
    clouds = texture((w // 16, h // 16), 90, 2).resize((w, h), Image.BICUBIC)
    mask = clouds.point(lambda v: max(0, min(255, (v - 140) * 3)))
    return Image.composite(Image.new('RGB', (w, h), (245, 245, 248)), img, mask)


def ridge(draw, w, h, base, rough, colour, rng):
    y, points = base, [(0, h)]
    for x in range(0, w + 40, 40):
        y = min(h, max(h // 5, y + rng.randint(-rough, rough)))
        points.append((x, y))
    points.append((w, h))
    draw.polygon(points, fill=colour)


def buildings(img, w, h, rng):
    d = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONT, max(12, h // 40))
    x = rng.randrange(w // 20)
    while x < w:
        bw, bh = rng.randint(w // 20, w // 8), rng.randint(h // 8, h // 3)
        top = int(h * 0.72) - bh
        shade = rng.randint(90, 220)
        d.rectangle([x, top, x + bw, int(h * 0.72)], fill=(shade, shade - 10, shade - 25),
                    outline=(40, 40, 40), width=max(1, w // 1500))
        win = max(4, w // 200)
        for wy in range(top + win, int(h * 0.72) - 2 * win, 3 * win):
            for wx in range(x + win, x + bw - 2 * win, 3 * win):
                lit = rng.random() < 0.3
                d.rectangle([wx, wy, wx + win, wy + win],
                            fill=(250, 230, 150) if lit else (60, 70, 90))
        if rng.random() < 0.5:
            d.text((x + win, top + win), rng.choice(['喫茶 さくら', 'BOOKS', '薬局', 'HOTEL 22']),
                   font=font, fill=(200, 30, 30))
        x += bw + rng.randint(0, w // 30)


def scene(w, h, seed):
    rng = random.Random(seed)
    img = sky(w, h, rng)
    d = ImageDraw.Draw(img)
    for base, colour in ((0.45, (110, 130, 150)), (0.55, (70, 110, 70)), (0.63, (50, 90, 45))):
        ridge(d, w, h, int(h * base), h // 60, colour, rng)
    grain = texture((w // 4, h // 4), 60, 1).resize((w, h), Image.BICUBIC)
    img = Image.composite(img, Image.new('RGB', (w, h), (30, 60, 25)),
                          grain.point(lambda v: 150 + v // 3))
    buildings(img, w, h, rng)
    d = ImageDraw.Draw(img)
    for _ in range(w * h // 400):  # grass blades in front
        x, y = rng.randrange(w), rng.randrange(int(h * 0.74), h)
        g = rng.randint(80, 170)
        d.line([x, y, x + rng.randint(-6, 6), y - rng.randint(6, h // 30)],
               fill=(g // 3, g, g // 4), width=max(1, w // 2000))
    img = img.filter(ImageFilter.GaussianBlur(max(0.6, w / 3000)))
    noise = Image.merge('RGB', [Image.effect_noise((w, h), 40) for _ in range(3)])
    return Image.blend(img, noise, 0.06)


def main():
    w, h, seed, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    scene(w, h, seed).save(out, quality=92, subsampling=2)


if __name__ == '__main__':
    main()
