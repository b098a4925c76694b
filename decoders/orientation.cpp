#include "decoders/orientation.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zp::detail {

namespace {

// Reads TIFF integers in the byte order named by the TIFF header ("II" or "MM").
struct TiffReader {
    const std::uint8_t* data;
    std::size_t size;
    bool bigEndian;

    bool u16(std::size_t at, unsigned& out) const {
        if (at > size || size - at < 2)
            return false;
        out = bigEndian ? (data[at] << 8 | data[at + 1]) : (data[at + 1] << 8 | data[at]);
        return true;
    }
    bool u32(std::size_t at, std::uint32_t& out) const {
        unsigned hi = 0, lo = 0;
        if (!u16(at, bigEndian ? hi : lo) || !u16(at + 2, bigEndian ? lo : hi))
            return false;
        out = (static_cast<std::uint32_t>(hi) << 16) | lo;
        return true;
    }
};

constexpr unsigned kTagOrientation = 0x0112;
constexpr unsigned kTypeShort = 3;

} // namespace

int exifOrientation(const std::uint8_t* payload, std::size_t size) noexcept {
    static const std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (payload == nullptr || size < 6 + 8 || std::memcmp(payload, kExif, 6) != 0)
        return 1;
    return tiffOrientation(payload + 6, size - 6);
}

int tiffOrientation(const std::uint8_t* data, std::size_t size) noexcept {
    if (data == nullptr || size < 8)
        return 1;
    TiffReader tiff{data, size, false};
    if (tiff.data[0] == 'M' && tiff.data[1] == 'M')
        tiff.bigEndian = true;
    else if (!(tiff.data[0] == 'I' && tiff.data[1] == 'I'))
        return 1;
    unsigned magic = 0;
    std::uint32_t ifd = 0;
    unsigned count = 0;
    if (!tiff.u16(2, magic) || magic != 42 || !tiff.u32(4, ifd) || !tiff.u16(ifd, count))
        return 1;
    for (unsigned i = 0; i < count; ++i) {
        // Each entry: tag (2), type (2), count (4), value or offset (4).
        const std::size_t entry = static_cast<std::size_t>(ifd) + 2 + std::size_t{12} * i;
        unsigned tag = 0, type = 0, value = 0;
        if (!tiff.u16(entry, tag) || !tiff.u16(entry + 2, type))
            return 1;
        if (tag != kTagOrientation)
            continue;
        if (type != kTypeShort || !tiff.u16(entry + 8, value))
            return 1;
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

namespace {

void mirrorRows(Bitmap& b) {
    for (int y = 0; y < b.height; ++y) {
        std::uint8_t* row = b.row(y);
        for (int l = 0, r = b.width - 1; l < r; ++l, --r)
            std::swap_ranges(row + l * 3, row + l * 3 + 3, row + r * 3);
    }
}

void flipColumns(Bitmap& b) {
    for (int top = 0, bottom = b.height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(b.row(top), b.row(top) + b.stride(), b.row(bottom));
}

// Orientations 5..8: the upright picture's column x comes from a stored row, so every pixel moves.
// Upright (x, y) takes stored (sx, sy) where:
//   5 transpose:  (y, x)             6 turn right:  (y, H-1-x)
//   7 transverse: (W-1-y, H-1-x)     8 turn left:   (W-1-y, x)
void transposeInto(const Bitmap& src, Bitmap& dst, int orientation) {
    const int w = src.width, h = src.height;
    const bool mirrorX = orientation == 7 || orientation == 8; // sx runs from the right
    const bool mirrorY = orientation == 6 || orientation == 7; // sy runs from the bottom
    // Tiles keep the column-wise reads of the source within the cache.
    constexpr int kTile = 64;
    for (int ty = 0; ty < dst.height; ty += kTile) {
        const int yEnd = std::min(ty + kTile, dst.height);
        for (int tx = 0; tx < dst.width; tx += kTile) {
            const int xEnd = std::min(tx + kTile, dst.width);
            for (int y = ty; y < yEnd; ++y) {
                const int sx = mirrorX ? w - 1 - y : y;
                // Along an upright row the source walks down (or up) one stored column.
                const int sy = mirrorY ? h - 1 - tx : tx;
                const std::uint8_t* in = src.row(sy) + static_cast<std::size_t>(sx) * 3;
                const std::ptrdiff_t step =
                    mirrorY ? -std::ptrdiff_t(src.stride()) : std::ptrdiff_t(src.stride());
                std::uint8_t* out = dst.row(y) + static_cast<std::size_t>(tx) * 3;
                for (int x = tx; x < xEnd; ++x, out += 3, in += step) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                }
            }
        }
    }
}

} // namespace

void applyOrientation(Bitmap& bitmap, int orientation) {
    switch (orientation) {
    case 2:
        mirrorRows(bitmap);
        return;
    case 3:
        mirrorRows(bitmap);
        flipColumns(bitmap);
        return;
    case 4:
        flipColumns(bitmap);
        return;
    case 5:
    case 6:
    case 7:
    case 8: {
        Bitmap turned;
        turned.resize(bitmap.height, bitmap.width);
        transposeInto(bitmap, turned, orientation);
        bitmap = std::move(turned);
        return;
    }
    default:
        return;
    }
}

} // namespace zp::detail
