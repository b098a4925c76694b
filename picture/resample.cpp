#include "picture/resample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zp {

namespace {

// Weights are fixed-point with 14 fractional bits; the weights of one destination pixel add
// up to exactly 1 << 14, so a flat area stays exactly flat.
constexpr int kWeightBits = 14;
constexpr std::uint32_t kOne = 1u << kWeightBits;
// After the vertical pass the sums keep 8 fractional bits (values up to 255 << 8), which
// leaves room for the horizontal pass to sum in 32 bits.
constexpr int kMidShift = kWeightBits - 8;
constexpr int kOutShift = kWeightBits + 8;

// For each destination pixel along one axis: the first source pixel and the weights of the
// source pixels it covers. In units where a source pixel is `dst` long and a destination
// pixel `src` long, destination pixel k covers [k*src, (k+1)*src).
struct AxisWeights {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::uint32_t> weights; // `taps` entries per destination pixel
    int taps = 0;
};

// Weights for the destination pixels first .. first + n - 1 of a `dst` long axis.
AxisWeights axisWeights(int src, int dst, int firstPixel, int n) {
    AxisWeights a;
    a.taps = (src + dst - 1) / dst + 1;
    a.first.resize(n);
    a.count.resize(n);
    a.weights.assign(static_cast<std::size_t>(n) * a.taps, 0);
    for (int k = 0; k < n; ++k) {
        const std::int64_t lo = std::int64_t{firstPixel + k} * src;
        const std::int64_t hi = lo + src;
        const int i0 = static_cast<int>(lo / dst);
        const int i1 = std::min(static_cast<int>((hi + dst - 1) / dst), src);
        std::uint32_t* w = &a.weights[static_cast<std::size_t>(k) * a.taps];
        std::uint32_t sum = 0;
        int largest = 0;
        for (int i = i0; i < i1; ++i) {
            const std::int64_t overlap =
                std::min(hi, std::int64_t{i + 1} * dst) - std::max(lo, std::int64_t{i} * dst);
            w[i - i0] = static_cast<std::uint32_t>((overlap * kOne + src / 2) / src);
            sum += w[i - i0];
            if (w[i - i0] > w[largest]) {
                largest = i - i0;
            }
        }
        w[largest] += kOne - sum; // rounding left-over goes to the heaviest tap
        a.first[k] = i0;
        a.count[k] = i1 - i0;
    }
    return a;
}

// Sums the source rows of one destination row into `mid` (8 fractional bits).
void verticalPass(const Bitmap& source, const AxisWeights& ay, int y,
                  std::vector<std::uint32_t>& acc, std::vector<std::uint16_t>& mid) {
    const std::size_t n = source.stride();
    const std::uint32_t* w = &ay.weights[static_cast<std::size_t>(y) * ay.taps];
    std::uint32_t* a = acc.data();
    {
        const std::uint8_t* in = source.row(ay.first[y]);
        const std::uint32_t wt = w[0];
        for (std::size_t x = 0; x < n; ++x) {
            a[x] = wt * in[x];
        }
    }
    for (int t = 1; t < ay.count[y]; ++t) {
        const std::uint8_t* in = source.row(ay.first[y] + t);
        const std::uint32_t wt = w[t];
        for (std::size_t x = 0; x < n; ++x) {
            a[x] += wt * in[x];
        }
    }
    std::uint16_t* m = mid.data();
    for (std::size_t x = 0; x < n; ++x) {
        m[x] = static_cast<std::uint16_t>((a[x] + (1u << (kMidShift - 1))) >> kMidShift);
    }
}

void horizontalPass(const std::vector<std::uint16_t>& mid, const AxisWeights& ax, std::uint8_t* out,
                    int width) {
    for (int k = 0; k < width; ++k) {
        const std::uint32_t* w = &ax.weights[static_cast<std::size_t>(k) * ax.taps];
        const std::uint16_t* in = mid.data() + static_cast<std::size_t>(ax.first[k]) * 3;
        std::uint32_t r = 1u << (kOutShift - 1);
        std::uint32_t g = r;
        std::uint32_t b = r;
        for (int t = 0; t < ax.count[k]; ++t) {
            r += w[t] * in[0];
            g += w[t] * in[1];
            b += w[t] * in[2];
            in += 3;
        }
        out[0] = static_cast<std::uint8_t>(std::min<std::uint32_t>(r >> kOutShift, 255));
        out[1] = static_cast<std::uint8_t>(std::min<std::uint32_t>(g >> kOutShift, 255));
        out[2] = static_cast<std::uint8_t>(std::min<std::uint32_t>(b >> kOutShift, 255));
        out += 3;
    }
}

} // namespace

Bitmap resampleArea(const Bitmap& source, int width, int height) {
    return resampleAreaWindow(source, width, height, 0, 0, width, height);
}

Bitmap resampleAreaWindow(const Bitmap& source, int fullWidth, int fullHeight, int x, int y,
                          int width, int height) {
    Bitmap out;
    if (source.empty() || source.pixels.size() < source.stride() * source.height || fullWidth < 1 ||
        fullHeight < 1 || x < 0 || y < 0 || width < 1 || height < 1 || x > fullWidth - width ||
        y > fullHeight - height) {
        return out;
    }
    const AxisWeights ax = axisWeights(source.width, fullWidth, x, width);
    const AxisWeights ay = axisWeights(source.height, fullHeight, y, height);
    out.resize(width, height);
    // One destination row at a time: only one row of sums is alive, and the source rows
    // are read in order, each by at most a few neighbouring destination rows.
    std::vector<std::uint32_t> acc(source.stride());
    std::vector<std::uint16_t> mid(source.stride());
    for (int y = 0; y < height; ++y) {
        verticalPass(source, ay, y, acc, mid);
        horizontalPass(mid, ax, out.row(y), width);
    }
    return out;
}

} // namespace zp
