#include "picture_hostile_files.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace zp::test {

void putBe16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putBe32(Bytes& out, std::uint32_t v) {
    putBe16(out, v >> 16);
    putBe16(out, v & 0xffff);
}

void putLe16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(Bytes& out, std::uint32_t v) {
    putLe16(out, v & 0xffff);
    putLe16(out, v >> 16);
}

namespace {

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void appendText(Bytes& out, const char* text, std::size_t n) {
    out.insert(out.end(), text, text + n);
}

// JPEG marker segment: FF, code, length (including itself), body.
void segment(Bytes& out, std::uint8_t code, const Bytes& body) {
    out.push_back(0xff);
    out.push_back(code);
    putBe16(out, static_cast<unsigned>(body.size() + 2));
    append(out, body);
}

Bytes exifOrientation(int orientation) {
    Bytes b;
    appendText(b, "Exif\0\0II*\0", 10);
    putLe32(b, 8); // IFD0 right after the TIFF header
    putLe16(b, 1); // one entry: orientation, SHORT, count 1
    putLe16(b, 0x0112);
    putLe16(b, 3);
    putLe32(b, 1);
    putLe16(b, static_cast<unsigned>(orientation));
    putLe16(b, 0);
    putLe32(b, 0); // no next IFD
    return b;
}

// One code of length 1 for symbol 0: DC difference 0 and, for AC, end of block.
Bytes singleCodeTable(int tableClass) {
    Bytes b{static_cast<std::uint8_t>(tableClass << 4)};
    b.push_back(1);
    b.insert(b.end(), 15, 0);
    b.push_back(0);
    return b;
}

} // namespace

Bytes pngChunk(const char type[4], const Bytes& data) {
    Bytes out;
    putBe32(out, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    append(typed, data);
    append(out, typed);
    putBe32(out, static_cast<std::uint32_t>(crc32(0, typed.data(), typed.size())));
    return out;
}

Bytes pngHead(std::uint32_t width, std::uint32_t height, int depth, int colourType, int interlace) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes ihdr;
    putBe32(ihdr, width);
    putBe32(ihdr, height);
    ihdr.push_back(static_cast<std::uint8_t>(depth));
    ihdr.push_back(static_cast<std::uint8_t>(colourType));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(static_cast<std::uint8_t>(interlace));
    append(out, pngChunk("IHDR", ihdr));
    return out;
}

Bytes deflateZeros(std::size_t rawBytes) {
    z_stream z{};
    deflateInit(&z, 9);
    const Bytes zeros(1 << 20, 0);
    Bytes out;
    std::uint8_t buffer[1 << 16];
    int flush = Z_NO_FLUSH;
    do {
        const std::size_t n = std::min(rawBytes, zeros.size());
        rawBytes -= n;
        flush = rawBytes == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    return out;
}

Bytes pngZeroPicture(std::uint32_t width, std::uint32_t height, int depth, int interlace) {
    Bytes out = pngHead(width, height, depth, 0, interlace);
    // Adam7 passes add their own filter bytes; a little more zero data than needed is harmless.
    const std::size_t rowBytes = (std::size_t{width} * depth + 7) / 8 + 1;
    const std::size_t raw = rowBytes * height + (interlace ? 2 * std::size_t{height} : 0);
    append(out, pngChunk("IDAT", deflateZeros(raw)));
    append(out, pngChunk("IEND", {}));
    return out;
}

Bytes jpegFlatGrey(const JpegShape& s, std::size_t* entropyStart) {
    Bytes out{0xff, 0xd8};
    if (s.orientation != 0)
        segment(out, 0xe1, exifOrientation(s.orientation));
    Bytes dqt{0};
    dqt.insert(dqt.end(), 64, 1);
    segment(out, 0xdb, dqt);
    Bytes sof{8};
    putBe16(sof, s.height);
    putBe16(sof, s.width);
    sof.insert(sof.end(), {1, 1, 0x11, 0});
    segment(out, s.progressive ? 0xc2 : 0xc0, sof);
    segment(out, 0xc4, singleCodeTable(0));
    segment(out, 0xc4, singleCodeTable(1));
    if (s.restartEvery != 0) {
        Bytes dri;
        putBe16(dri, s.restartEvery);
        segment(out, 0xdd, dri);
    }
    // Components 1, tables 0/0; spectral selection 0..63, or the DC band alone.
    segment(out, 0xda, Bytes{1, 1, 0, 0, static_cast<std::uint8_t>(s.progressive ? 0 : 63), 0});
    if (entropyStart != nullptr)
        *entropyStart = out.size();
    const std::size_t blocks = std::size_t{(s.width + 7) / 8} * ((s.height + 7) / 8);
    const unsigned bitsPerBlock = s.progressive ? 1 : 2;
    if (s.restartEvery == 0) {
        out.insert(out.end(), (blocks * bitsPerBlock + 7) / 8, 0);
    } else {
        // Each interval is padded to a byte and followed by RST0..RST7 in turn.
        const std::size_t intervals = (blocks + s.restartEvery - 1) / s.restartEvery;
        for (std::size_t i = 0; i < intervals; ++i) {
            const std::size_t n =
                std::min<std::size_t>(s.restartEvery, blocks - i * s.restartEvery);
            out.insert(out.end(), (n * bitsPerBlock + 7) / 8, 0);
            if (i + 1 < intervals) {
                std::size_t index = i;
                if (s.restartsOutOfOrder && i == intervals / 2)
                    index = i + 1;
                out.push_back(0xff);
                out.push_back(static_cast<std::uint8_t>(0xd0 + index % 8));
            }
        }
    }
    out.push_back(0xff);
    out.push_back(0xd9);
    return out;
}

namespace {

// File header and a 40-byte info header; dataOffset is where the pixel data starts.
Bytes bmpHeaders(int width, int height, unsigned bits, std::uint32_t compression,
                 std::uint32_t dataBytes, std::uint32_t paletteEntries) {
    const std::uint32_t dataOffset = 14 + 40 + 4 * paletteEntries;
    Bytes out{'B', 'M'};
    putLe32(out, dataOffset + dataBytes);
    putLe32(out, 0);
    putLe32(out, dataOffset);
    putLe32(out, 40);
    putLe32(out, static_cast<std::uint32_t>(width));
    putLe32(out, static_cast<std::uint32_t>(height));
    putLe16(out, 1);
    putLe16(out, bits);
    putLe32(out, compression);
    putLe32(out, dataBytes);
    putLe32(out, 2835);
    putLe32(out, 2835);
    putLe32(out, paletteEntries);
    putLe32(out, 0);
    return out;
}

} // namespace

Bytes bmpEmbedding(const Bytes& picture, bool png, int width, int height) {
    Bytes out =
        bmpHeaders(width, height, 0, png ? 5 : 4, static_cast<std::uint32_t>(picture.size()), 0);
    append(out, picture);
    return out;
}

Bytes bmpRle8Empty(int width, int height) {
    Bytes out = bmpHeaders(width, height, 8, 1, 2, 256);
    for (unsigned i = 0; i < 256; ++i)
        out.insert(out.end(), {static_cast<std::uint8_t>(i), 0x80, 0x40, 0});
    out.insert(out.end(), {0, 1}); // end of bitmap
    return out;
}

Bytes bmp24Head(int width, int height) {
    return bmpHeaders(width, height, 24, 0,
                      static_cast<std::uint32_t>((std::size_t(width) * 3 + 3) / 4 * 4 * height), 0);
}

Bytes gifTinyFrameOnScreen(unsigned width, unsigned height) {
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    putLe16(out, width);
    putLe16(out, height);
    out.insert(out.end(), {0x80, 0, 0});             // global table of 2 colours
    out.insert(out.end(), {0, 0, 0, 255, 255, 255}); // black, white
    out.push_back(0x2c);                             // image descriptor: 1 x 1 at 0,0
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, 1);
    out.push_back(0);
    // LZW, minimum code size 2: clear (4), index 0, end (5), three bits each.
    out.insert(out.end(), {2, 2, 0x44, 0x01, 0});
    out.push_back(0x3b);
    return out;
}

} // namespace zp::test
