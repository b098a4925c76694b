#pragma once
// Area-averaging resampler: the whole source rectangle is mapped onto the whole destination
// rectangle, and every destination pixel is the average of the source area that maps onto
// it, pixels partly inside weighted by the part that is inside. Works for shrinking and for
// enlarging, each axis independently.
#include "bitmap/bitmap.h"

#include <cstdint>
#include <vector>

namespace zp {

namespace detail {
// For each destination pixel along one axis: the first source pixel and the weights of the
// source pixels it covers.
struct AxisWeights {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::uint32_t> weights; // `taps` entries per destination pixel
    int taps = 0;
    std::uint32_t inside = 0; // the weight of a source pixel wholly inside a destination pixel
};
} // namespace detail

// The area average of rows that arrive one at a time, top to bottom: only the sums of the
// destination rows that the current source row falls into are kept, over the source columns
// that the window needs, so a source of any height never has to exist whole.
class AreaResampler {
public:
    // The sums for one window of the result may take this much; a window that needs more is
    // refused (start() returns false).
    static constexpr std::uint64_t kMaxWorkingBytes = std::uint64_t{64} << 20;

    // Prepares the window (x, y, width, height) of the fullWidth x fullHeight result of a
    // sourceWidth x sourceHeight picture. False when the window does not lie inside the full
    // size, or its sums would need more than kMaxWorkingBytes.
    bool start(int sourceWidth, int sourceHeight, int fullWidth, int fullHeight, int x, int y,
               int width, int height);
    // From now on the rows come as B G R (as BMP files store them); the result stays R G B.
    void takeBgr() { m_bgr = true; }
    // Source row `index` (width * 3 bytes). Rows come in order; every row from
    // firstRowNeeded() to lastRowNeeded() must come, the others are ignored.
    void addRow(int index, const std::uint8_t* row);
    // The window, once its last row is done; empty before.
    Bitmap take();
    int firstRowNeeded() const;
    int lastRowNeeded() const;

private:
    // The plain sums of a destination row's inside rows, added to its weighted sums at once.
    void flushPlain(int slot);

    detail::AxisWeights m_ax;
    detail::AxisWeights m_ay;
    int m_sourceHeight = 0;
    int m_firstColumn = 0;     // of the source columns the window needs
    std::size_t m_samples = 0; // bytes of those columns in one row
    int m_open = 1;            // sums kept at once, used in turn
    int m_next = 0;            // the first destination row not finished yet
    bool m_bgr = false;
    // Per open destination row: weighted sums, plain sums of the source rows of weight
    // m_ay.inside, how many rows those hold, and whether the weighted sums have begun.
    std::vector<std::uint32_t> m_acc;
    std::vector<std::uint16_t> m_plain;
    std::vector<int> m_plainRows;
    std::vector<char> m_accStarted;
    std::vector<std::uint16_t> m_mid;
    Bitmap m_out;
};

// Returns a width x height bitmap; an empty bitmap when the source is empty or a size < 1.
Bitmap resampleArea(const Bitmap& source, int width, int height);

// The window (x, y, width, height) of the fullWidth x fullHeight result, computed without the
// rest: the same pixels as cropping resampleArea(source, fullWidth, fullHeight), whatever
// the full size. Empty when the window does not lie inside the full size.
Bitmap resampleAreaWindow(const Bitmap& source, int fullWidth, int fullHeight, int x, int y,
                          int width, int height);

} // namespace zp
