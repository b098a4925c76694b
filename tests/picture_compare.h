#pragma once
// Small helpers for the picture tests: synthetic bitmaps and tolerance comparisons.
#include "bitmap/bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace zp::test {

// Smooth colour ramps with some texture; every channel stays in [lo, 255].
inline Bitmap photoLike(int w, int h, unsigned seed = 1, int lo = 16) {
    Bitmap b;
    b.resize(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = b.row(y);
        for (int x = 0; x < w; ++x) {
            const double fx = w > 1 ? double(x) / (w - 1) : 0.0;
            const double fy = h > 1 ? double(y) / (h - 1) : 0.0;
            const int v[3] = {int(60 + 150 * fx), int(60 + 150 * fy),
                              int(135 + 100 * std::sin(6.0 * fx + 4.0 * fy))};
            for (int c = 0; c < 3; ++c) {
                p[3 * x + c] = std::uint8_t(std::clamp(v[c] + noise(rng), lo, 255));
            }
        }
    }
    return b;
}

// Every pixel tells where it came from: R = x, G = y (both mod 256), B = 200.
inline Bitmap coordinateBitmap(int w, int h) {
    Bitmap b;
    b.resize(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.row(y) + 3 * x;
            p[0] = std::uint8_t(x);
            p[1] = std::uint8_t(y);
            p[2] = 200;
        }
    }
    return b;
}

struct Difference {
    int max = 0;
    double mean = 0;
};

inline Difference compareBitmaps(const Bitmap& a, const Bitmap& b) {
    Difference d;
    if (a.width != b.width || a.height != b.height) {
        d.max = 256;
        d.mean = 256;
        return d;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const int diff = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
        d.max = std::max(d.max, diff);
        sum += diff;
    }
    d.mean = a.pixels.empty() ? 0 : sum / double(a.pixels.size());
    return d;
}

inline int minChannel(const Bitmap& b) {
    return b.pixels.empty() ? 0 : *std::min_element(b.pixels.begin(), b.pixels.end());
}

} // namespace zp::test
