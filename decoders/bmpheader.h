#pragma once
// Windows and OS/2 bitmap file headers, parsed with every offset checked against the file size.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zp::detail {

enum BmpCompression : std::uint32_t {
    kBmpRgb = 0,
    kBmpRle8 = 1,
    kBmpRle4 = 2,
    kBmpBitfields = 3,
    kBmpJpeg = 4,
    kBmpPng = 5,
    kBmpAlphaBitfields = 6,
};

struct BmpRgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct BmpHeader {
    std::size_t dataOffset = 0; // first byte of the pixel data
    std::size_t dataEnd = 0;    // one past its last byte (file end unless sizeImage says less)
    std::uint32_t infoSize = 0; // 12 (OS/2 1.x core), 16 or 64 (OS/2 2.x), 40, 52, 56, 108, 124
    int width = 0;
    int height = 0;
    bool topDown = false;
    unsigned bitCount = 0;
    std::uint32_t compression = kBmpRgb;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha; set for 16 and 32 bits
    BmpRgb palette[256];         // entries past paletteSize stay black
    unsigned paletteSize = 0;
};

// The start of a file that holds its headers, masks and palette whatever they declare.
inline constexpr std::size_t kBmpHeadBytes = 14 + 124 + 16 + 256 * 4;

// Fills header from the first `size` bytes of a BMP file of fileSize bytes (the palette too
// unless headerOnly). False with an error for anything malformed, unsupported or beyond the
// picture limits.
bool parseBmpHeader(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                    bool headerOnly, BmpHeader& header, std::string& error);

} // namespace zp::detail
