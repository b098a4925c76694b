#pragma once
// Area-averaging resampler: the whole source rectangle is mapped onto the whole destination
// rectangle, and every destination pixel is the average of the source area that maps onto
// it, pixels partly inside weighted by the part that is inside. Works for shrinking and for
// enlarging, each axis independently.
#include "picture/bitmap.h"

namespace zp {

// Returns a width x height bitmap; an empty bitmap when the source is empty or a size < 1.
Bitmap resampleArea(const Bitmap& source, int width, int height);

// The window (x, y, width, height) of the fullWidth x fullHeight result, computed without the
// rest: the same pixels as cropping resampleArea(source, fullWidth, fullHeight), whatever
// the full size. Empty when the window does not lie inside the full size.
Bitmap resampleAreaWindow(const Bitmap& source, int fullWidth, int fullHeight, int x, int y,
                          int width, int height);

} // namespace zp
