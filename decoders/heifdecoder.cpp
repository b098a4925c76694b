// HEIF (HEIC) through libheif: the primary picture, with the rotation and mirroring its file
// names applied by the library. An EXIF orientation inside the file is not applied on top: the
// file's own transformations already say how it stands.
#include "decoders/codeclibs.h"
#include "decoders/formats.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zp::detail {

namespace {

// libheif's own default: no side of any picture it makes, derived ones (grids) too, whose
// size comes from their own data, may exceed it. The held-picture bound is checked on the
// primary picture's size below; a panorama may still be long on one side.
constexpr int kHeifSideLimit = 32768;

using HeifContextPtr = std::unique_ptr<heif_context, decltype(&::heif_context_free)>;
using HeifHandlePtr =
    std::unique_ptr<const heif_image_handle, decltype(&::heif_image_handle_release)>;

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

// The primary picture of the file, with its upright size checked against the limits; the context
// it belongs to is kept in `context`.
HeifHandlePtr openPrimary(const HeifLibrary& heif, const std::uint8_t* data, std::size_t size,
                          HeifContextPtr& context, std::string& error) {
    HeifHandlePtr none(nullptr, heif.heif_image_handle_release);
    context = HeifContextPtr(heif.heif_context_alloc(), heif.heif_context_free);
    if (!context) {
        error = "not enough memory to decode the picture";
        return none;
    }
    if (hasOverlayItem(data, size)) {
        error = "HEIF error: overlay pictures are not supported";
        return none;
    }
    heif.heif_context_set_maximum_image_size_limit(context.get(), kHeifSideLimit);
    heif_error status =
        heif.heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
    if (status.code != heif_error_Ok) {
        error = heifMessage(status);
        return none;
    }
    heif_image_handle* handle = nullptr;
    status = heif.heif_context_get_primary_image_handle(context.get(), &handle);
    HeifHandlePtr owned(handle, heif.heif_image_handle_release);
    if (status.code != heif_error_Ok || !owned) {
        error = heifMessage(status);
        return none;
    }
    // The handle's size is the size after the file's rotation.
    if (!checkHeldFrame(heif.heif_image_handle_get_width(handle),
                        heif.heif_image_handle_get_height(handle),
                        heif.heif_image_handle_has_alpha_channel(handle) ? 4 : 3, error))
        return none;
    return owned;
}

} // namespace

bool probeHeif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    const HeifLibrary* heif = heifLibrary(error);
    if (heif == nullptr)
        return false;
    HeifContextPtr context(nullptr, heif->heif_context_free);
    const HeifHandlePtr handle = openPrimary(*heif, data, size, context, error);
    if (!handle)
        return false;
    info.type = PictureType::Heif;
    info.width = heif->heif_image_handle_get_width(handle.get());
    info.height = heif->heif_image_handle_get_height(handle.get());
    return true;
}

DecodeResult heifRows(const std::uint8_t* data, std::size_t size, RowSink& sink) {
    DecodeResult result;
    const HeifLibrary* heif = heifLibrary(result.error);
    if (heif == nullptr)
        return result;
    HeifContextPtr context(nullptr, heif->heif_context_free);
    const HeifHandlePtr handle = openPrimary(*heif, data, size, context, result.error);
    if (!handle)
        return result;
    const bool alpha = heif->heif_image_handle_has_alpha_channel(handle.get()) != 0;
    std::unique_ptr<heif_decoding_options, decltype(&::heif_decoding_options_free)> options(
        heif->heif_decoding_options_alloc(), heif->heif_decoding_options_free);
    if (!options) {
        result.error = "not enough memory to decode the picture";
        return result;
    }
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    const heif_error status = heif->heif_decode_image(
        handle.get(), &image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<const heif_image, decltype(&::heif_image_release)> owned(
        image, heif->heif_image_release);
    if (status.code != heif_error_Ok || !owned) {
        result.error = heifMessage(status);
        return result;
    }
    const int width = heif->heif_image_get_width(image, heif_channel_interleaved);
    const int height = heif->heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif->heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (pixels == nullptr || width <= 0 || height <= 0 ||
        heif->heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8) {
        result.error = "HEIF error: the decoded picture has no usable pixels";
        return result;
    }
    return emitInterleaved(pixels, std::size_t(stride), width, height, alpha, 1, width, height,
                           sink);
}

} // namespace zp::detail
