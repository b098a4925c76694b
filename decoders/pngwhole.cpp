// The common PNGs in one go: the IDAT data gathered, inflated whole with libdeflate (about twice
// zlib's speed, but it wants the whole input and the whole output at once) into the sink's own
// storage, and unfiltered there. 8-bit RGB is unfiltered in place: row y's final place begins
// y + 1 bytes before its filtered bytes, so a forward pass never overwrites what it still needs.
// Narrower pixels are inflated to the end of the storage and widened to RGB row by row in front
// of the rows not yet read. Anything unusual is left to libpng, which has the messages for it.
#include "bitmap/hugepages.h"
#include "decoders/formats.h"

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <new>
#include <vector>

namespace zp::detail {

namespace {

// RGBA is wider than the RGB it becomes, so it cannot use the sink's storage; up to this much
// filtered data it is inflated into a buffer of its own. That buffer and the kept picture
// (3/4 of it) then stay within about 21 MiB, leaving the process under 32 MiB at its peak.
constexpr std::uint64_t kMaxScratchBytes = std::uint64_t{12} << 20;
// A sink that keeps nothing whole (the command line fits as the rows come) leaves the buffer
// alone in memory: a 4K screenshot's 25 MB of filtered RGB still goes through libdeflate.
constexpr std::uint64_t kMaxAloneScratchBytes = std::uint64_t{28} << 20;

struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = 0;
    int channels = 0; // bytes a pixel: 1 grey or index, 2 grey+alpha, 3 RGB, 4 RGBA
    std::uint8_t palette[256 * 3] = {}; // flattened onto white; missing entries are black
    bool hasPalette = false;
    std::uint32_t paletteSize = 0;
    std::vector<std::uint8_t> idat;
    std::uint64_t filteredBytes() const {
        return (std::uint64_t(width) * channels + 1) * std::uint64_t(height);
    }
};

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool readExact(InputBytes& input, void* out, std::size_t n) {
    return input.read(out, n) == n;
}

// A chunk's data and CRC; false when the file ends or the CRC does not match.
bool readChunkData(InputBytes& input, const std::uint8_t* head, std::uint8_t* data,
                   std::uint32_t length) {
    std::uint8_t crc[4];
    if (!readExact(input, data, length) || !readExact(input, crc, 4))
        return false;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)head;
    return true; // mutated files would hardly ever get past the CRC to the code behind it
#else
    const std::uint32_t sum = libdeflate_crc32(libdeflate_crc32(0, head + 4, 4), data, length);
    return sum == be32(crc);
#endif
}

// A chunk that is not needed is passed over, its CRC unchecked: a text chunk of a gigabyte
// costs a seek, not a gigabyte of reading.
bool skipChunk(InputBytes& input, std::uint32_t length) {
    return input.skip(std::uint64_t(length) + 4);
}

bool readHeader(InputBytes& input, PngLayout& png) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::uint8_t head[16];
    std::uint8_t ihdr[13];
    if (!readExact(input, head, 16) || std::memcmp(head, kSignature, 8) != 0 ||
        be32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0 ||
        !readChunkData(input, head + 8, ihdr, 13))
        return false;
    const std::uint32_t width = be32(ihdr);
    const std::uint32_t height = be32(ihdr + 4);
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    png.colourType = ihdr[9];
    // 8 bits, deflate, adaptive filters, not interlaced.
    if (ihdr[8] != 8 || png.colourType > 6 || kChannels[png.colourType] == 0 || ihdr[10] != 0 ||
        ihdr[11] != 0 || ihdr[12] != 0 || width == 0 || height == 0 || width > kMaxPictureSide ||
        height > kMaxPictureSide)
        return false;
    png.width = static_cast<int>(width);
    png.height = static_cast<int>(height);
    png.channels = kChannels[png.colourType];
    std::string unused;
    return checkDimensions(png.width, png.height, unused);
}

bool readPalette(InputBytes& input, const std::uint8_t* head, std::uint32_t length, PngLayout& png,
                 bool isTrns) {
    std::uint8_t data[768];
    // libpng ignores a tRNS longer than the palette, with a warning; such files go to it.
    if (length > (isTrns ? png.paletteSize : 768u) ||
        (!isTrns && (length % 3 != 0 || length == 0)) || !readChunkData(input, head, data, length))
        return false;
    if (!isTrns) {
        std::memcpy(png.palette, data, length);
        png.hasPalette = true;
        png.paletteSize = length / 3;
        return true;
    }
    for (std::uint32_t i = 0; i < length; ++i)
        for (int c = 0; c < 3; ++c)
            png.palette[i * 3 + c] = blendOnWhite(png.palette[i * 3 + c], data[i]);
    return true;
}

// Reads up to the end of the IDAT chunks, gathering their data. False for whatever this reader
// leaves to libpng.
bool readChunks(InputBytes& input, PngLayout& png) {
    if (!readHeader(input, png))
        return false;
    // More compressed data than stored blocks would take is no picture this reader needs to see.
    const std::uint64_t maxIdat = png.filteredBytes() + png.filteredBytes() / 64 + 1024;
    bool inIdat = false;
    bool hasTrns = false;
    std::uint8_t head[8];
    for (;;) {
        if (!readExact(input, head, 8))
            return false;
        const std::uint32_t length = be32(head);
        const bool idat = std::memcmp(head + 4, "IDAT", 4) == 0;
        if (length > 0x7fffffffu)
            return false;
        if (inIdat && !idat)
            return true; // the rest of the file is not needed
        if (idat) {
            if (png.colourType == 3 && !png.hasPalette)
                return false;
            inIdat = true;
            const std::size_t at = png.idat.size();
            if (at + length > maxIdat)
                return false;
            png.idat.resize(at + length);
            if (!readChunkData(input, head, png.idat.data() + at, length))
                return false;
        } else if (std::memcmp(head + 4, "PLTE", 4) == 0 || std::memcmp(head + 4, "tRNS", 4) == 0) {
            const bool trns = head[4] == 't';
            // Transparency by one colour key, or a palette where none belongs, or out of order.
            if ((trns && (png.colourType != 3 || !png.hasPalette || hasTrns)) ||
                (!trns && (png.colourType != 3 || png.hasPalette)))
                return false;
            hasTrns = hasTrns || trns;
            if (!readPalette(input, head, length, png, trns))
                return false;
        } else if ((head[4] & 0x20) == 0 || !skipChunk(input, length)) {
            return false; // a critical chunk out of place (IEND before IDAT), or truncation
        }
    }
}

// Of a, b and c, the one nearest a + b - c (ties to a, then b); written for conditional moves,
// as the choice follows the picture and defeats branch prediction.
inline int paeth(int a, int b, int c) {
    const int p = b - c;
    const int q = a - c;
    const int pa = p < 0 ? -p : p;
    const int pb = q < 0 ? -q : q;
    const int pc = p + q < 0 ? -(p + q) : p + q;
    int nearest = pb < pa ? b : a;
    const int least = pb < pa ? pb : pa;
    nearest = pc < least ? c : nearest;
    return nearest;
}

// Paeth over whole pixels, the left and upper-left neighbours kept in registers: the filter
// most encoders pick for most rows, and the one that dominates the time.
template <int bpp>
void paethPixels(const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* prev,
                 std::size_t n) {
    int a[bpp] = {};
    int c[bpp] = {};
    for (std::size_t i = 0; i < n; i += bpp) {
        for (int k = 0; k < bpp; ++k) {
            const int b = prev[i + k];
            a[k] = static_cast<std::uint8_t>(in[i + k] + paeth(a[k], b, c[k]));
            out[i + k] = static_cast<std::uint8_t>(a[k]);
            c[k] = b;
        }
    }
}

// One row of n bytes: out may begin before in (never after), prev is the row above, unfiltered.
template <int bpp>
void unfilterRow(int filter, const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* prev,
                 std::size_t n) {
    switch (filter) {
    case 0:
        std::memmove(out, in, n);
        break;
    case 1:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + (i >= bpp ? out[i - bpp] : 0));
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + prev[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < bpp; ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + (prev[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(in[i] + ((out[i - bpp] + prev[i]) >> 1));
        break;
    default:
        paethPixels<bpp>(in, out, prev, n);
        break;
    }
}

void unfilter(int channels, int filter, const std::uint8_t* in, std::uint8_t* out,
              const std::uint8_t* prev, std::size_t n) {
    switch (channels) {
    case 1:
        return unfilterRow<1>(filter, in, out, prev, n);
    case 2:
        return unfilterRow<2>(filter, in, out, prev, n);
    case 3:
        return unfilterRow<3>(filter, in, out, prev, n);
    default:
        return unfilterRow<4>(filter, in, out, prev, n);
    }
}

void widenRow(const PngLayout& png, const std::uint8_t* raw, std::uint8_t* rgb) {
    const int w = png.width;
    switch (png.colourType) {
    case 0:
        for (int x = 0; x < w; ++x, rgb += 3)
            rgb[0] = rgb[1] = rgb[2] = raw[x];
        break;
    case 3:
        for (int x = 0; x < w; ++x, rgb += 3)
            std::memcpy(rgb, png.palette + raw[x] * 3, 3);
        break;
    case 4:
        for (int x = 0; x < w; ++x, rgb += 3, raw += 2)
            rgb[0] = rgb[1] = rgb[2] = blendOnWhite(raw[0], raw[1]);
        break;
    case 6:
        for (int x = 0; x < w; ++x, rgb += 3, raw += 4) {
            rgb[0] = blendOnWhite(raw[0], raw[3]);
            rgb[1] = blendOnWhite(raw[1], raw[3]);
            rgb[2] = blendOnWhite(raw[2], raw[3]);
        }
        break;
    default:
        std::memcpy(rgb, raw, std::size_t(w) * 3);
        break;
    }
}

bool inflateAll(const PngLayout& png, std::uint8_t* out, std::size_t size) {
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    return d && libdeflate_zlib_decompress(d.get(), png.idat.data(), png.idat.size(), out, size,
                                           nullptr) == LIBDEFLATE_SUCCESS;
}

// The filters of every row are checked first, so that a bad one leaves the sink untouched.
bool filtersValid(const std::uint8_t* filtered, std::size_t rowBytes, int height) {
    for (int y = 0; y < height; ++y)
        if (filtered[std::size_t(y) * (rowBytes + 1)] > 4)
            return false;
    return true;
}

// Unfilters and widens rows one after another from `filtered`, through two row buffers, into
// `whole` (rows at their final places) or else into the sink's rows.
bool emitRows(const PngLayout& png, const std::uint8_t* filtered, std::uint8_t* whole,
              RowSink* sink) {
    const std::size_t rowBytes = std::size_t(png.width) * png.channels;
    const std::size_t stride = std::size_t(png.width) * 3;
    std::vector<std::uint8_t> rows, rgb;
    try {
        rows.assign(rowBytes * 2, 0);
        if (whole == nullptr)
            rgb.resize(stride);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::uint8_t* prev = rows.data();
    std::uint8_t* cur = rows.data() + rowBytes;
    for (int y = 0; y < png.height; ++y) {
        const std::uint8_t* in = filtered + std::size_t(y) * (rowBytes + 1);
        unfilter(png.channels, in[0], in + 1, cur, prev, rowBytes);
        std::uint8_t* target = whole != nullptr ? whole + std::size_t(y) * stride : nullptr;
        if (target == nullptr)
            target = sink->rowTarget(y);
        if (target == nullptr)
            target = rgb.data();
        widenRow(png, cur, target);
        if (whole == nullptr)
            sink->row(y, target);
        std::swap(prev, cur);
    }
    return true;
}

bool decodeIntoWhole(const PngLayout& png, std::uint8_t* whole, std::size_t size) {
    const std::size_t filteredBytes = static_cast<std::size_t>(png.filteredBytes());
    std::uint8_t* filtered = whole + (size - filteredBytes);
    const std::size_t rowBytes = std::size_t(png.width) * png.channels;
    if (!inflateAll(png, filtered, filteredBytes) || !filtersValid(filtered, rowBytes, png.height))
        return false;
    if (png.channels != 3)
        return emitRows(png, filtered, whole, nullptr);
    // In place: row y moves y + 1 bytes towards the start as it is unfiltered.
    std::vector<std::uint8_t> zeros;
    try {
        zeros.assign(rowBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::uint8_t* prev = zeros.data();
    for (int y = 0; y < png.height; ++y) {
        const std::uint8_t* in = filtered + std::size_t(y) * (rowBytes + 1);
        std::uint8_t* out = whole + std::size_t(y) * rowBytes;
        unfilterRow<3>(in[0], in + 1, out, prev, rowBytes);
        prev = out;
    }
    return true;
}

} // namespace

bool pngRowsWhole(InputBytes& input, RowSink& sink, DecodeResult& result) {
    PngLayout png;
    bool done = false;
    try {
        if (readChunks(input, png)) {
            const std::uint64_t filteredBytes = png.filteredBytes();
            const std::uint64_t rgbBytes = std::uint64_t(png.width) * png.height * 3;
            std::uint8_t* whole = nullptr;
            std::string error;
            if (png.channels <= 3) {
                const std::size_t size =
                    static_cast<std::size_t>(std::max(filteredBytes, rgbBytes));
                if (!sink.beginWhole(png.width, png.height, size, whole, error)) {
                    result.error = error;
                    return true; // the sink's verdict stands
                }
            }
            if (whole != nullptr) {
                done = decodeIntoWhole(png, whole,
                                       static_cast<std::size_t>(std::max(filteredBytes, rgbBytes)));
                if (done)
                    for (int y = 0; y < png.height; ++y)
                        sink.row(y, whole + std::size_t(y) * png.width * 3);
            } else if (filteredBytes <=
                       (png.channels <= 3 ? kMaxAloneScratchBytes : kMaxScratchBytes)) {
                // Not zeroed: the inflating fills every byte or fails.
                const auto bytes = static_cast<std::size_t>(filteredBytes);
                std::unique_ptr<std::uint8_t[]> filtered(new (std::nothrow) std::uint8_t[bytes]);
                if (!filtered)
                    throw std::bad_alloc();
                adviseHugePages(filtered.get(), bytes);
                done = inflateAll(png, filtered.get(), bytes) &&
                       filtersValid(filtered.get(), std::size_t(png.width) * png.channels,
                                    png.height) &&
                       (png.channels > 3 ? sink.begin(png.width, png.height, 1, error) : true) &&
                       emitRows(png, filtered.get(), nullptr, &sink);
            }
        }
    } catch (const std::bad_alloc&) {
        done = false; // libpng, reading row by row, may still manage
    }
    if (done) {
        result.fullWidth = png.width;
        result.fullHeight = png.height;
        result.ok = true;
        return true;
    }
    if (input.rewind())
        return false;
    result.error = "PNG error: cannot read the file";
    return true;
}

} // namespace zp::detail
