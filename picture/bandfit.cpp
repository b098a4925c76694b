#include "picture/bandfit.h"

#include "bitmap/hugepages.h"
#include "decoders/orientation.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zp {

namespace {

// The window of the upright picture, in the coordinates of the picture as stored: EXIF
// orientation o shows stored (sx, sy) at upright (x, y) with, for 1..4, sx = x or W-1-x and
// sy = y or H-1-y, and for 5..8 sx = y or W-1-y and sy = x or H-1-x (W x H the stored size).
FitWindow storedWindow(const FitWindow& up, int storedWidth, int storedHeight, int o) {
    const bool swap = detail::orientationSwapsSides(o);
    const bool mirrorX = swap ? (o == 7 || o == 8) : (o == 2 || o == 3);
    const bool mirrorY = swap ? (o == 6 || o == 7) : (o == 3 || o == 4);
    FitWindow s;
    const int x = swap ? up.y : up.x;
    const int y = swap ? up.x : up.y;
    s.width = swap ? up.height : up.width;
    s.height = swap ? up.width : up.height;
    s.x = mirrorX ? storedWidth - x - s.width : x;
    s.y = mirrorY ? storedHeight - y - s.height : y;
    return s;
}

} // namespace

FitSink::FitSink(const FitPlan& plan, TurnDirection direction, std::uint64_t keepWholeBytes)
    : m_plan(plan), m_direction(direction), m_keepWholeBytes(keepWholeBytes) {}

bool FitSink::begin(int width, int height, int orientation, std::string& error) noexcept {
    m_orientation = orientation;
    m_whole = std::uint64_t(width) * std::uint64_t(height) * 3 <= m_keepWholeBytes;
    try {
        if (m_whole) {
            m_pixels.resize(width, height);
            return true;
        }
        return beginWindow(width, height, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to decode the picture";
        return false;
    }
}

bool FitSink::beginWhole(int width, int height, std::size_t bytes, std::uint8_t*& whole,
                         std::string& error) noexcept {
    whole = nullptr;
    if (std::uint64_t(width) * std::uint64_t(height) * 3 > m_keepWholeBytes) {
        return begin(width, height, 1, error);
    }
    m_orientation = 1;
    m_whole = true;
    try {
        m_pixels.width = width;
        m_pixels.height = height;
        // The decoder's working bytes may run past the last row; takeWhole trims them.
        const std::size_t size = std::max(bytes, m_pixels.stride() * std::size_t(height));
        if (m_pixels.pixels.capacity() < size) {
            m_pixels.pixels = std::vector<std::uint8_t>(); // not two buffers at once
            m_pixels.pixels.reserve(size);
            adviseHugePages(m_pixels.pixels.data(), size);
        }
        m_pixels.pixels.resize(size);
        whole = m_pixels.pixels.data();
        return true;
    } catch (const std::bad_alloc&) {
        m_pixels = Bitmap();
        error = "not enough memory to decode the picture";
        return false;
    }
}

bool FitSink::beginWindow(int width, int height, std::string& error) {
    const bool swap = detail::orientationSwapsSides(m_orientation);
    const int uprightWidth = swap ? height : width;
    const int uprightHeight = swap ? width : height;
    // The scaled size, as stored.
    const int sw = swap ? m_plan.scaledHeight : m_plan.scaledWidth;
    const int sh = swap ? m_plan.scaledWidth : m_plan.scaledHeight;
    m_stored = storedWindow(fitWindow(m_plan, m_direction), sw, sh, m_orientation);
    m_copy = uprightWidth == m_plan.scaledWidth && uprightHeight == m_plan.scaledHeight;
    if (m_copy) {
        m_pixels.resize(m_stored.width, m_stored.height);
        return true;
    }
    if (!m_resampler.start(width, height, sw, sh, m_stored.x, m_stored.y, m_stored.width,
                           m_stored.height)) {
        error = "the picture is too large to decode in the memory allowed for it";
        return false;
    }
    return true;
}

std::uint8_t* FitSink::rowTarget(int y) noexcept {
    if (!m_whole) {
        return nullptr;
    }
    // A picture stored bottom up is put the right way round as it comes in.
    return m_pixels.row(m_orientation == 4 ? m_pixels.height - 1 - y : y);
}

bool FitSink::takeBgr() noexcept {
    if (m_whole || m_copy) {
        return false;
    }
    m_resampler.takeBgr();
    return true;
}

void FitSink::row(int y, const std::uint8_t* rgb) noexcept {
    if (m_whole) {
        std::uint8_t* target = rowTarget(y);
        if (target != rgb) {
            std::memcpy(target, rgb, m_pixels.stride());
        }
    } else if (m_copy) {
        if (y >= m_stored.y && y < m_stored.y + m_stored.height) {
            std::memcpy(m_pixels.row(y - m_stored.y), rgb + std::size_t(m_stored.x) * 3,
                        m_pixels.stride());
        }
    } else {
        m_resampler.addRow(y, rgb);
    }
}

Bitmap FitSink::takeWhole() {
    m_pixels.pixels.resize(m_pixels.stride() * std::size_t(m_pixels.height));
    if (m_orientation != 4) {
        detail::applyOrientation(m_pixels, m_orientation);
    }
    return std::move(m_pixels);
}

Bitmap FitSink::takeFitted() {
    Bitmap work = m_copy ? std::move(m_pixels) : m_resampler.take();
    if (work.empty()) {
        return work;
    }
    detail::applyOrientation(work, m_orientation);
    if (m_plan.turn) {
        turnBitmap(work, m_direction);
    }
    return work;
}

} // namespace zp
