#include "picture/qualityloop.h"

#include "picture/jpegencoder.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>

namespace zp {

namespace {

// Below this many pixels an encoding takes about as long as starting a thread.
constexpr std::int64_t kAheadMinPixels = 32 * 1024;

// One encoding running on a second thread, at the quality the loop will need next unless the
// current one already meets the limit. The bitmap must outlive it; it is only read.
class EncodeAhead {
public:
    EncodeAhead() = default;
    EncodeAhead(const EncodeAhead&) = delete;
    EncodeAhead& operator=(const EncodeAhead&) = delete;
    ~EncodeAhead() { drop(); }

    bool running(int quality) const { return m_thread.joinable() && m_quality == quality; }

    // False when no thread could be started; the loop then simply encodes this quality itself.
    bool start(const Bitmap& bitmap, int quality) {
        drop();
        m_cancel.store(false);
        m_quality = quality;
        m_ok = false;
        try {
            m_thread = std::thread([this, &bitmap, quality] {
                try {
                    m_ok = encodeJpeg(bitmap, quality, m_jpeg, m_error, m_cancel);
                } catch (...) {
                    m_ok = false; // the caller encodes again and meets the failure itself
                }
            });
        } catch (...) {
            return false;
        }
        return true;
    }

    // Waits for the encoding; true with its bytes swapped into `out` (which hands the old
    // buffer over for reuse), false when it failed and the caller has to encode again.
    bool finish(std::vector<std::uint8_t>& out) {
        m_thread.join();
        if (!m_ok) {
            return false;
        }
        out.swap(m_jpeg);
        return true;
    }

    // Stops an encoding that is no longer needed (it notices within 16 rows) and waits for it.
    void drop() {
        if (m_thread.joinable()) {
            m_cancel.store(true);
            m_thread.join();
        }
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    int m_quality = 0;
    bool m_ok = false;
    std::vector<std::uint8_t> m_jpeg;
    std::string m_error;
};

bool worthEncodingAhead(const Bitmap& bitmap, const QualityLoopOptions& options,
                        const JpegEncoderFn& encoder) {
    // With one core the second thread would only take turns with the first.
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    return twoCores && !encoder && options.limitSize &&
           std::int64_t{bitmap.width} * bitmap.height >= kAheadMinPixels;
}

} // namespace

bool meetsSizeLimit(std::size_t bytes, int limitKB) {
    return limitKB > 0 && bytes < static_cast<std::size_t>(limitKB) * 1024;
}

QualityLoopResult runQualityLoop(const Bitmap& bitmap, const QualityLoopOptions& options,
                                 const StatusFn& status, const JpegEncoderFn& encoder) {
    QualityLoopResult result;
    const bool ahead = worthEncodingAhead(bitmap, options, encoder);
    EncodeAhead next; // joined on every way out, while `bitmap` still exists
    int q = std::clamp(options.quality, 1, 100);
    for (;;) {
        std::string error;
        bool encoded = false;
        if (next.running(q) && next.finish(result.jpeg)) {
            encoded = true;
            ++result.encodedAhead;
        } else {
            // Two qualities at a time: q here, q - 5 on the second thread.
            if (ahead && q - 5 >= 1) {
                next.start(bitmap, q - 5);
            }
            encoded = encoder ? encoder(bitmap, q, result.jpeg, error)
                              : encodeJpeg(bitmap, q, result.jpeg, error);
        }
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
