#pragma once
// The plain pixel buffer shared by the decoders and the picture pipeline:
// 24-bit RGB, rows from the top, R G B byte order, rows packed (stride = width * 3).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zp {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // height rows of width * 3 bytes

    static constexpr int kBytesPerPixel = 3;

    bool empty() const { return width <= 0 || height <= 0; }
    std::size_t stride() const { return static_cast<std::size_t>(width) * kBytesPerPixel; }
    std::uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * stride();
    }
    // Sizes a bitmap; the caller has checked the dimensions against the decoder limits.
    void resize(int w, int h) {
        width = w;
        height = h;
        pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * kBytesPerPixel,
                      0);
    }
};

} // namespace zp
