#pragma once
// Fitting a picture as a decoder delivers its rows. A small picture is kept whole, so that a
// later fit can reuse it; a large one is never held: only the window of its scaled size that
// survives the crop is built, from the rows that the next output row needs (or, where pixels
// are copied one for one, from the rows and columns of the kept window).
#include "decoders/decoder.h"
#include "picture/fit.h"
#include "picture/resample.h"

#include <cstdint>
#include <string>

namespace zp {

class FitSink final : public RowSink {
public:
    // plan was made for the picture's full upright size; the decoder may deliver it reduced
    // (DCT scaling). A decoded picture of at most keepWholeBytes is kept whole.
    FitSink(const FitPlan& plan, TurnDirection direction, std::uint64_t keepWholeBytes);

    bool begin(int width, int height, int orientation, std::string& error) noexcept override;
    void row(int y, const std::uint8_t* rgb) noexcept override;
    std::uint8_t* rowTarget(int y) noexcept override;
    // Rows that are only averaged may come as B G R: the resampler swaps its results.
    bool takeBgr() noexcept override;
    bool beginWhole(int width, int height, std::size_t bytes, std::uint8_t*& whole,
                    std::string& error) noexcept override;

    // After a successful decoding: whether the picture was kept whole.
    bool keptWhole() const { return m_whole; }
    // The whole picture, upright (kept whole only). May throw std::bad_alloc.
    Bitmap takeWhole();
    // The fitted bitmap (not kept whole only). May throw std::bad_alloc.
    Bitmap takeFitted();

private:
    bool beginWindow(int width, int height, std::string& error);

    FitPlan m_plan;
    TurnDirection m_direction;
    std::uint64_t m_keepWholeBytes;
    int m_orientation = 1;
    bool m_whole = false;
    bool m_copy = false; // pixels one for one: the stored window is copied
    Bitmap m_pixels;     // the whole picture as stored, or the copied window
    AreaResampler m_resampler;
    FitWindow m_stored; // the window in the stored picture's (scaled) coordinates
};

} // namespace zp
