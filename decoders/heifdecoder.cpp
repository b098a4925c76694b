// HEIF (HEIC) through libheif: the primary picture, with the rotation and mirroring its file
// names applied by the library. An EXIF orientation inside the file is not applied on top: the
// file's own transformations already say how it stands.
#include "decoders/formats.h"

#include <algorithm>
#include <cstring>
#include <libheif/heif.h>
#include <memory>

namespace zp::detail {

namespace {

// libheif's own default: no side of any picture it makes, derived ones (grids) too, whose
// size comes from their own data, may exceed it. The held-picture bound is checked on the
// primary picture's size below; a panorama may still be long on one side.
constexpr int kHeifSideLimit = 32768;

struct HeifContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeifHandleDeleter {
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
    void operator()(const heif_image* image) const { heif_image_release(image); }
};
struct HeifOptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

std::string heifMessage(const heif_error& error) {
    return std::string("HEIF error: ") + (error.message != nullptr ? error.message : "unknown");
}

// An overlay item ('iovl') names its canvas size in its own data, which libheif allocates
// before anything else checks it: a 2 KB file made it take 350 MB. Phones and cameras write
// single pictures and grids, never overlays, so a file with one is refused. The item types
// sit in the top-level 'meta' box.
bool hasOverlayItem(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t kOverlay[4] = {'i', 'o', 'v', 'l'};
    std::size_t at = 0;
    while (size - at >= 8) {
        std::uint64_t boxSize = std::uint64_t(data[at]) << 24 | std::uint64_t(data[at + 1]) << 16 |
                                std::uint64_t(data[at + 2]) << 8 | data[at + 3];
        if (boxSize == 0 || boxSize > size - at)
            boxSize = size - at;
        if (boxSize < 8)
            return false;
        if (std::memcmp(data + at + 4, "meta", 4) == 0) {
            const std::uint8_t* meta = data + at;
            return std::search(meta, meta + boxSize, kOverlay, kOverlay + 4) != meta + boxSize;
        }
        at += std::size_t(boxSize);
    }
    return false;
}

// The primary picture of the file, with its upright size checked against the limits.
std::unique_ptr<const heif_image_handle, HeifHandleDeleter>
openPrimary(const std::uint8_t* data, std::size_t size,
            std::unique_ptr<heif_context, HeifContextDeleter>& context, std::string& error) {
    context.reset(heif_context_alloc());
    if (!context) {
        error = "not enough memory to decode the picture";
        return nullptr;
    }
    if (hasOverlayItem(data, size)) {
        error = "HEIF error: overlay pictures are not supported";
        return nullptr;
    }
    heif_context_set_maximum_image_size_limit(context.get(), kHeifSideLimit);
    heif_error status =
        heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
    if (status.code != heif_error_Ok) {
        error = heifMessage(status);
        return nullptr;
    }
    heif_image_handle* handle = nullptr;
    status = heif_context_get_primary_image_handle(context.get(), &handle);
    std::unique_ptr<const heif_image_handle, HeifHandleDeleter> owned(handle);
    if (status.code != heif_error_Ok || !owned) {
        error = heifMessage(status);
        return nullptr;
    }
    // The handle's size is the size after the file's rotation.
    if (!checkHeldFrame(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
                        heif_image_handle_has_alpha_channel(handle) ? 4 : 3, error))
        return nullptr;
    return owned;
}

} // namespace

bool probeHeif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    std::unique_ptr<heif_context, HeifContextDeleter> context;
    const auto handle = openPrimary(data, size, context, error);
    if (!handle)
        return false;
    info.type = PictureType::Heif;
    info.width = heif_image_handle_get_width(handle.get());
    info.height = heif_image_handle_get_height(handle.get());
    return true;
}

DecodeResult heifRows(const std::uint8_t* data, std::size_t size, RowSink& sink) {
    DecodeResult result;
    std::unique_ptr<heif_context, HeifContextDeleter> context;
    const auto handle = openPrimary(data, size, context, result.error);
    if (!handle)
        return result;
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    std::unique_ptr<heif_decoding_options, HeifOptionsDeleter> options(
        heif_decoding_options_alloc());
    if (!options) {
        result.error = "not enough memory to decode the picture";
        return result;
    }
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    const heif_error status = heif_decode_image(
        handle.get(), &image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<const heif_image, HeifImageDeleter> owned(image);
    if (status.code != heif_error_Ok || !owned) {
        result.error = heifMessage(status);
        return result;
    }
    const int width = heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8) {
        result.error = "HEIF error: the decoded picture has no usable pixels";
        return result;
    }
    return emitInterleaved(pixels, std::size_t(stride), width, height, alpha, 1, width, height,
                           sink);
}

} // namespace zp::detail
