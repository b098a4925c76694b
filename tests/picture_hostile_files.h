#pragma once
// Crafted picture files for the hostile-input tests: a few bytes each (or sparse), built here
// so that no large file is kept with the sources. Each one claims far more than it holds.
#include <cstdint>
#include <string>
#include <vector>

namespace zp::test {

using Bytes = std::vector<std::uint8_t>;

void putBe16(Bytes& out, unsigned v);
void putBe32(Bytes& out, std::uint32_t v);
void putLe16(Bytes& out, unsigned v);
void putLe32(Bytes& out, std::uint32_t v);

// A PNG chunk with its length and CRC.
Bytes pngChunk(const char type[4], const Bytes& data);
// Signature and IHDR; depth and colour type as in the header, interlace 0 or 1.
Bytes pngHead(std::uint32_t width, std::uint32_t height, int depth, int colourType,
              int interlace = 0);
// A whole greyscale PNG whose rows are all zero, deflated: a few hundred KB can stand for
// 200 megapixels.
Bytes pngZeroPicture(std::uint32_t width, std::uint32_t height, int depth, int interlace = 0);
// zlib data of `rawBytes` zero bytes.
Bytes deflateZeros(std::size_t rawBytes);

struct JpegShape {
    unsigned width = 64;
    unsigned height = 64;
    bool progressive = false;  // SOF2 with a single DC scan
    int orientation = 0;       // EXIF orientation in an APP1 block; 0 for none
    unsigned restartEvery = 0; // DRI in MCUs; 0 for none
    bool restartsOutOfOrder = false;
};

// A greyscale JPEG whose Huffman tables hold one code each, so that every block of a flat
// picture costs two bits and the entropy-coded data is zero bytes: 13000 x 13000 in 660 KB.
// entropyStart receives the offset of the first entropy-coded byte; the file ends with EOI.
Bytes jpegFlatGrey(const JpegShape& shape, std::size_t* entropyStart = nullptr);

// A BMP whose pixel data is a whole JPEG or PNG file (compression 4 or 5).
Bytes bmpEmbedding(const Bytes& picture, bool png, int width, int height);
// An RLE8 BMP that ends its data at once: every pixel is palette entry 0.
Bytes bmpRle8Empty(int width, int height);
// A BMP with a 24-bit header, nothing else.
Bytes bmp24Head(int width, int height);

// A GIF whose logical screen is width x height, with a single 1 x 1 frame.
Bytes gifTinyFrameOnScreen(unsigned width, unsigned height);

} // namespace zp::test
