// BMP in the forms Windows writes: 1/2/4/8-bit palette, 16/32-bit with masks, 24-bit, RLE4 and
// RLE8, bottom-up or top-down; JPEG or PNG inside a BMP goes to those readers.
#include "decoders/bmpheader.h"
#include "decoders/formats.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zp::detail {

namespace {

// One mask of a 16- or 32-bit pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    unsigned operator()(std::uint32_t pixel) const {
        if (max == 0)
            return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<unsigned>((v * 255 + max / 2) / max);
    }
};

// Rows are stored bottom up unless the height is negative; the sink turns them upright.
int storedOrientation(const BmpHeader& h) {
    return h.topDown ? 1 : 4;
}

// Where the pixel data comes from: the file's image in memory, or the open file itself.
struct PixelData {
    const std::uint8_t* memory = nullptr;
    std::FILE* file = nullptr;

    // `bytes` bytes from the start of the pixel data; each call starts there again.
    InputBytes open(const BmpHeader& h, std::size_t bytes) const {
        if (memory != nullptr)
            return InputBytes(memory + h.dataOffset, bytes);
        if (std::fseek(file, static_cast<long>(h.dataOffset), SEEK_SET) != 0)
            return InputBytes(file, 0);
        return InputBytes(file, bytes);
    }
};

void decodeIndexedRow(const BmpHeader& h, const std::uint8_t* in, std::uint8_t* out) {
    const unsigned bits = h.bitCount;
    const unsigned perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < h.width; ++x, out += 3) {
        const unsigned byte = in[static_cast<unsigned>(x) / perByte];
        const unsigned shift = 8 - bits * (static_cast<unsigned>(x) % perByte + 1);
        const BmpRgb& c = h.palette[(byte >> shift) & mask];
        out[0] = c.r, out[1] = c.g, out[2] = c.b;
    }
}

// Returns true when some pixel carries a non-zero alpha; alpha collects them row by row.
bool decodeMaskedRow(const BmpHeader& h, const std::uint8_t* in, std::uint8_t* out,
                     std::uint8_t* alpha) {
    const Channel r(h.masks[0]), g(h.masks[1]), b(h.masks[2]), a(h.masks[3]);
    bool anyAlpha = false;
    for (int x = 0; x < h.width; ++x, out += 3) {
        std::uint32_t v = in[0] | (in[1] << 8);
        if (h.bitCount == 32)
            v |= (in[2] << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
        in += h.bitCount / 8;
        out[0] = static_cast<std::uint8_t>(r(v));
        out[1] = static_cast<std::uint8_t>(g(v));
        out[2] = static_cast<std::uint8_t>(b(v));
        if (alpha != nullptr) {
            alpha[x] = static_cast<std::uint8_t>(a(v));
            anyAlpha = anyAlpha || alpha[x] != 0;
        }
    }
    return anyAlpha;
}

// Alpha only counts when some pixel has it: many 32-bit files leave the byte at zero.
bool anyAlphaIn(const PixelData& pixels, const BmpHeader& h, std::size_t available,
                std::size_t stride, std::vector<std::uint8_t>& rowIn) {
    if (h.masks[3] == 0 || h.bitCount < 16)
        return false;
    const Channel a(h.masks[3]);
    InputBytes in = pixels.open(h, available);
    for (int s = 0; s < h.height; ++s) {
        const std::size_t got = in.read(rowIn.data(), stride);
        const std::uint8_t* p = rowIn.data();
        for (int x = 0; x < h.width && std::size_t(x + 1) * (h.bitCount / 8) <= got;
             ++x, p += h.bitCount / 8) {
            std::uint32_t v = p[0] | (p[1] << 8);
            if (h.bitCount == 32)
                v |= (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
            if (a(v) != 0)
                return true;
        }
    }
    return false;
}

// The stored rows one after another, `stride` bytes apart (the last may lack its padding):
// straight from the image in memory, or from the file in reads of many rows at once, which
// costs one system call per chunk instead of one per row.
class StoredRows {
public:
    StoredRows(const PixelData& pixels, const BmpHeader& h, std::size_t stride, std::size_t lastRow,
               std::size_t available)
        : m_pixels(pixels), m_h(h), m_stride(stride), m_lastRow(lastRow),
          m_data(pixels.open(h, available)),
          m_chunkRows(static_cast<int>(std::clamp<std::size_t>(
              kChunkBytes / stride, 1, static_cast<std::size_t>(h.height)))) {}

    bool allocate(std::string& error) {
        return m_pixels.memory != nullptr ||
               allocateScratch(m_buffer, std::uint64_t(m_chunkRows) * m_stride, error);
    }

    // The next stored row; null with error set when it cannot be read.
    const std::uint8_t* next(std::string& error) {
        if (m_pixels.memory != nullptr)
            return m_pixels.memory + m_h.dataOffset + std::size_t(m_row++) * m_stride;
        if (m_inChunk == m_chunkEnd) {
            const int rows = std::min(m_chunkRows, m_h.height - m_row);
            const std::size_t want = std::size_t(rows - 1) * m_stride +
                                     (m_row + rows == m_h.height ? m_lastRow : m_stride);
            if (m_data.read(m_buffer.data(), want) != want) {
                error = m_data.readError() ? "cannot read the file" : "the BMP file is truncated";
                return nullptr;
            }
            m_inChunk = 0;
            m_chunkEnd = rows;
        }
        ++m_row;
        return m_buffer.data() + std::size_t(m_inChunk++) * m_stride;
    }

private:
    static constexpr std::size_t kChunkBytes = 256 * 1024;
    const PixelData& m_pixels;
    const BmpHeader& m_h;
    std::size_t m_stride;
    std::size_t m_lastRow;
    InputBytes m_data;
    int m_chunkRows;
    std::vector<std::uint8_t> m_buffer;
    int m_row = 0;
    int m_inChunk = 0;
    int m_chunkEnd = 0;
};

void swapRedBlue(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, int width) {
    for (int x = 0; x < width; ++x, in += 3, out += 3)
        out[0] = in[2], out[1] = in[1], out[2] = in[0];
}

bool decodeUncompressed(const PixelData& pixels, std::uint64_t fileSize, const BmpHeader& h,
                        RowSink& sink, std::string& error) {
    const std::size_t stride = (static_cast<std::size_t>(h.width) * h.bitCount + 31) / 32 * 4;
    const std::size_t lastRow = (static_cast<std::size_t>(h.width) * h.bitCount + 7) / 8;
    const std::size_t available = static_cast<std::size_t>(fileSize - h.dataOffset);
    if (available < lastRow || (available - lastRow) / stride < std::size_t(h.height - 1)) {
        error = "the BMP file is truncated";
        return false;
    }
    std::vector<std::uint8_t> rowIn, row, alpha;
    if (!allocateScratch(rowIn, stride, error) ||
        !allocateScratch(row, std::uint64_t(h.width) * 3, error) ||
        !allocateScratch(alpha, h.width, error))
        return false;
    const bool blend = anyAlphaIn(pixels, h, available, stride, rowIn);
    // Opened after the look for alpha, which reads the file from the pixel data on itself.
    StoredRows rows(pixels, h, stride, lastRow, available);
    if (!rows.allocate(error) || !sink.begin(h.width, h.height, storedOrientation(h), error))
        return false;
    // 24-bit rows are B G R already; a sink that takes them so gets them without a copy.
    const bool bgr = h.bitCount == 24 && sink.takeBgr();
    for (int s = 0; s < h.height; ++s) {
        const std::uint8_t* in = rows.next(error);
        if (in == nullptr)
            return false;
        if (bgr) {
            sink.row(s, in);
            continue;
        }
        std::uint8_t* target = sink.rowTarget(s);
        std::uint8_t* out = target != nullptr ? target : row.data();
        if (h.bitCount <= 8) {
            decodeIndexedRow(h, in, out);
        } else if (h.bitCount == 24) {
            swapRedBlue(in, out, h.width);
        } else {
            decodeMaskedRow(h, in, out, blend ? alpha.data() : nullptr);
            if (blend)
                for (int x = 0; x < h.width; ++x)
                    for (int c = 0; c < 3; ++c)
                        out[x * 3 + c] = blendOnWhite(out[x * 3 + c], alpha[x]);
        }
        sink.row(s, out);
    }
    return true;
}

// Run-length data: pairs (count, index) for runs; (0,0) end of line, (0,1) end of bitmap,
// (0,2,dx,dy) a jump, (0,n>=3) n literal indices padded to a 16-bit boundary. Pixels that no
// run covers keep palette entry 0. Encoders pad rows to the 32-bit boundary of the uncompressed
// form (ImageMagick does), so a run may reach into that padding and is cut at the picture's edge;
// a run that goes further, or above the last row, ends decoding with an error.
class RleDecoder {
public:
    RleDecoder(InputBytes& source, const BmpHeader& h, RowSink& sink)
        : m_source(source), m_h(h), m_sink(sink), m_four(h.compression == kBmpRle4),
          m_paddedWidth(m_four ? (h.width + 7) / 8 * 8 : (h.width + 3) / 4 * 4) {}

    bool run(std::string& error);

private:
    bool decode(std::string& error);
    bool put(unsigned count, const std::uint8_t* src, bool literal, std::string& error);
    // Sends every stored row before the current one (background where no run reached) and
    // then the current row, and starts the next one as background.
    void emitThroughCurrent();
    // Keeps at least kLookahead bytes in the buffer while the data lasts: one step never
    // takes more.
    void refill();

    static constexpr std::size_t kLookahead = 600;
    static constexpr std::size_t kBufferBytes = 64 * 1024;
    InputBytes& m_source;
    std::vector<std::uint8_t> m_buffer;
    const std::uint8_t* m_in = nullptr;
    const std::uint8_t* m_end = nullptr;
    const BmpHeader& m_h;
    RowSink& m_sink;
    bool m_four;
    int m_paddedWidth; // pixels in a row of the uncompressed form
    int m_x = 0;
    int m_row = 0;     // stored row, counted from the first one in the file
    int m_emitted = 0; // stored rows already sent
    std::vector<std::uint8_t> m_current;
    std::vector<std::uint8_t> m_background;
};

void RleDecoder::refill() {
    if (static_cast<std::size_t>(m_end - m_in) >= kLookahead || m_source.left() == 0)
        return;
    const std::size_t keep = static_cast<std::size_t>(m_end - m_in);
    std::memmove(m_buffer.data(), m_in, keep);
    const std::size_t got = m_source.read(m_buffer.data() + keep, m_buffer.size() - keep);
    m_in = m_buffer.data();
    m_end = m_in + keep + got;
}

void RleDecoder::emitThroughCurrent() {
    for (; m_emitted < m_row && m_emitted < m_h.height; ++m_emitted)
        m_sink.row(m_emitted, m_background.data());
    if (m_emitted == m_row && m_row < m_h.height) {
        m_sink.row(m_row, m_current.data());
        ++m_emitted;
    }
    m_current = m_background;
}

bool RleDecoder::put(unsigned count, const std::uint8_t* src, bool literal, std::string& error) {
    if (m_row >= m_h.height || count > static_cast<unsigned>(m_paddedWidth - m_x)) {
        error = "a BMP run leaves the picture";
        return false;
    }
    const unsigned visible = std::min(count, static_cast<unsigned>(std::max(m_h.width - m_x, 0)));
    std::uint8_t* out = m_current.data() + static_cast<std::size_t>(m_x) * 3;
    for (unsigned i = 0; i < visible; ++i, out += 3) {
        unsigned index = 0;
        if (m_four) {
            const std::uint8_t byte = literal ? src[i / 2] : src[0];
            index = (i % 2 == 0) ? byte >> 4 : byte & 0x0f;
        } else {
            index = literal ? src[i] : src[0];
        }
        const BmpRgb& c = m_h.palette[index];
        out[0] = c.r, out[1] = c.g, out[2] = c.b;
    }
    m_x += static_cast<int>(count);
    return true;
}

bool RleDecoder::run(std::string& error) {
    m_background.resize(static_cast<std::size_t>(m_h.width) * 3);
    for (std::size_t i = 0; i < m_background.size(); i += 3) {
        m_background[i] = m_h.palette[0].r;
        m_background[i + 1] = m_h.palette[0].g;
        m_background[i + 2] = m_h.palette[0].b;
    }
    m_current = m_background;
    m_buffer.resize(kBufferBytes);
    m_in = m_end = m_buffer.data();
    if (!m_sink.begin(m_h.width, m_h.height, storedOrientation(m_h), error) || !decode(error))
        return false;
    // Whatever no run reached keeps palette entry 0.
    emitThroughCurrent();
    m_row = m_h.height;
    emitThroughCurrent();
    return true;
}

bool RleDecoder::decode(std::string& error) {
    for (;;) {
        refill();
        if (m_source.readError()) {
            error = "cannot read the file";
            return false;
        }
        if (m_end - m_in < 2) {
            if (m_row >= m_h.height - 1)
                return true; // the last row is in; only the end-of-bitmap mark is missing
            error = "the BMP file is truncated";
            return false;
        }
        const unsigned first = m_in[0], second = m_in[1];
        m_in += 2;
        if (first > 0) {
            if (!put(first, &m_in[-1], false, error))
                return false;
        } else if (second == 0) {
            emitThroughCurrent();
            m_x = 0, ++m_row;
        } else if (second == 1) {
            return true;
        } else if (second == 2) {
            if (m_end - m_in < 2 || m_in[0] > m_paddedWidth - m_x || m_in[1] > m_h.height - m_row) {
                error = "a BMP jump leaves the picture";
                return false;
            }
            if (m_in[1] > 0)
                emitThroughCurrent();
            m_x += m_in[0], m_row += m_in[1];
            m_in += 2;
        } else {
            const std::size_t bytes = m_four ? (second + 1) / 2 : second;
            const std::size_t padded = (bytes + 1) & ~std::size_t{1};
            if (static_cast<std::size_t>(m_end - m_in) < bytes) {
                error = "the BMP file is truncated";
                return false;
            }
            if (!put(second, m_in, true, error))
                return false;
            m_in += std::min(padded, static_cast<std::size_t>(m_end - m_in));
        }
    }
}

} // namespace

bool probeBmp(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    BmpHeader header;
    if (!parseBmpHeader(data, size, size, true, header, error))
        return false;
    // A JPEG or PNG inside has its own size (and a JPEG its own orientation), which is what
    // decoding will give.
    if (header.compression == kBmpJpeg || header.compression == kBmpPng) {
        if (!parseBmpHeader(data, size, size, false, header, error))
            return false;
        const std::uint8_t* embedded = data + header.dataOffset;
        const std::size_t embeddedSize = header.dataEnd - header.dataOffset;
        const bool ok = header.compression == kBmpJpeg
                            ? probeJpeg(embedded, embeddedSize, info, error)
                            : probePng(embedded, embeddedSize, info, error);
        info.type = PictureType::Bmp;
        return ok;
    }
    info.type = PictureType::Bmp;
    info.width = header.width;
    info.height = header.height;
    return true;
}

namespace {

// The pixels of a parsed BMP, from memory or from the file.
DecodeResult bmpPixels(const PixelData& pixels, std::uint64_t fileSize, const BmpHeader& header,
                       const DecodeOptions& options, RowSink& sink) {
    DecodeResult result;
    const std::size_t embeddedSize = header.dataEnd - header.dataOffset;
    // Embedded pictures take the stand-alone formats' paths: DCT scaling, the same limits.
    if (header.compression == kBmpJpeg) {
        if (pixels.memory != nullptr)
            return jpegRows(pixels.memory + header.dataOffset, embeddedSize, nullptr, options,
                            sink);
        if (std::fseek(pixels.file, static_cast<long>(header.dataOffset), SEEK_SET) != 0) {
            result.error = "cannot read the file";
            return result;
        }
        return jpegRows(nullptr, 0, pixels.file, options, sink);
    }
    if (header.compression == kBmpPng) {
        InputBytes input = pixels.open(header, embeddedSize);
        return pngRows(input, sink);
    }
    bool ok = false;
    if (header.compression == kBmpRle4 || header.compression == kBmpRle8) {
        InputBytes input = pixels.open(header, embeddedSize);
        RleDecoder decoder(input, header, sink);
        ok = decoder.run(result.error);
    } else {
        ok = decodeUncompressed(pixels, fileSize, header, sink, result.error);
    }
    if (!ok)
        return result;
    result.fullWidth = header.width;
    result.fullHeight = header.height;
    result.ok = true;
    return result;
}

} // namespace

DecodeResult bmpRows(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
                     RowSink& sink) {
    DecodeResult result;
    BmpHeader header;
    if (!parseBmpHeader(data, size, size, false, header, result.error))
        return result;
    return bmpPixels(PixelData{data, nullptr}, size, header, options, sink);
}

DecodeResult bmpRowsFile(std::FILE* file, std::uint64_t fileSize, const DecodeOptions& options,
                         RowSink& sink) {
    DecodeResult result;
    std::uint8_t head[kBmpHeadBytes];
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    BmpHeader header;
    if (!parseBmpHeader(head, got, fileSize, false, header, result.error))
        return result;
    return bmpPixels(PixelData{nullptr, file}, fileSize, header, options, sink);
}

DecodeResult decodeBmp(const std::uint8_t* data, std::size_t size, const DecodeOptions& options) {
    return collectRows([&](RowSink& sink) { return bmpRows(data, size, options, sink); });
}

} // namespace zp::detail
