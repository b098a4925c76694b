#include "picture/jpegencoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace zp {

namespace {

// No C++ object with a destructor lives between setjmp and longjmp in this file: the
// compressor is a plain struct, the message is copied into a fixed buffer, and the output
// vector belongs to the caller.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void silentOutput(j_common_ptr) {}

// A destination manager that appends to the caller's vector in chunks.
constexpr std::size_t kChunk = 64 * 1024;

struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
};

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->out->data();
    dest->pub.free_in_buffer = dest->out->size();
}

// Called when the buffer is full: the whole buffer holds data; grow it and go on.
boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const std::size_t used = dest->out->size();
    bool grown = true;
    try {
        dest->out->resize(used + std::max(kChunk, used / 2));
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) {
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY); // outside the handler: longjmp never leaves a catch
    }
    dest->pub.next_output_byte = dest->out->data() + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
}

constexpr char kCancelled[] = "cancelled";

// The C-style core; returns false with err.message filled in when libjpeg failed or `cancel`
// (may be null) turned true between two batches of rows.
bool compress(const Bitmap& bitmap, int quality, HuffmanTables tables, VectorDestination& dest,
              ErrorManager& err, const std::atomic<bool>* cancel) {
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silentOutput;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    cinfo.dest = &dest.pub;
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.width);
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&cinfo, quality, TRUE);
    // Tables from the picture's own statistics: a second pass over the coefficients, which
    // libjpeg keeps in memory, costs far less than the DCT; the output stays baseline.
    cinfo.optimize_coding = tables == HuffmanTables::Optimized ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    constexpr int kRows = 16;
    JSAMPROW rows[kRows];
    while (cinfo.next_scanline < cinfo.image_height) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            std::snprintf(err.message, sizeof err.message, "%s", kCancelled);
            jpeg_destroy_compress(&cinfo);
            return false;
        }
        int n = 0;
        for (; n < kRows && cinfo.next_scanline + n < cinfo.image_height; ++n) {
            rows[n] = const_cast<JSAMPROW>(bitmap.row(static_cast<int>(cinfo.next_scanline) + n));
        }
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool encodeWith(const Bitmap& bitmap, int quality, HuffmanTables tables,
                std::vector<std::uint8_t>& out, std::string& error,
                const std::atomic<bool>* cancel) {
    if (bitmap.empty() || bitmap.pixels.size() < bitmap.stride() * bitmap.height ||
        bitmap.width > JPEG_MAX_DIMENSION || bitmap.height > JPEG_MAX_DIMENSION) {
        error = "invalid bitmap for JPEG encoding";
        return false;
    }
    // Start from a buffer big enough for most phone-sized pictures, so one allocation serves
    // the whole quality loop.
    out.resize(std::max<std::size_t>(out.capacity(), kChunk));
    VectorDestination dest{};
    dest.out = &out;
    ErrorManager err{};
    if (!compress(bitmap, quality, tables, dest, err, cancel)) {
        out.clear();
        error = err.message;
        return false;
    }
    return true;
}

} // namespace

bool encodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out,
                std::string& error, HuffmanTables tables) {
    return encodeWith(bitmap, quality, tables, out, error, nullptr);
}

bool encodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out,
                std::string& error, const std::atomic<bool>& cancel) {
    return encodeWith(bitmap, quality, HuffmanTables::Optimized, out, error, &cancel);
}

} // namespace zp
