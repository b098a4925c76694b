// WebP through libwebp: a still picture is decoded in one call, at a reduced size when that is
// all the caller needs; an animation gives its first frame, composed on its canvas. An EXIF
// orientation in the file's EXIF chunk is applied, as for a JPEG.
#include "decoders/codeclibs.h"
#include "decoders/formats.h"
#include "decoders/orientation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace zp::detail {

namespace {

bool readFeatures(const WebpLibrary& webp, const std::uint8_t* data, std::size_t size,
                  WebPBitstreamFeatures& features, std::string& error) {
    const VP8StatusCode status =
        webp.WebPGetFeaturesInternal(data, size, &features, WEBP_DECODER_ABI_VERSION);
    if (status == VP8_STATUS_OK)
        return checkDimensions(features.width, features.height, error);
    error = status == VP8_STATUS_NOT_ENOUGH_DATA ? "WebP error: the file is truncated"
                                                 : "WebP error: the header is damaged";
    return false;
}

// The orientation named by the file's EXIF chunk; 1 when it has none. The chunk holds the TIFF
// structure itself, though some writers leave the "Exif\0\0" of a JPEG's APP1 segment before it.
int orientationOf(const WebpLibrary& webp, const std::uint8_t* data, std::size_t size) {
    const WebPData file{data, size};
    std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(
        webp.WebPDemuxInternal(&file, 0, nullptr, WEBP_DEMUX_ABI_VERSION), webp.WebPDemuxDelete);
    WebPChunkIterator chunk;
    if (!demux || !webp.WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk))
        return 1;
    const std::uint8_t* bytes = chunk.chunk.bytes;
    const std::size_t length = chunk.chunk.size;
    const int orientation = length >= 6 && std::memcmp(bytes, "Exif\0\0", 6) == 0
                                ? exifOrientation(bytes, length)
                                : tiffOrientation(bytes, length);
    webp.WebPDemuxReleaseChunkIterator(&chunk);
    return orientation;
}

// The smallest size of the picture's shape that covers minWidth x minHeight (full size when no
// smaller one does).
void scaledSize(int width, int height, const DecodeOptions& options, int& outWidth,
                int& outHeight) {
    outWidth = width;
    outHeight = height;
    if (options.minWidth <= 0 && options.minHeight <= 0)
        return;
    const double scale = std::max(double(std::max(options.minWidth, 1)) / width,
                                  double(std::max(options.minHeight, 1)) / height);
    if (scale >= 1.0)
        return;
    outWidth = std::clamp(int(std::ceil(width * scale - 1e-9)), 1, width);
    outHeight = std::clamp(int(std::ceil(height * scale - 1e-9)), 1, height);
}

DecodeResult stillRows(const WebpLibrary& webp, const std::uint8_t* data, std::size_t size,
                       const WebPBitstreamFeatures& features, const DecodeOptions& options,
                       int orientation, RowSink& sink) {
    DecodeResult result;
    WebPDecoderConfig config;
    if (!webp.WebPInitDecoderConfigInternal(&config, WEBP_DECODER_ABI_VERSION)) {
        result.error = "WebP error: the library cannot be used";
        return result;
    }
    // The size asked for is upright; the picture is decoded as stored.
    const DecodeOptions stored = orientationSwapsSides(orientation)
                                     ? DecodeOptions{options.minHeight, options.minWidth}
                                     : options;
    int width = 0, height = 0;
    scaledSize(features.width, features.height, stored, width, height);
    if (!checkHeldFrame(width, height, features.has_alpha ? 4 : 3, result.error))
        return result;
    if (width != features.width || height != features.height) {
        config.options.use_scaling = 1;
        config.options.scaled_width = width;
        config.options.scaled_height = height;
    }
    config.output.colorspace = features.has_alpha ? MODE_RGBA : MODE_RGB;
    const VP8StatusCode status = webp.WebPDecode(data, size, &config);
    std::unique_ptr<WebPDecBuffer, void (*)(WebPDecBuffer*)> output(&config.output,
                                                                    webp.WebPFreeDecBuffer);
    if (status != VP8_STATUS_OK) {
        result.error = status == VP8_STATUS_NOT_ENOUGH_DATA
                           ? "WebP error: the file is truncated"
                           : "WebP error: the picture data is damaged";
        return result;
    }
    const WebPRGBABuffer& rgba = config.output.u.RGBA;
    return emitInterleaved(rgba.rgba, std::size_t(rgba.stride), config.output.width,
                           config.output.height, features.has_alpha != 0, orientation,
                           features.width, features.height, sink);
}

DecodeResult firstFrameRows(const WebpLibrary& webp, const std::uint8_t* data, std::size_t size,
                            int orientation, RowSink& sink) {
    DecodeResult result;
    WebPAnimDecoderOptions animOptions;
    if (!webp.WebPAnimDecoderOptionsInitInternal(&animOptions, WEBP_DEMUX_ABI_VERSION)) {
        result.error = "WebP error: the library cannot be used";
        return result;
    }
    animOptions.color_mode = MODE_RGBA;
    animOptions.use_threads = 0;
    const WebPData file{data, size};
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
        webp.WebPAnimDecoderNewInternal(&file, &animOptions, WEBP_DEMUX_ABI_VERSION),
        webp.WebPAnimDecoderDelete);
    WebPAnimInfo info;
    if (!decoder || !webp.WebPAnimDecoderGetInfo(decoder.get(), &info)) {
        result.error = "WebP error: the animation is damaged or truncated";
        return result;
    }
    // The library keeps the canvas twice (the frame and what it is blended over), RGBA each.
    const int width = int(info.canvas_width), height = int(info.canvas_height);
    if (!checkHeldFrame(width, height, 8, result.error))
        return result;
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!webp.WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || frame == nullptr) {
        result.error = "WebP error: the first frame of the animation cannot be decoded";
        return result;
    }
    return emitInterleaved(frame, std::size_t(width) * 4, width, height, true, orientation, width,
                           height, sink);
}

} // namespace

bool probeWebp(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    const WebpLibrary* webp = webpLibrary(error);
    WebPBitstreamFeatures features;
    if (webp == nullptr || !readFeatures(*webp, data, size, features, error))
        return false;
    const bool swap = orientationSwapsSides(orientationOf(*webp, data, size));
    info.type = PictureType::Webp;
    info.width = swap ? features.height : features.width;
    info.height = swap ? features.width : features.height;
    return true;
}

DecodeResult webpRows(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
                      RowSink& sink) {
    DecodeResult result;
    const WebpLibrary* webp = webpLibrary(result.error);
    WebPBitstreamFeatures features;
    if (webp == nullptr || !readFeatures(*webp, data, size, features, result.error))
        return result;
    const int orientation = orientationOf(*webp, data, size);
    if (features.has_animation)
        return firstFrameRows(*webp, data, size, orientation, sink);
    return stillRows(*webp, data, size, features, options, orientation, sink);
}

} // namespace zp::detail
