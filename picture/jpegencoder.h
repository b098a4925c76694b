#pragma once
// JPEG compression of a 24-bit RGB bitmap with libjpeg.
#include "bitmap/bitmap.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace zp {

// Encodes at the given quality (1..100, baseline quantisation tables) into `out`, which is
// emptied first and keeps its capacity, so a loop of encodings reuses one buffer.
// Colour, sequential, full scale, libjpeg's defaults with its floating-point DCT, and Huffman
// tables made for the picture: the same baseline JPEG and the same decoded pixels as with the
// standard tables, in 5 to 10 % fewer bytes on photos, so a higher quality fits a limit.
// False with a message in `error` when libjpeg refuses the bitmap.
enum class HuffmanTables { Optimized, Standard };
bool encodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out,
                std::string& error, HuffmanTables tables = HuffmanTables::Optimized);

// The same, but it stops early (false, error "cancelled", `out` emptied) once `cancel` turns
// true: the quality loop drops an encoding it ran ahead on when it is no longer needed.
bool encodeJpeg(const Bitmap& bitmap, int quality, std::vector<std::uint8_t>& out,
                std::string& error, const std::atomic<bool>& cancel);

} // namespace zp
