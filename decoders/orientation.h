#pragma once
// EXIF orientation: where the camera's rows and columns belong when the picture is shown upright.
#include "bitmap/bitmap.h"

#include <cstddef>
#include <cstdint>

namespace zp::detail {

// Orientation tag (0x0112) of IFD0 in an APP1 payload that starts with "Exif\0\0";
// 1 (as stored) when absent, malformed or outside 1..8.
int exifOrientation(const std::uint8_t* payload, std::size_t size) noexcept;

// The same from the TIFF structure itself (starting "II" or "MM"), as a WebP file's EXIF chunk
// holds it.
int tiffOrientation(const std::uint8_t* data, std::size_t size) noexcept;

// Orientations 5..8 exchange width and height.
inline bool orientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Turns and mirrors the bitmap so that it shows upright. May throw std::bad_alloc (5..8 need a
// second buffer).
void applyOrientation(Bitmap& bitmap, int orientation);

} // namespace zp::detail
