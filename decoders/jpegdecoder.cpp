// JPEG through libjpeg(-turbo). The library reports errors through a callback that must not
// return, so the calls live in one C-style function (runJpeg) whose error handler copies the
// message and longjmps back; no object with a destructor lives in the frames it jumps across.
#include "decoders/formats.h"
#include "decoders/orientation.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace zp::detail {

namespace {

// A progressive file with thousands of tiny scans costs a full pass over the coefficients each.
constexpr int kMaxScans = 100;
// What libjpeg itself may allocate (coefficient buffers of progressive files, saved markers). It
// has no temporary files to spill into, so a picture that needs more fails cleanly: a progressive
// 50-megapixel colour photo fits, a 13000 x 13000 one does not.
constexpr long kMaxLibraryMemory = 160L << 20;
// Markers before the first scan (EXIF, ICC profiles, comments) are never near this; a file whose
// header runs on past it is not read to its end.
constexpr std::size_t kMaxHeaderBytes = 16u << 20;
constexpr int kRowBatch = 16;

struct JpegErrorManager {
    jpeg_error_mgr pub; // first member: libjpeg sees only this part
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 64];
    bool readingRows;
};

// Plain data between decodeJpeg and runJpeg; it lives in decodeJpeg's frame.
struct JpegJob {
    const std::uint8_t* data = nullptr; // the whole file in memory, or
    std::size_t size = 0;
    std::FILE* file = nullptr; // the file, read as the decoder goes
    bool headerOnly = false;
    int minWidth = 0;
    int minHeight = 0;
    RowSink* sink = nullptr;
    int orientation = 1;
    int fullWidth = 0; // as stored, before orientation
    int fullHeight = 0;
    std::string error;
};

[[noreturn]] void failWith(j_common_ptr cinfo, const char* text) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", text);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void onErrorExit(j_common_ptr cinfo) {
    const int code = cinfo->err->msg_code;
    if (code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY)
        failWith(cinfo, "the picture is too large to decode in the memory allowed for it");
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    char message[JMSG_LENGTH_MAX + 32];
    std::snprintf(message, sizeof message, "JPEG error: %s", text);
    failWith(cinfo, message);
}

// A file that ends early would otherwise come out with its lower part grey. Running out of data
// while the last iMCU rows are decoded only means a missing EOI marker, which is harmless.
bool endOfDataIsHarmless(j_common_ptr cinfo) {
    const auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (!cinfo->is_decompressor || !err->readingRows)
        return false;
    const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->progressive_mode)
        return false;
#if JPEG_LIB_VERSION >= 70
    const unsigned rowsPerIMCU = d->max_v_samp_factor * d->min_DCT_v_scaled_size;
#else
    const unsigned rowsPerIMCU = d->max_v_samp_factor * d->min_DCT_scaled_size;
#endif
    return d->output_scanline + 2 * rowsPerIMCU >= d->output_height;
}

// Data that ends early, whether the file stops or another marker comes too soon, is refused
// alike, and so is entropy-coded data that does not decode: either would leave a grey band.
// Extraneous bytes between markers and restart markers out of order are only unusual.
void onEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return; // trace output
    cinfo->err->num_warnings++;
    const int code = cinfo->err->msg_code;
    // A segment cut short by a restart marker is how libjpeg resynchronises after restart
    // markers out of order: the data goes on after it.
    const bool atRestart =
        cinfo->is_decompressor &&
        (reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker & 0xf8) == JPEG_RST0;
    if ((code == JWRN_JPEG_EOF || (code == JWRN_HIT_MARKER && !atRestart)) &&
        !endOfDataIsHarmless(cinfo))
        failWith(cinfo, "the JPEG file is truncated");
    if (code == JWRN_HUFF_BAD_CODE) {
        char text[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, text);
        char message[JMSG_LENGTH_MAX + 32];
        std::snprintf(message, sizeof message, "the JPEG data is corrupt: %s", text);
        failWith(cinfo, message);
    }
}

// Reading from an open file in chunks: the file never has to be in memory whole. libjpeg-turbo
// decodes Huffman data on its fast path only with several KiB ahead in the buffer; with 4 KiB
// chunks a large photo decodes about a tenth slower than with these.
constexpr std::size_t kReadChunk = 64 * 1024;

struct FileSource {
    jpeg_source_mgr pub; // first member: libjpeg sees only this part
    std::FILE* file;
    JOCTET* buffer;
    std::size_t headerBytesLeft; // until the header is read; then no limit
    bool inHeader;
};

void initFileSource(j_decompress_ptr) {}
void termFileSource(j_decompress_ptr) {}

boolean fillFileBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (src->inHeader) {
        if (src->headerBytesLeft == 0)
            failWith(reinterpret_cast<j_common_ptr>(cinfo),
                     "the JPEG header runs on for more than 16 MB without a picture");
        src->headerBytesLeft -= std::min(src->headerBytesLeft, kReadChunk);
    }
    std::size_t n = std::fread(src->buffer, 1, kReadChunk, src->file);
    if (n == 0) {
        if (std::ferror(src->file))
            failWith(reinterpret_cast<j_common_ptr>(cinfo), "cannot read the file");
        // As libjpeg's own sources do at the end of the data: warn and insert an EOI marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    return TRUE;
}

void skipFileData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        (*src->fill_input_buffer)(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

void useFileSource(j_decompress_ptr cinfo, std::FILE* file) {
    auto* src = static_cast<FileSource*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(FileSource)));
    src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kReadChunk));
    src->file = file;
    src->headerBytesLeft = kMaxHeaderBytes;
    src->inHeader = true;
    src->pub.init_source = initFileSource;
    src->pub.fill_input_buffer = fillFileBuffer;
    src->pub.skip_input_data = skipFileData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = termFileSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    cinfo->src = &src->pub;
}

void onProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        failWith(cinfo, "the JPEG file has more than 100 scans");
}

int orientationOf(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            const int o = exifOrientation(m->data, m->data_length);
            if (o != 1)
                return o;
        }
    }
    return 1;
}

// The smallest M/8 whose upright output still covers the requested minimum.
void chooseScale(j_decompress_ptr cinfo, const JpegJob& job) {
    if (job.minWidth <= 0 && job.minHeight <= 0)
        return;
    const bool swapped = orientationSwapsSides(job.orientation);
    for (unsigned m = 1; m <= 8; ++m) {
        cinfo->scale_num = m;
        cinfo->scale_denom = 8;
        jpeg_calc_output_dimensions(cinfo);
        const auto w = static_cast<int>(swapped ? cinfo->output_height : cinfo->output_width);
        const auto h = static_cast<int>(swapped ? cinfo->output_width : cinfo->output_height);
        if (w >= job.minWidth && h >= job.minHeight)
            return;
    }
}

// Adobe writers (and so most CMYK JPEGs) store the inks inverted; then C' = 255 - C.
void cmykToRgb(const JSAMPLE* in, std::uint8_t* out, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned k = inverted ? in[3] : 255u - in[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? in[c] : 255u - in[c];
            out[c] = static_cast<std::uint8_t>((ink * k + 127u) / 255u);
        }
    }
}

// Hands every output row to the sink; rows go straight into the sink's own storage when it
// offers some.
void readRows(j_decompress_ptr cinfo, RowSink& sink) {
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    const auto common = reinterpret_cast<j_common_ptr>(cinfo);
    const JDIMENSION width = cinfo->output_width;
    JSAMPARRAY batch = (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, width * 3, kRowBatch);
    JSAMPARRAY cmykRow =
        cmyk ? (*cinfo->mem->alloc_sarray)(common, JPOOL_IMAGE, width * 4, 1) : nullptr;
    JSAMPROW rows[kRowBatch];
    while (cinfo->output_scanline < cinfo->output_height) {
        const unsigned y = cinfo->output_scanline;
        if (cmyk) {
            if (jpeg_read_scanlines(cinfo, cmykRow, 1) == 1) {
                cmykToRgb(cmykRow[0], batch[0], width, cinfo->saw_Adobe_marker);
                sink.row(static_cast<int>(y), batch[0]);
            }
            continue;
        }
        const unsigned n = std::min<unsigned>(kRowBatch, cinfo->output_height - y);
        for (unsigned i = 0; i < n; ++i) {
            std::uint8_t* target = sink.rowTarget(static_cast<int>(y + i));
            rows[i] = target != nullptr ? target : batch[i];
        }
        const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, n);
        for (JDIMENSION i = 0; i < got; ++i)
            sink.row(static_cast<int>(y + i), rows[i]);
    }
}

bool pickColourSpace(j_decompress_ptr cinfo, std::string& error) {
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo->out_color_space = JCS_EXT_RGB; // straight into the bitmap's R G B rows
        return true;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        return true;
    default:
        error = "unsupported JPEG colour space (" + std::to_string(cinfo->num_components) +
                " components)";
        return false;
    }
}

bool runJpeg(JpegJob* job) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&progress, 0, sizeof progress);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onErrorExit;
    err.pub.emit_message = onEmitMessage;
    err.readingRows = false;
    err.message[0] = '\0';
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        job->error = err.message;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    progress.progress_monitor = onProgress;
    cinfo.progress = &progress;
    if (job->file != nullptr)
        useFileSource(&cinfo, job->file);
    else
        jpeg_mem_src(&cinfo, job->data, static_cast<unsigned long>(job->size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&cinfo, TRUE);
    if (job->file != nullptr)
        reinterpret_cast<FileSource*>(cinfo.src)->inHeader = false;
    job->orientation = orientationOf(cinfo);
    job->fullWidth = static_cast<int>(cinfo.image_width);
    job->fullHeight = static_cast<int>(cinfo.image_height);
    bool ok = checkDimensions(cinfo.image_width, cinfo.image_height, job->error);
    if (ok && !job->headerOnly)
        ok = pickColourSpace(&cinfo, job->error);
    if (ok && !job->headerOnly) {
        cinfo.dct_method = JDCT_ISLOW;
        chooseScale(&cinfo, *job);
        jpeg_start_decompress(&cinfo);
        ok = job->sink->begin(static_cast<int>(cinfo.output_width),
                              static_cast<int>(cinfo.output_height), job->orientation, job->error);
        if (ok) {
            err.readingRows = true;
            readRows(&cinfo, *job->sink);
        }
    }
    // No jpeg_finish_decompress: once every row is in, what follows (a missing EOI, trailing
    // bytes) does not matter.
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool probeJpegJob(JpegJob& job, PictureInfo& info, std::string& error) {
    job.headerOnly = true;
    if (!runJpeg(&job)) {
        error = job.error;
        return false;
    }
    const bool swapped = orientationSwapsSides(job.orientation);
    info.type = PictureType::Jpeg;
    info.width = swapped ? job.fullHeight : job.fullWidth;
    info.height = swapped ? job.fullWidth : job.fullHeight;
    return true;
}

DecodeResult decodeJpegJob(JpegJob& job, const DecodeOptions& options, RowSink& sink) {
    DecodeResult result;
    job.minWidth = options.minWidth;
    job.minHeight = options.minHeight;
    job.sink = &sink;
    if (!runJpeg(&job)) {
        result.error = job.error;
        return result;
    }
    const bool swapped = orientationSwapsSides(job.orientation);
    result.fullWidth = swapped ? job.fullHeight : job.fullWidth;
    result.fullHeight = swapped ? job.fullWidth : job.fullHeight;
    result.ok = true;
    return result;
}

} // namespace

bool probeJpeg(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    JpegJob job;
    job.data = data;
    job.size = size;
    return probeJpegJob(job, info, error);
}

bool probeJpegFile(std::FILE* file, PictureInfo& info, std::string& error) {
    JpegJob job;
    job.file = file;
    return probeJpegJob(job, info, error);
}

DecodeResult jpegRows(const std::uint8_t* data, std::size_t size, std::FILE* file,
                      const DecodeOptions& options, RowSink& sink) {
    JpegJob job;
    job.data = data;
    job.size = size;
    job.file = file;
    return decodeJpegJob(job, options, sink);
}

DecodeResult decodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeOptions& options) {
    return collectRows([&](RowSink& sink) { return jpegRows(data, size, nullptr, options, sink); });
}

} // namespace zp::detail
