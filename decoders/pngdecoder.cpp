// PNG through libpng. Errors come back through png_error, which longjmps to runPng's setjmp;
// the frames in between hold nothing with a destructor. Buffers belong to the caller's frame.
#include "decoders/formats.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <vector>

namespace zp::detail {

namespace {

// What libpng may allocate for one chunk, and how many unknown chunks it keeps.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxCachedChunks = 256;

// What libpng is handed of the file: the signature, then, before the first IDAT, only the chunks
// that shape the pixels (the critical ones and tRNS), whole. The others (texts, profiles,
// unknown chunks) are passed over by a seek, unread and their CRC unchecked, so that the time a
// file takes follows what is decoded, not what it declares. From the first IDAT on, everything
// is handed over as it stands.
struct ChunkFilter {
    std::uint64_t passLeft = 8; // bytes of the current chunk (data and CRC) still to hand over
    std::uint8_t head[8] = {};
    int headAt = 8; // head[headAt..7] are still to hand over
    bool imageStarted = false;
    char skipped[5] = {}; // the chunk last passed over, for messages
};

struct PngJob {
    InputBytes* input = nullptr;
    ChunkFilter filter;
    bool headerOnly = false;
    RowSink* sink = nullptr;
    std::vector<std::uint8_t> rows; // one row, or every row of an interlaced picture
    std::vector<std::uint8_t> rgb;  // a row with its alpha flattened onto white
    int width = 0;
    int height = 0;
    std::string error;
    char message[300] = {};
    char warning[100] = {};
};

void onPngError(png_structp png, png_const_charp text) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "PNG error: %s", text);
    png_longjmp(png, 1);
}

// Warnings do not stop the reading; the last one is kept, as it may explain a later error.
void onPngWarning(png_structp png, png_const_charp text) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->warning, sizeof job->warning, "%s", text);
}

// Ends the reading as truncated in the named chunk (the chunk libpng is in when chunk is
// null; none before the first). No object with a destructor lives here: this longjmps.
[[noreturn]] void failTruncated(png_structp png, PngJob* job, const char* chunk) {
    if (job->input->readError()) {
        std::snprintf(job->message, sizeof job->message, "PNG error: cannot read the file");
        png_longjmp(png, 1);
    }
    char name[5] = {};
    if (chunk == nullptr) {
        const png_uint_32 type = png_get_io_chunk_type(png);
        for (int i = 0; i < 4; ++i)
            name[i] = static_cast<char>((type >> (24 - 8 * i)) & 0xff);
        chunk = name;
    }
    bool named = true;
    for (int i = 0; i < 4 && named; ++i)
        named = std::isalpha(static_cast<unsigned char>(chunk[i])) != 0;
    if (!named)
        chunk = "";
    // The chunk, and a warning such as "chunk data is too large", show the cause.
    std::snprintf(job->message, sizeof job->message, "PNG error: the file is truncated%s%s%s%s%s",
                  chunk[0] == '\0' ? "" : " in the chunk ", chunk,
                  job->warning[0] != '\0' ? " (" : "", job->warning,
                  job->warning[0] != '\0' ? ")" : "");
    png_longjmp(png, 1);
}

bool shapesPixels(const std::uint8_t* type) {
    return (type[0] & 0x20) == 0 || std::memcmp(type, "tRNS", 4) == 0;
}

// Reads the next chunk's head; passes over the chunks libpng does not need before the image.
void nextChunk(png_structp png, PngJob* job) {
    ChunkFilter& f = job->filter;
    for (;;) {
        if (job->input->read(f.head, 8) != 8)
            failTruncated(png, job, f.skipped[0] != '\0' ? f.skipped : nullptr);
        const png_uint_32 length = png_get_uint_32(f.head);
        const bool idat = std::memcmp(f.head + 4, "IDAT", 4) == 0;
        // An out-of-range length is left to libpng, which names the fault.
        if (f.imageStarted || idat || shapesPixels(f.head + 4) || length > PNG_UINT_31_MAX) {
            f.imageStarted = f.imageStarted || idat;
            f.headAt = 0;
            f.passLeft = std::uint64_t(length) + 4;
            f.skipped[0] = '\0';
            return;
        }
        std::memcpy(f.skipped, f.head + 4, 4);
        if (!job->input->skip(std::uint64_t(length) + 4))
            failTruncated(png, job, f.skipped);
    }
}

void onPngRead(png_structp png, png_bytep out, size_t count) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    ChunkFilter& f = job->filter;
    while (count > 0) {
        size_t n = 0;
        if (f.headAt < 8) {
            n = std::min<size_t>(count, 8 - static_cast<size_t>(f.headAt));
            std::memcpy(out, f.head + f.headAt, n);
            f.headAt += static_cast<int>(n);
        } else if (f.passLeft > 0) {
            n = static_cast<size_t>(std::min<std::uint64_t>(count, f.passLeft));
            if (job->input->read(out, n) != n)
                failTruncated(png, job, nullptr);
            f.passLeft -= n;
        } else {
            nextChunk(png, job);
        }
        out += n;
        count -= n;
    }
}

void flattenRow(const std::uint8_t* rgba, std::uint8_t* rgb, int width) {
    for (int x = 0; x < width; ++x, rgba += 4, rgb += 3) {
        rgb[0] = blendOnWhite(rgba[0], rgba[3]);
        rgb[1] = blendOnWhite(rgba[1], rgba[3]);
        rgb[2] = blendOnWhite(rgba[2], rgba[3]);
    }
}

// Every colour type, depth and tRNS comes out as 8-bit RGB or RGBA.
int setTransforms(png_structp png, png_infop info) {
    const int depth = png_get_bit_depth(png, info);
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    if (depth == 16)
        png_set_scale_16(png);
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return passes;
}

// Sends the rows to the sink, flattened onto white when there is alpha. An interlaced picture's
// passes revisit every row, so all its rows are kept until the last pass; otherwise one will do.
bool readPixels(png_structp png, png_infop info, PngJob* job, int passes) {
    const int channels = png_get_channels(png, info);
    if (channels != 3 && channels != 4) {
        job->error = "unexpected PNG pixel layout";
        return false;
    }
    RowSink& sink = *job->sink;
    if (!sink.begin(job->width, job->height, 1, job->error))
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(job->width) * channels;
    const std::uint64_t keep = passes > 1 ? std::uint64_t(rowBytes) * job->height : rowBytes;
    if (!allocateScratch(job->rows, keep, job->error) ||
        (channels == 4 && !allocateScratch(job->rgb, std::uint64_t(job->width) * 3, job->error)))
        return false;
    const auto emit = [&](int y, std::uint8_t* row) {
        if (channels == 4) {
            flattenRow(row, job->rgb.data(), job->width);
            row = job->rgb.data();
        }
        sink.row(y, row);
    };
    if (passes == 1) {
        for (int y = 0; y < job->height; ++y) {
            std::uint8_t* target = channels == 3 ? sink.rowTarget(y) : nullptr;
            std::uint8_t* row = target != nullptr ? target : job->rows.data();
            png_read_row(png, row, nullptr);
            emit(y, row);
        }
        return true;
    }
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < job->height; ++y)
            png_read_row(png, job->rows.data() + rowBytes * y, nullptr);
    for (int y = 0; y < job->height; ++y)
        emit(y, job->rows.data() + rowBytes * y);
    return true;
}

bool runPng(PngJob* job) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, onPngError, onPngWarning);
    if (png == nullptr) {
        job->error = "cannot start the PNG reader";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        job->error = "cannot start the PNG reader";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        job->error = job->message;
        return false;
    }
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    // Texts, profiles and the like never reach libpng (see ChunkFilter), which would allocate
    // and clear whatever length such a chunk declares.
    png_set_read_fn(png, job, onPngRead);
    png_read_info(png, info);
    job->width = static_cast<int>(png_get_image_width(png, info));
    job->height = static_cast<int>(png_get_image_height(png, info));
    bool ok = checkDimensions(job->width, job->height, job->error);
    if (ok && !job->headerOnly)
        ok = readPixels(png, info, job, setTransforms(png, info));
    // The rest of the file (text after the image, trailing bytes) is not needed.
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

} // namespace

bool probePngInput(InputBytes& input, PictureInfo& info, std::string& error) {
    PngJob job;
    job.input = &input;
    job.headerOnly = true;
    if (!runPng(&job)) {
        error = job.error;
        return false;
    }
    info.type = PictureType::Png;
    info.width = job.width;
    info.height = job.height;
    return true;
}

bool probePng(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    InputBytes input(data, size);
    return probePngInput(input, info, error);
}

DecodeResult pngRows(InputBytes& input, RowSink& sink) {
    DecodeResult result;
    if (pngRowsWhole(input, sink, result))
        return result;
    PngJob job;
    job.input = &input;
    job.sink = &sink;
    if (!runPng(&job)) {
        result.error = job.error;
        return result;
    }
    result.fullWidth = job.width;
    result.fullHeight = job.height;
    result.ok = true;
    return result;
}

DecodeResult decodePng(const std::uint8_t* data, std::size_t size) {
    return collectRows([&](RowSink& sink) {
        InputBytes input(data, size);
        return pngRows(input, sink);
    });
}

} // namespace zp::detail
