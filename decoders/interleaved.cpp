// What the decoders built on whole-frame libraries (HEIF, WebP, AVIF) share: handing a decoded
// frame to a sink row by row, and the limits checked before such a frame is asked for.
#include "decoders/formats.h"
#include "decoders/orientation.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace zp::detail {

bool checkHeldFrame(int width, int height, int channels, std::string& error) {
    return checkHeldBytes(width, height,
                          std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0)) *
                              std::uint64_t(channels),
                          error);
}

bool checkHeldBytes(int width, int height, std::uint64_t bytes, std::string& error) {
    if (!checkDimensions(width, height, error))
        return false;
    // The library's own frame buffers, not a bitmap of ours, are the large ones here: they are
    // held to the same bound.
    if (bytes > kMaxHeldPictureBytes) {
        error = "the picture is too large to decode in the memory allowed for it (" +
                std::to_string(width) + " x " + std::to_string(height) + " pixels)";
        return false;
    }
    return true;
}

DecodeResult emitMadeRows(int width, int height, int orientation, int fullWidth, int fullHeight,
                          RowSink& sink,
                          const std::function<bool(int, std::uint8_t*, std::string&)>& make) {
    DecodeResult result;
    const bool swap = orientationSwapsSides(orientation);
    result.fullWidth = swap ? fullHeight : fullWidth;
    result.fullHeight = swap ? fullWidth : fullHeight;
    if (!sink.begin(width, height, orientation, result.error))
        return result;
    std::vector<std::uint8_t> own;
    try {
        own.resize(std::size_t(width) * 3);
    } catch (const std::bad_alloc&) {
        result.error = "not enough memory to decode the picture";
        return result;
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = sink.rowTarget(y);
        if (out == nullptr)
            out = own.data();
        if (!make(y, out, result.error))
            return result;
        sink.row(y, out);
    }
    result.ok = true;
    return result;
}

DecodeResult emitInterleaved(const std::uint8_t* pixels, std::size_t stride, int width, int height,
                             bool alpha, int orientation, int fullWidth, int fullHeight,
                             RowSink& sink) {
    return emitMadeRows(width, height, orientation, fullWidth, fullHeight, sink,
                        [&](int y, std::uint8_t* out, std::string&) {
                            const std::uint8_t* in = pixels + std::size_t(y) * stride;
                            if (!alpha) {
                                std::memcpy(out, in, std::size_t(width) * 3);
                                return true;
                            }
                            for (int x = 0; x < width; ++x, in += 4) {
                                out[x * 3] = blendOnWhite(in[0], in[3]);
                                out[x * 3 + 1] = blendOnWhite(in[1], in[3]);
                                out[x * 3 + 2] = blendOnWhite(in[2], in[3]);
                            }
                            return true;
                        });
}

int orientationFromTransforms(int quarterTurnsAnticlockwise, int mirror) noexcept {
    // Rows: quarter turns 0..3; columns: no mirror, top-bottom exchanged, left-right exchanged.
    static const int kOrientation[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    const int turns = ((quarterTurnsAnticlockwise % 4) + 4) % 4;
    const int column = mirror == 0 ? 1 : mirror == 1 ? 2 : 0;
    return kOrientation[turns][column];
}

} // namespace zp::detail
