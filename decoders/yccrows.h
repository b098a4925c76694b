#pragma once
// 8-bit Y'CbCr planes (4:2:0, 4:2:2, 4:4:4 or luma alone) turned into RGB rows as they go to a
// sink, so that no RGB frame of the whole picture is ever made: a phone photo's planes take half
// of what its RGB would.
#include "decoders/decoder.h"

#include <cstddef>
#include <cstdint>

namespace zp::detail {

struct YccPlanes {
    const std::uint8_t* y = nullptr;
    std::size_t yStride = 0;
    const std::uint8_t* cb = nullptr; // null for luma alone
    const std::uint8_t* cr = nullptr;
    std::size_t chromaStride = 0;
    int width = 0, height = 0;
    int chromaShiftX = 0, chromaShiftY = 0; // 4:2:0 is 1, 1; 4:2:2 is 1, 0
};

// Per code value, the contributions to R, G and B in 1/65536 steps (the rounding half folded into
// y), for one matrix and range.
struct YccTables {
    std::int32_t y[256], rCr[256], gCb[256], gCr[256], bCb[256];
};

// The tables for an ITU-T H.273 matrix_coefficients value and range. False for matrices that are
// no plain Kr/Kb weighting (identity, YCgCo, constant luminance, ICtCp).
bool yccTables(int matrixCoefficients, bool fullRange, YccTables& tables) noexcept;

// Pixels x0 .. x0 + count - 1 of row y of the planes, as RGB into out.
void yccRow(const YccPlanes& planes, int y, int x0, int count, const YccTables& tables,
            std::uint8_t* out) noexcept;

// The planes, stored rows top down, into the sink as RGB rows (orientation 1). Each chroma
// sample stands for the 2 (or 2 x 2) pixels it covers, as the library's own conversion does.
DecodeResult emitYcc(const YccPlanes& planes, const YccTables& tables, RowSink& sink);

// Separate 8-bit R, G and B planes of one size.
struct RgbPlanes {
    const std::uint8_t* plane[3] = {};
    std::size_t stride[3] = {};
    int width = 0, height = 0;
};

// The planes, stored rows top down, into the sink as interleaved rows (orientation 1).
DecodeResult emitRgbPlanes(const RgbPlanes& planes, RowSink& sink);

// The bytes of 8-bit planes of a width x height picture with the given chroma_format_idc (0 luma
// alone, 1 4:2:0, 2 4:2:2, 3 4:4:4).
std::uint64_t yccPlaneBytes(int width, int height, int chromaFormat) noexcept;

} // namespace zp::detail
