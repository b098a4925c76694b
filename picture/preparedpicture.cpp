#include "picture/preparedpicture.h"

#include "decoders/decoder.h"
#include "picture/bandfit.h"

#include <algorithm>
#include <new>

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

namespace {

// Takes every row and keeps none: reading the data through is enough to know it decodes.
class DiscardSink final : public RowSink {
public:
    bool begin(int, int, int, std::string&) noexcept override { return true; }
    void row(int, const std::uint8_t*) noexcept override {}
};

} // namespace

bool PictureSource::fromData(std::vector<std::uint8_t> data, PictureSource& source,
                             std::string& error) {
    PictureInfo info;
    if (!probePictureMemory(data.data(), data.size(), info, error))
        return false;
    if (info.width <= 0 || info.height <= 0) {
        error = "picture has no pixels";
        return false;
    }
    DiscardSink sink;
    const DecodeResult checked = decodePictureMemoryRows(data.data(), data.size(), {1, 1}, sink);
    if (!checked.ok) {
        error = checked.error;
        return false;
    }
    source = PictureSource();
    source.m_data = std::make_shared<const std::vector<std::uint8_t>>(std::move(data));
    source.m_width = info.width;
    source.m_height = info.height;
    return true;
}

DecodeResult PictureSource::decodeWhole(const DecodeOptions& options) const {
    if (m_data)
        return decodePictureMemory(m_data->data(), m_data->size(), PictureType::Unknown, options);
    return decodePicture(m_path, options);
}

DecodeResult PictureSource::decodeRows(const DecodeOptions& options, RowSink& sink) const {
    if (m_data)
        return decodePictureMemoryRows(m_data->data(), m_data->size(), options, sink);
    return decodePictureRows(m_path, options, sink);
}

bool PictureSource::keptPixelsSuffice(int minWidth, int minHeight) const {
    const bool full =
        (minWidth <= 0 && minHeight <= 0) || minWidth >= m_width || minHeight >= m_height;
    const bool haveFull = m_pixels.width == m_width && m_pixels.height == m_height;
    return !m_pixels.empty() &&
           (haveFull || (!full && m_pixels.width >= minWidth && m_pixels.height >= minHeight));
}

bool PictureSource::fit(const FitPlan& plan, TurnDirection direction, int minWidth, int minHeight,
                        Bitmap& fitted, std::string& error) {
    if (!present()) {
        error = "no picture";
        return false;
    }
    try {
        if (keptPixelsSuffice(minWidth, minHeight) || !decodable()) {
            const Bitmap* source = pixels(minWidth, minHeight, error);
            if (source != nullptr) {
                fitted = applyFit(*source, plan, direction);
            }
            return source != nullptr;
        }
        const bool full =
            (minWidth <= 0 && minHeight <= 0) || minWidth >= m_width || minHeight >= m_height;
        DecodeOptions options;
        if (!full) {
            options.minWidth = minWidth;
            options.minHeight = minHeight;
        }
        m_pixels = Bitmap();
        FitSink sink(plan, direction, m_keepWhole ? kKeepWholeBytes : 0);
        const DecodeResult decoded = decodeRows(options, sink);
        ++m_decodes;
        if (!decoded.ok) {
            error = decoded.error.empty() ? "cannot decode picture" : decoded.error;
            return false;
        }
        if (decoded.fullWidth != m_width || decoded.fullHeight != m_height) {
            error = "picture file changed since it was taken in";
            return false;
        }
        if (sink.keptWhole()) {
            m_pixels = sink.takeWhole();
            fitted = applyFit(m_pixels, plan, direction);
        } else {
            fitted = sink.takeFitted();
        }
    } catch (const std::bad_alloc&) {
        fitted = Bitmap();
        error = "not enough memory to fit the picture";
        return false;
    }
    if (fitted.empty()) {
        error = "the picture cannot be fitted";
        return false;
    }
    return true;
}

const Bitmap* PictureSource::pixels(int minWidth, int minHeight, std::string& error) {
    if (!present()) {
        error = "no picture";
        return nullptr;
    }
    const bool full =
        (minWidth <= 0 && minHeight <= 0) || minWidth >= m_width || minHeight >= m_height;
    if (keptPixelsSuffice(minWidth, minHeight)) {
        return &m_pixels;
    }
    if (!decodable()) {
        error = "no pixels";
        return nullptr;
    }
    DecodeOptions options;
    if (!full) {
        options.minWidth = minWidth;
        options.minHeight = minHeight;
    }
    m_pixels = Bitmap();
    DecodeResult decoded = decodeWhole(options);
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
    Bitmap fitted;
    if (!source.fit(plan, settings.fit.direction, minWidth, minHeight, fitted, result.detail)) {
        result.error = PictureError::DecodeFailed;
        return result;
    }
    result = makeJpegFromFitted(std::move(fitted), settings.jpeg, status, encoder);
    result.plan = plan;
    return result;
}

} // namespace zp
