#pragma once
// The quality loop: encode, and while the file is not under the size limit, step the
// quality down by 5 and encode again, down to the lowest quality that is still >= 1.
#include "bitmap/bitmap.h"
#include "picture/messages.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zp {

// Encodes `bitmap` at `quality` into `out` (emptied first); false with `error` on failure.
using JpegEncoderFn = std::function<bool(const Bitmap& bitmap, int quality,
                                         std::vector<std::uint8_t>& out, std::string& error)>;
// Receives every encoding of the loop, in order (see statusLine for its text).
using StatusFn = std::function<void(const EncodeStep& step)>;

struct QualityLoopOptions {
    int quality = 90;       // quality of the first encoding, 1..100
    bool limitSize = false; // step down until the file is under the limit
    int limitKB = 100;      // 1 kB = 1024 bytes
    // With a limit: once the steps of 5 have found the first quality q that meets it (q + 5
    // did not), try q + 1 .. q + 4 by bisection and keep the highest that meets it; one more
    // status line names that quality.
    bool fine = false;
};

struct QualityLoopResult {
    bool ok = false;     // the last encoding met the limit, or there was no limit
    bool gaveUp = false; // the lowest quality still missed the limit
    PictureError error = PictureError::None;
    std::string detail;             // the encoder's message when error is EncodeFailed
    std::vector<std::uint8_t> jpeg; // the last encoding
    int quality = 0;                // its quality
    int encodings = 0;
    int encodedAhead = 0; // how many of the encodings came from the second thread
};

// The stop rule: a file passes when its size is strictly below limit x 1024 bytes.
bool meetsSizeLimit(std::size_t bytes, int limitKB);

// Runs the loop over one bitmap; the bitmap is never changed or rescaled in between.
// `encoder` defaults to encodeJpeg; `status` may be empty.
//
// With the default encoder and a limit, the next quality down is encoded on a second thread
// while the current one is encoded on the caller's: a loop of n encodings takes about the
// time of n / 2. The call stays synchronous, `status` is called on the caller's thread in
// the loop's order, and the qualities tried, the lines and the final bytes are those of
// encoding one quality after the other; an encoding made ahead and not needed is dropped.
// An injected encoder is always called on the caller's thread, one quality after the other.
// The fine search (options.fine) is served by the second thread the same way.
QualityLoopResult runQualityLoop(const Bitmap& bitmap, const QualityLoopOptions& options,
                                 const StatusFn& status = {}, const JpegEncoderFn& encoder = {});

} // namespace zp
