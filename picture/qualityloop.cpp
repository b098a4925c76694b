#include "picture/qualityloop.h"

#include "picture/jpegencoder.h"

#include <algorithm>

namespace zp {

bool meetsSizeLimit(std::size_t bytes, int limitKB) {
    return limitKB > 0 && bytes < static_cast<std::size_t>(limitKB) * 1024;
}

QualityLoopResult runQualityLoop(const Bitmap& bitmap, const QualityLoopOptions& options,
                                 const StatusFn& status, const JpegEncoderFn& encoder) {
    QualityLoopResult result;
    int q = std::clamp(options.quality, 1, 100);
    for (;;) {
        std::string error;
        const bool encoded = encoder ? encoder(bitmap, q, result.jpeg, error)
                                     : encodeJpeg(bitmap, q, result.jpeg, error);
        if (!encoded) {
            result.error = PictureError::EncodeFailed;
            result.detail = error;
            result.jpeg.clear();
            return result;
        }
        ++result.encodings;
        result.quality = q;
        const std::size_t size = result.jpeg.size();
        if (status) {
            status(EncodeStep{q, size, false});
        }
        if (meetsSizeLimit(size, options.limitKB) || !options.limitSize) {
            result.ok = true;
            return result;
        }
        if (q - 5 < 1) {
            if (status) {
                status(EncodeStep{q, size, true});
            }
            result.gaveUp = true;
            return result;
        }
        q -= 5;
    }
}

} // namespace zp
