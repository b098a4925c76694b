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

// What the loop's encodings share: the bitmap, the injected encoder (or none), and the
// second thread with whether to use it.
struct Encodings {
    const Bitmap& bitmap;
    const JpegEncoderFn& encoder;
    EncodeAhead& next;
    bool ahead;
    QualityLoopResult& result;
};

// Encodes quality q into `out`, or takes it from the second thread when that ran ahead on
// it. Before encoding q itself it starts `thenAhead` (when it is a quality) on the second
// thread. False with result.error set when the encoder failed.
bool encodeAt(Encodings& e, int q, int thenAhead, std::vector<std::uint8_t>& out) {
    std::string error;
    bool encoded = false;
    if (e.next.running(q) && e.next.finish(out)) {
        encoded = true;
        ++e.result.encodedAhead;
    } else {
        if (e.ahead && thenAhead >= 1) {
            e.next.start(e.bitmap, thenAhead);
        }
        encoded =
            e.encoder ? e.encoder(e.bitmap, q, out, error) : encodeJpeg(e.bitmap, q, out, error);
    }
    if (!encoded) {
        e.result.error = PictureError::EncodeFailed;
        e.result.detail = error;
        e.result.jpeg.clear();
        return false;
    }
    ++e.result.encodings;
    return true;
}

// Quality `fits` met the limit and fits + 5 did not: bisect the four qualities between
// (at most three encodings) and keep the highest that meets the limit. The second thread
// runs ahead on the quality that comes next when the one in hand fits.
bool searchFine(Encodings& e, int fits, int limitKB) {
    int lo = fits;
    int hi = fits + 5;
    std::vector<std::uint8_t> trial;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        const int ifFits = (mid + hi) / 2;
        if (!encodeAt(e, mid, ifFits > mid ? ifFits : 0, trial)) {
            return false;
        }
        if (meetsSizeLimit(trial.size(), limitKB)) {
            lo = mid;
            e.result.jpeg.swap(trial);
            e.result.quality = mid;
        } else {
            hi = mid;
        }
    }
    return true;
}

} // namespace

bool meetsSizeLimit(std::size_t bytes, int limitKB) {
    return limitKB > 0 && bytes < static_cast<std::size_t>(limitKB) * 1024;
}

QualityLoopResult runQualityLoop(const Bitmap& bitmap, const QualityLoopOptions& options,
                                 const StatusFn& status, const JpegEncoderFn& encoder) {
    QualityLoopResult result;
    EncodeAhead next; // joined on every way out, while `bitmap` still exists
    Encodings e{bitmap, encoder, next, worthEncodingAhead(bitmap, options, encoder), result};
    const int first = std::clamp(options.quality, 1, 100);
    for (int q = first;; q -= 5) {
        // Two qualities at a time: q here, q - 5 on the second thread.
        if (!encodeAt(e, q, q - 5, result.jpeg)) {
            return result;
        }
        result.quality = q;
        const std::size_t size = result.jpeg.size();
        if (status) {
            status(EncodeStep{q, size, false});
        }
        if (meetsSizeLimit(size, options.limitKB) || !options.limitSize) {
            result.ok = true;
            // The steps of 5 leave up to four qualities of the limit unused.
            if (options.fine && q != first && options.limitSize) {
                if (!searchFine(e, q, options.limitKB)) {
                    result.ok = false;
                    return result;
                }
                if (status) {
                    status(EncodeStep{result.quality, result.jpeg.size(), false});
                }
            }
            return result;
        }
        if (q - 5 < 1) {
            if (status) {
                status(EncodeStep{q, size, true});
            }
            result.gaveUp = true;
            return result;
        }
    }
}

} // namespace zp
