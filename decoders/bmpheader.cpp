#include "decoders/bmpheader.h"

#include "decoders/formats.h"

#include <algorithm>

namespace zp::detail {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

std::uint32_t u16At(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t u32At(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool knownInfoSize(std::uint32_t size) {
    switch (size) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

bool validDepth(const BmpHeader& h) {
    switch (h.compression) {
    case kBmpRgb:
        return h.bitCount == 1 || h.bitCount == 2 || h.bitCount == 4 || h.bitCount == 8 ||
               h.bitCount == 16 || h.bitCount == 24 || h.bitCount == 32;
    case kBmpRle8:
        return h.bitCount == 8;
    case kBmpRle4:
        return h.bitCount == 4;
    case kBmpBitfields:
    case kBmpAlphaBitfields:
        return h.bitCount == 16 || h.bitCount == 32;
    case kBmpJpeg:
    case kBmpPng:
        return true; // the embedded file decides
    default:
        return false;
    }
}

// Sizes and layout from the info header. Returns the offset just past the header's own
// masks (where the palette starts).
bool readInfoHeader(const std::uint8_t* data, std::size_t size, BmpHeader& h, std::size_t& next,
                    std::string& error) {
    const std::uint8_t* info = data + kFileHeaderSize;
    std::int64_t width = 0, height = 0;
    if (h.infoSize == 12) {
        width = u16At(info + 4);
        height = u16At(info + 6);
        h.bitCount = u16At(info + 10);
    } else {
        width = static_cast<std::int32_t>(u32At(info + 4));
        height = static_cast<std::int32_t>(u32At(info + 8));
        h.bitCount = u16At(info + 14);
        h.compression = h.infoSize >= 20 ? u32At(info + 16) : kBmpRgb;
        // OS/2 2.x reuses 3 and 4 for Huffman and RLE24, which nothing on Windows writes.
        if (h.infoSize == 64 && h.compression >= kBmpBitfields) {
            error = "unsupported OS/2 BMP compression";
            return false;
        }
    }
    h.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (!checkDimensions(width, height, error))
        return false;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    if (!validDepth(h)) {
        error = "unsupported BMP format (" + std::to_string(h.bitCount) + " bits, compression " +
                std::to_string(h.compression) + ")";
        return false;
    }
    next = kFileHeaderSize + h.infoSize;
    std::size_t maskCount = 0;
    if (h.infoSize >= 52)
        maskCount = h.infoSize >= 56 ? 4 : 3; // inside the header
    else if (h.infoSize == 40 && h.compression == kBmpBitfields)
        maskCount = 3, next += 12; // after the header
    else if (h.infoSize == 40 && h.compression == kBmpAlphaBitfields)
        maskCount = 4, next += 16;
    if (next > size) {
        error = "the BMP file is truncated";
        return false;
    }
    const std::uint8_t* masks = data + kFileHeaderSize + 40;
    if (h.compression == kBmpBitfields || h.compression == kBmpAlphaBitfields)
        for (std::size_t i = 0; i < maskCount; ++i)
            h.masks[i] = u32At(masks + 4 * i);
    return true;
}

void defaultMasks(BmpHeader& h) {
    const bool custom = h.masks[0] != 0 || h.masks[1] != 0 || h.masks[2] != 0;
    if (custom)
        return;
    h.masks[3] = 0;
    if (h.bitCount == 16) {
        h.masks[0] = 0x7c00, h.masks[1] = 0x03e0, h.masks[2] = 0x001f; // 5-5-5
    } else {
        h.masks[0] = 0xff0000, h.masks[1] = 0xff00, h.masks[2] = 0xff;
    }
}

// The palette runs from the end of the headers to the pixel data; a declared count larger than
// the depth allows, or than the space there, is cut down to what is really present.
bool readPalette(const std::uint8_t* data, std::size_t size, std::size_t start, BmpHeader& h,
                 std::uint32_t declared, std::string& error) {
    const std::size_t entrySize = h.infoSize == 12 ? 3 : 4;
    std::size_t count = declared == 0 ? (std::size_t{1} << h.bitCount) : declared;
    count = std::min(count, std::size_t{1} << h.bitCount);
    const std::size_t end = std::min(h.dataOffset, size);
    count = end > start ? std::min(count, (end - start) / entrySize) : 0;
    if (count == 0) {
        error = "the BMP picture has no palette";
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = data + start + i * entrySize; // stored blue, green, red
        h.palette[i] = BmpRgb{e[2], e[1], e[0]};
    }
    h.paletteSize = static_cast<unsigned>(count);
    return true;
}

} // namespace

bool parseBmpHeader(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                    bool headerOnly, BmpHeader& h, std::string& error) {
    h = BmpHeader{};
    if (size < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    h.infoSize = u32At(data + kFileHeaderSize);
    if (!knownInfoSize(h.infoSize)) {
        error = "unknown BMP header size " + std::to_string(h.infoSize);
        return false;
    }
    if (size < kFileHeaderSize + h.infoSize) {
        error = "the BMP file is truncated";
        return false;
    }
    std::size_t paletteStart = 0;
    if (!readInfoHeader(data, size, h, paletteStart, error))
        return false;
    if (headerOnly)
        return true;
    h.dataOffset = u32At(data + 10);
    if (h.dataOffset < paletteStart || h.dataOffset >= fileSize) {
        error = "the BMP pixel data offset is outside the file";
        return false;
    }
    h.dataEnd = static_cast<std::size_t>(fileSize);
    const std::uint32_t sizeImage = h.infoSize >= 24 ? u32At(data + kFileHeaderSize + 20) : 0;
    if (sizeImage != 0 && sizeImage <= fileSize - h.dataOffset)
        h.dataEnd = h.dataOffset + sizeImage;
    if (h.bitCount == 16 || h.bitCount == 32)
        defaultMasks(h);
    const std::uint32_t declared = h.infoSize >= 36 ? u32At(data + kFileHeaderSize + 32) : 0;
    if (h.bitCount <= 8 && h.compression != kBmpJpeg && h.compression != kBmpPng)
        return readPalette(data, size, paletteStart, h, declared, error);
    return true;
}

} // namespace zp::detail
