#include "picture/preparedpicture.h"

#include "decoders/decoder.h"

#include <algorithm>

namespace zp {

PictureSource PictureSource::fromBitmap(Bitmap bitmap) {
    PictureSource s;
    if (!bitmap.empty()) {
        s.m_width = bitmap.width;
        s.m_height = bitmap.height;
        s.m_pixels = std::move(bitmap);
    }
    return s;
}

bool PictureSource::fromFile(const std::filesystem::path& path, PictureSource& source,
                             std::string& error) {
    PictureInfo info;
    if (!probePicture(path, info, error)) {
        return false;
    }
    if (info.width <= 0 || info.height <= 0) {
        error = "picture has no pixels";
        return false;
    }
    source = PictureSource();
    source.m_path = path;
    source.m_width = info.width;
    source.m_height = info.height;
    return true;
}

const Bitmap* PictureSource::pixels(int minWidth, int minHeight, std::string& error) {
    if (!present()) {
        error = "no picture";
        return nullptr;
    }
    const bool full =
        (minWidth <= 0 && minHeight <= 0) || minWidth >= m_width || minHeight >= m_height;
    const bool haveFull = m_pixels.width == m_width && m_pixels.height == m_height;
    if (!m_pixels.empty() &&
        (haveFull || (!full && m_pixels.width >= minWidth && m_pixels.height >= minHeight))) {
        return &m_pixels;
    }
    if (!isFile()) {
        error = "no pixels";
        return nullptr;
    }
    DecodeOptions options;
    if (!full) {
        options.minWidth = minWidth;
        options.minHeight = minHeight;
    }
    m_pixels = Bitmap();
    DecodeResult decoded = decodePicture(m_path, options);
    ++m_decodes;
    if (!decoded.ok || decoded.bitmap.empty()) {
        error = decoded.error.empty() ? "cannot decode picture" : decoded.error;
        return nullptr;
    }
    if (decoded.fullWidth != m_width || decoded.fullHeight != m_height) {
        error = "picture file changed since it was taken in";
        return nullptr;
    }
    m_pixels = std::move(decoded.bitmap);
    return &m_pixels;
}

MakeJpegResult makeJpegFromFitted(Bitmap fitted, const QualityLoopOptions& options,
                                  const StatusFn& status, const JpegEncoderFn& encoder) {
    MakeJpegResult result;
    if (fitted.empty()) {
        result.error = PictureError::NoPicture;
        return result;
    }
    QualityLoopResult loop = runQualityLoop(fitted, options, status, encoder);
    result.ok = loop.ok;
    result.gaveUp = loop.gaveUp;
    result.error = loop.error;
    result.detail = std::move(loop.detail);
    result.jpeg = std::move(loop.jpeg);
    result.quality = loop.quality;
    result.fitted = std::move(fitted);
    return result;
}

MakeJpegResult makeJpegCore(PictureSource& source, const PictureSettings& settings,
                            const StatusFn& status, const JpegEncoderFn& encoder) {
    MakeJpegResult result;
    if (!source.present()) {
        result.error = PictureError::NoPicture;
        return result;
    }
    const int W = std::max(settings.targetWidth, 1);
    const int H = std::max(settings.targetHeight, 1);
    const FitPlan plan = planFit(source.width(), source.height(), W, H, settings.fit);
    int minWidth = 0;
    int minHeight = 0;
    if (!plan.needsFullResolution(source.width(), source.height())) {
        minWidth = plan.scaledWidth * kDecodeHeadroom;
        minHeight = plan.scaledHeight * kDecodeHeadroom;
    }
    const Bitmap* pixels = source.pixels(minWidth, minHeight, result.detail);
    if (!pixels) {
        result.error = PictureError::DecodeFailed;
        return result;
    }
    Bitmap fitted = applyFit(*pixels, plan, settings.fit.direction);
    result = makeJpegFromFitted(std::move(fitted), settings.jpeg, status, encoder);
    result.plan = plan;
    return result;
}

} // namespace zp
