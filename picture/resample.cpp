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

// Weights for the destination pixels first .. first + n - 1 of a `dst` long axis. In units
// where a source pixel is `dst` long and a destination pixel `src` long, destination pixel k
// covers [k*src, (k+1)*src).
detail::AxisWeights axisWeights(int src, int dst, int firstPixel, int n) {
    detail::AxisWeights a;
    a.taps = (src + dst - 1) / dst + 1;
    a.first.resize(n);
    a.count.resize(n);
    a.weights.assign(static_cast<std::size_t>(n) * a.taps, 0);
    // Only when shrinking does a source pixel lie wholly inside a destination pixel.
    if (dst <= src) {
        a.inside = static_cast<std::uint32_t>((std::int64_t{dst} * kOne + src / 2) / src);
    }
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

// Horizontal pass of one destination row over the vertical sums of the source columns from
// `firstColumn` on (8 fractional bits).
// Sums from B G R rows are written out as R G B.
void horizontalPass(const std::uint16_t* mid, int firstColumn, const detail::AxisWeights& ax,
                    std::uint8_t* out, int width, bool bgr) {
    const int first = bgr ? 2 : 0;
    const int last = 2 - first;
    for (int k = 0; k < width; ++k) {
        const std::uint32_t* w = &ax.weights[static_cast<std::size_t>(k) * ax.taps];
        const std::uint16_t* in = mid + static_cast<std::size_t>(ax.first[k] - firstColumn) * 3;
        std::uint32_t r = 1u << (kOutShift - 1);
        std::uint32_t g = r;
        std::uint32_t b = r;
        for (int t = 0; t < ax.count[k]; ++t) {
            r += w[t] * in[0];
            g += w[t] * in[1];
            b += w[t] * in[2];
            in += 3;
        }
        out[first] = static_cast<std::uint8_t>(std::min<std::uint32_t>(r >> kOutShift, 255));
        out[1] = static_cast<std::uint8_t>(std::min<std::uint32_t>(g >> kOutShift, 255));
        out[last] = static_cast<std::uint8_t>(std::min<std::uint32_t>(b >> kOutShift, 255));
        out += 3;
    }
}

// The vertical pass, one source row at a time. The arrays never overlap; saying so lets the
// compiler vectorise the loops.
void startSums(std::uint32_t* __restrict a, const std::uint8_t* __restrict in, std::size_t n,
               std::uint32_t wt) {
    for (std::size_t i = 0; i < n; ++i) {
        a[i] = wt * in[i];
    }
}

void addToSums(std::uint32_t* __restrict a, const std::uint8_t* __restrict in, std::size_t n,
               std::uint32_t wt) {
    for (std::size_t i = 0; i < n; ++i) {
        a[i] += wt * in[i];
    }
}

// Rows of one and the same weight are summed plainly and weighted once: the same integer
// result, for one 16-bit addition per sample instead of a 32-bit multiply-add.
void startPlain(std::uint16_t* __restrict p, const std::uint8_t* __restrict in, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = in[i];
    }
}

void addToPlain(std::uint16_t* __restrict p, const std::uint8_t* __restrict in, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = static_cast<std::uint16_t>(p[i] + in[i]);
    }
}

void startSumsPlain(std::uint32_t* __restrict a, const std::uint16_t* __restrict p, std::size_t n,
                    std::uint32_t wt) {
    for (std::size_t i = 0; i < n; ++i) {
        a[i] = wt * p[i];
    }
}

void addToSumsPlain(std::uint32_t* __restrict a, const std::uint16_t* __restrict p, std::size_t n,
                    std::uint32_t wt) {
    for (std::size_t i = 0; i < n; ++i) {
        a[i] += wt * p[i];
    }
}

// Plain sums of 8-bit samples fit 16 bits for this many rows.
constexpr int kMostPlainRows = 65535 / 255;

// The sums of a finished row, kept with 8 fractional bits for the horizontal pass.
void narrowSums(const std::uint32_t* __restrict a, std::uint16_t* __restrict mid, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        mid[i] = static_cast<std::uint16_t>((a[i] + (1u << (kMidShift - 1))) >> kMidShift);
    }
}

// The most destination rows that one source row contributes to: the accumulators kept at once.
int mostOpenRows(const detail::AxisWeights& ay) {
    const int n = static_cast<int>(ay.first.size());
    int most = 1;
    for (int k = 0, j = 0; k < n; ++k) {
        const int last = ay.first[k] + ay.count[k] - 1;
        j = std::max(j, k);
        while (j + 1 < n && ay.first[j + 1] <= last)
            ++j;
        most = std::max(most, j - k + 1);
    }
    return most;
}

} // namespace

bool AreaResampler::start(int sourceWidth, int sourceHeight, int fullWidth, int fullHeight, int x,
                          int y, int width, int height) {
    *this = AreaResampler();
    if (sourceWidth < 1 || sourceHeight < 1 || fullWidth < 1 || fullHeight < 1 || x < 0 || y < 0 ||
        width < 1 || height < 1 || x > fullWidth - width || y > fullHeight - height) {
        return false;
    }
    m_ax = axisWeights(sourceWidth, fullWidth, x, width);
    m_ay = axisWeights(sourceHeight, fullHeight, y, height);
    m_sourceHeight = sourceHeight;
    m_firstColumn = m_ax.first[0];
    const int endColumn = m_ax.first[width - 1] + m_ax.count[width - 1];
    m_samples = static_cast<std::size_t>(endColumn - m_firstColumn) * 3;
    m_open = mostOpenRows(m_ay);
    if (static_cast<std::uint64_t>(m_open) * m_samples * sizeof(std::uint32_t) > kMaxWorkingBytes) {
        return false;
    }
    const std::size_t open = static_cast<std::size_t>(m_open);
    m_acc.resize(open * m_samples);
    // Plain sums are kept only when shrinking, where at most two rows are open: half the
    // weighted sums' size again, well inside the limit.
    if (m_ay.inside != 0) {
        m_plain.resize(open * m_samples);
    }
    m_plainRows.assign(open, 0);
    m_accStarted.assign(open, 0);
    m_mid.resize(m_samples);
    m_out.resize(width, height);
    return true;
}

void AreaResampler::flushPlain(int slot) {
    const std::size_t n = m_samples;
    if (m_plainRows[slot] == 0) {
        return;
    }
    std::uint32_t* a = &m_acc[static_cast<std::size_t>(slot) * n];
    const std::uint16_t* p = &m_plain[static_cast<std::size_t>(slot) * n];
    if (m_accStarted[slot] != 0) {
        addToSumsPlain(a, p, n, m_ay.inside);
    } else {
        startSumsPlain(a, p, n, m_ay.inside);
    }
    m_accStarted[slot] = 1;
    m_plainRows[slot] = 0;
}

// Every open destination row takes its weight of the source row (the first one of a row starts
// its sums); a destination row whose last source row this is gets its horizontal pass.
void AreaResampler::addRow(int index, const std::uint8_t* row) {
    if (m_out.empty() || index < 0 || index >= m_sourceHeight) {
        return;
    }
    const std::uint8_t* in = row + static_cast<std::size_t>(m_firstColumn) * 3;
    const std::size_t n = m_samples;
    for (int k = m_next; k < m_out.height && m_ay.first[k] <= index; ++k) {
        const int t = index - m_ay.first[k];
        if (t >= m_ay.count[k]) {
            continue;
        }
        const std::uint32_t wt = m_ay.weights[static_cast<std::size_t>(k) * m_ay.taps + t];
        const int slot = k % m_open;
        if (t == 0) {
            m_plainRows[slot] = 0;
            m_accStarted[slot] = 0;
        }
        if (m_ay.inside != 0 && wt == m_ay.inside) {
            std::uint16_t* p = &m_plain[static_cast<std::size_t>(slot) * n];
            if (m_plainRows[slot] == 0) {
                startPlain(p, in, n);
            } else {
                addToPlain(p, in, n);
            }
            if (++m_plainRows[slot] == kMostPlainRows) {
                flushPlain(slot);
            }
            continue;
        }
        std::uint32_t* a = &m_acc[static_cast<std::size_t>(slot) * n];
        if (m_accStarted[slot] != 0) {
            addToSums(a, in, n, wt);
        } else {
            startSums(a, in, n, wt);
        }
        m_accStarted[slot] = 1;
    }
    while (m_next < m_out.height && m_ay.first[m_next] + m_ay.count[m_next] - 1 <= index) {
        const int slot = m_next % m_open;
        flushPlain(slot);
        narrowSums(&m_acc[static_cast<std::size_t>(slot) * n], m_mid.data(), n);
        horizontalPass(m_mid.data(), m_firstColumn, m_ax, m_out.row(m_next), m_out.width, m_bgr);
        ++m_next;
    }
}

Bitmap AreaResampler::take() {
    if (m_next < m_out.height) {
        return Bitmap{};
    }
    return std::move(m_out);
}

int AreaResampler::firstRowNeeded() const {
    return m_ay.first.empty() ? 0 : m_ay.first.front();
}

int AreaResampler::lastRowNeeded() const {
    return m_ay.first.empty() ? -1 : m_ay.first.back() + m_ay.count.back() - 1;
}

Bitmap resampleArea(const Bitmap& source, int width, int height) {
    return resampleAreaWindow(source, width, height, 0, 0, width, height);
}

Bitmap resampleAreaWindow(const Bitmap& source, int fullWidth, int fullHeight, int x, int y,
                          int width, int height) {
    AreaResampler resampler;
    if (source.empty() || source.pixels.size() < source.stride() * source.height ||
        !resampler.start(source.width, source.height, fullWidth, fullHeight, x, y, width, height)) {
        return Bitmap{};
    }
    // Only the source rows that the window needs.
    for (int i = resampler.firstRowNeeded(); i <= resampler.lastRowNeeded(); ++i) {
        resampler.addRow(i, source.row(i));
    }
    return resampler.take();
}

} // namespace zp
