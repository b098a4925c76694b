// AVIF through libavif: the first (usually only) picture, turned and mirrored as the file says.
// libavif leaves those transformations to its caller, so they become an EXIF orientation for the
// sink.
#include "decoders/codeclibs.h"
#include "decoders/formats.h"

#include <memory>

namespace zp::detail {

namespace {

using AvifDecoderPtr = std::unique_ptr<avifDecoder, decltype(&::avifDecoderDestroy)>;

AvifDecoderPtr parseAvif(const AvifLibrary& avif, const std::uint8_t* data, std::size_t size,
                         std::string& error) {
    AvifDecoderPtr decoder(avif.avifDecoderCreate(), avif.avifDecoderDestroy);
    AvifDecoderPtr none(nullptr, avif.avifDecoderDestroy);
    if (!decoder) {
        error = "not enough memory to decode the picture";
        return none;
    }
    decoder->maxThreads = 1;
    decoder->imageDimensionLimit = kMaxPictureSide;
    decoder->imageSizeLimit = static_cast<std::uint32_t>(kMaxPicturePixels);
    decoder->imageCountLimit = 1024;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // Files from some encoders lack properties the strict reading asks for; viewers show them.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    avifResult status = avif.avifDecoderSetIOMemory(decoder.get(), data, size);
    if (status == AVIF_RESULT_OK)
        status = avif.avifDecoderParse(decoder.get());
    if (status != AVIF_RESULT_OK) {
        error = std::string("AVIF error: ") + avif.avifResultToString(status);
        return none;
    }
    if (!checkHeldFrame(int(decoder->image->width), int(decoder->image->height),
                        decoder->alphaPresent ? 4 : 3, error))
        return none;
    return decoder;
}

int orientationOf(const avifImage& image) {
    const int turns = (image.transformFlags & AVIF_TRANSFORM_IROT) ? image.irot.angle : 0;
    const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) ? image.imir.mode : -1;
    return orientationFromTransforms(turns, mirror);
}

} // namespace

bool probeAvif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    const AvifLibrary* avif = avifLibrary(error);
    if (avif == nullptr)
        return false;
    const AvifDecoderPtr decoder = parseAvif(*avif, data, size, error);
    if (!decoder)
        return false;
    const int orientation = orientationOf(*decoder->image);
    const bool swap = orientation >= 5;
    info.type = PictureType::Avif;
    info.width = int(swap ? decoder->image->height : decoder->image->width);
    info.height = int(swap ? decoder->image->width : decoder->image->height);
    return true;
}

DecodeResult avifRows(const std::uint8_t* data, std::size_t size, RowSink& sink) {
    DecodeResult result;
    const AvifLibrary* avif = avifLibrary(result.error);
    if (avif == nullptr)
        return result;
    const AvifDecoderPtr decoder = parseAvif(*avif, data, size, result.error);
    if (!decoder)
        return result;
    const avifResult status = avif->avifDecoderNextImage(decoder.get());
    if (status != AVIF_RESULT_OK) {
        result.error = std::string("AVIF error: ") + avif->avifResultToString(status);
        return result;
    }
    avifImage* image = decoder->image;
    const bool alpha = image->alphaPlane != nullptr;
    avifRGBImage rgb;
    avif->avifRGBImageSetDefaults(&rgb, image);
    rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
    rgb.depth = 8;
    // Sized from the decoded picture, which the limits above have already been checked against.
    if (!checkHeldFrame(int(rgb.width), int(rgb.height), alpha ? 4 : 3, result.error))
        return result;
    avif->avifRGBImageAllocatePixels(&rgb);
    std::unique_ptr<avifRGBImage, void (*)(avifRGBImage*)> pixels(&rgb,
                                                                  avif->avifRGBImageFreePixels);
    const avifResult converted = avif->avifImageYUVToRGB(image, &rgb);
    if (converted != AVIF_RESULT_OK || rgb.pixels == nullptr) {
        result.error = std::string("AVIF error: ") + avif->avifResultToString(converted);
        return result;
    }
    return emitInterleaved(rgb.pixels, rgb.rowBytes, int(rgb.width), int(rgb.height), alpha,
                           orientationOf(*image), int(rgb.width), int(rgb.height), sink);
}

} // namespace zp::detail
