#include "picture/bitmapops.h"

#include <algorithm>
#include <cstring>

namespace zp {

namespace {

// The turn walks the destination in square tiles so that both the rows read and the
// rows written stay in the cache, whatever the bitmap's width.
constexpr int kTile = 64;

void turnTile(const Bitmap& src, Bitmap& dst, TurnDirection direction, int i0, int j0) {
    const int w = src.width;
    const int h = src.height;
    const int iEnd = std::min(i0 + kTile, w);
    const int jEnd = std::min(j0 + kTile, h);
    for (int i = i0; i < iEnd; ++i) {
        std::uint8_t* out = dst.row(i);
        for (int j = j0; j < jEnd; ++j) {
            const int srcColumn = direction == TurnDirection::Right ? i : w - 1 - i;
            const int dstColumn = direction == TurnDirection::Right ? h - 1 - j : j;
            const std::uint8_t* in = src.row(j) + static_cast<std::size_t>(srcColumn) * 3;
            std::uint8_t* o = out + static_cast<std::size_t>(dstColumn) * 3;
            o[0] = in[0];
            o[1] = in[1];
            o[2] = in[2];
        }
    }
}

} // namespace

PictureError turnBitmap(Bitmap& bitmap, TurnDirection direction) {
    if (bitmap.empty() || bitmap.pixels.size() < bitmap.stride() * bitmap.height) {
        return PictureError::InvalidBitmap;
    }
    if (direction == TurnDirection::None) {
        return PictureError::None;
    }
    Bitmap turned;
    turned.width = bitmap.height;
    turned.height = bitmap.width;
    turned.pixels.resize(bitmap.pixels.size());
    for (int i0 = 0; i0 < bitmap.width; i0 += kTile) {
        for (int j0 = 0; j0 < bitmap.height; j0 += kTile) {
            turnTile(bitmap, turned, direction, i0, j0);
        }
    }
    bitmap = std::move(turned);
    return PictureError::None;
}

void flipTopBottom(Bitmap& bitmap) {
    if (bitmap.empty() || bitmap.pixels.size() < bitmap.stride() * bitmap.height) {
        return;
    }
    for (int top = 0, bottom = bitmap.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(bitmap.row(top), bitmap.row(top) + bitmap.stride(), bitmap.row(bottom));
    }
}

void flipLeftRight(Bitmap& bitmap) {
    if (bitmap.empty() || bitmap.pixels.size() < bitmap.stride() * bitmap.height) {
        return;
    }
    for (int y = 0; y < bitmap.height; ++y) {
        std::uint8_t* p = bitmap.row(y);
        for (int l = 0, r = bitmap.width - 1; l < r; ++l, --r) {
            std::swap_ranges(p + 3 * l, p + 3 * l + 3, p + 3 * r);
        }
    }
}

Bitmap flattenRgbaOnWhite(const std::uint8_t* rgba, int width, int height, std::size_t stride) {
    Bitmap out;
    if (rgba == nullptr || width <= 0 || height <= 0)
        return out;
    out.resize(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba + static_cast<std::size_t>(y) * stride;
        std::uint8_t* o = out.row(y);
        for (int x = 0; x < width; ++x, in += 4, o += 3)
            for (int c = 0; c < 3; ++c)
                // Rounded like the decoders' blend, so a pasted picture and the same
                // picture read from a file give the same pixels.
                o[c] = static_cast<std::uint8_t>((in[c] * in[3] + 255u * (255u - in[3]) + 127u) /
                                                 255u);
    }
    return out;
}

Bitmap cropBitmap(const Bitmap& bitmap, int x, int y, int width, int height) {
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = std::min(x + width, bitmap.width);
    const int bottom = std::min(y + height, bitmap.height);
    Bitmap out;
    if (right <= left || bottom <= top) {
        return out;
    }
    out.resize(right - left, bottom - top);
    for (int row = 0; row < out.height; ++row) {
        std::memcpy(out.row(row), bitmap.row(top + row) + static_cast<std::size_t>(left) * 3,
                    out.stride());
    }
    return out;
}

Bitmap cropCentre(const Bitmap& bitmap, int width, int height) {
    const int w = std::min(bitmap.width, width);
    const int h = std::min(bitmap.height, height);
    return cropBitmap(bitmap, (bitmap.width - w) / 2, (bitmap.height - h) / 2, w, h);
}

} // namespace zp
