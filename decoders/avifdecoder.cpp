// AVIF through libavif: the first (usually only) picture, cut to its clean aperture and turned
// and mirrored as the file says. libavif leaves those transformations to its caller: the crop box
// picks the rows and columns handed on, the turns become an EXIF orientation for the sink.
#include "decoders/codeclibs.h"
#include "decoders/formats.h"
#include "decoders/orientation.h"

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

// The clean aperture, a crop box that comes before the turns and mirroring, as a rectangle of the
// stored picture. The whole picture when there is none or it does not fit (libavif checks the
// box's fractions, centre and chroma alignment; the bounds are checked here again).
avifCropRect visibleRect(const AvifLibrary& avif, const avifImage& image) {
    const avifCropRect whole{0, 0, image.width, image.height};
    if (!(image.transformFlags & AVIF_TRANSFORM_CLAP))
        return whole;
    avifCropRect rect{};
    avifDiagnostics diagnostics{};
    if (!avif.avifCropRectConvertCleanApertureBox(&rect, &image.clap, image.width, image.height,
                                                  image.yuvFormat, &diagnostics) ||
        rect.width == 0 || rect.height == 0 || rect.x >= image.width || rect.y >= image.height ||
        rect.width > image.width - rect.x || rect.height > image.height - rect.y)
        return whole;
    return rect;
}

} // namespace

bool probeAvif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error) {
    const AvifLibrary* avif = avifLibrary(error);
    if (avif == nullptr)
        return false;
    const AvifDecoderPtr decoder = parseAvif(*avif, data, size, error);
    if (!decoder)
        return false;
    const avifCropRect rect = visibleRect(*avif, *decoder->image);
    const bool swap = orientationSwapsSides(orientationOf(*decoder->image));
    info.type = PictureType::Avif;
    info.width = int(swap ? rect.height : rect.width);
    info.height = int(swap ? rect.width : rect.height);
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
    const avifCropRect rect = visibleRect(*avif, *image);
    const std::uint8_t* first =
        rgb.pixels + std::size_t(rect.y) * rgb.rowBytes + std::size_t(rect.x) * (alpha ? 4 : 3);
    return emitInterleaved(first, rgb.rowBytes, int(rect.width), int(rect.height), alpha,
                           orientationOf(*image), int(rect.width), int(rect.height), sink);
}

} // namespace zp::detail
