#pragma once
// Pixel-for-pixel operations on the 24-bit bitmap: quarter turns and centre crops.
#include "bitmap/bitmap.h"
#include "picture/messages.h"

namespace zp {

// None, a quarter turn counterclockwise (Left) or clockwise (Right).
enum class TurnDirection { None, Left, Right };

// Turns the bitmap by a quarter turn in place; a w x h bitmap becomes h x w.
// Right: destination row i, column h-1-j <- source row j, column i.
// Left:  destination row i, column j     <- source row j, column w-1-i.
// An empty bitmap is refused with PictureError::InvalidBitmap; None leaves it unchanged.
PictureError turnBitmap(Bitmap& bitmap, TurnDirection direction);

// Mirrors the bitmap in place, pixel for pixel: rows top to bottom, or columns left to
// right. Both together turn it by 180 degrees. An empty bitmap is left as it is.
void flipTopBottom(Bitmap& bitmap);
void flipLeftRight(Bitmap& bitmap);

// A 32-bit picture (R G B A bytes, alpha not premultiplied, rows of `stride` bytes) as a
// 24-bit bitmap, laid on white where it is transparent, as the picture decoders do.
// Empty when the size is not positive.
Bitmap flattenRgbaOnWhite(const std::uint8_t* rgba, int width, int height, std::size_t stride);

// Copies the width x height rectangle at (x, y) pixel for pixel. The rectangle is clipped
// to the bitmap; the result is empty when nothing of it lies inside.
Bitmap cropBitmap(const Bitmap& bitmap, int x, int y, int width, int height);

// Keeps the centre min(w, width) x min(h, height) pixels: offset ((w - width) div 2, ...).
Bitmap cropCentre(const Bitmap& bitmap, int width, int height);

} // namespace zp
