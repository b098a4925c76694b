#pragma once
// Reading picture files (BMP, JPEG, GIF, PNG) into upright 24-bit RGB bitmaps.
// Untrusted input: every failure comes back as ok = false with a plain-English error;
// nothing here throws, exits or shows anything.
#include "picture/bitmap.h" // zp::Bitmap: 24-bit RGB, top-down, stride = width*3

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace zp {

enum class PictureType { Unknown, Bmp, Jpeg, Gif, Png };

// By file-name extension alone, without regard to case: bmp, jpg, jpeg, gif, png.
PictureType pictureTypeFromPath(const std::filesystem::path& path);

struct PictureInfo {
    PictureType type = PictureType::Unknown;
    int width = 0; // upright size (EXIF orientation applied)
    int height = 0;
};

struct DecodeOptions {
    // JPEG only: libjpeg DCT scaling picks the smallest scale M/8 whose upright result is still at
    // least minWidth x minHeight (0 x 0: full size). Other formats ignore it.
    int minWidth = 0;
    int minHeight = 0;
};

struct DecodeResult {
    bool ok = false;
    Bitmap bitmap;     // upright
    std::string error; // plain English, for the log; empty when ok
    int fullWidth = 0; // upright size of the picture at full resolution
    int fullHeight = 0;
};

// Limits applied to every picture before anything is allocated for it.
inline constexpr int kMaxPictureSide = 65535;
inline constexpr std::int64_t kMaxPicturePixels = 200'000'000;

// Reads the header only (cheap). The data's own signature decides the format (a PNG named .bmp is
// read as PNG); data without a known signature is no picture.
bool probePicture(const std::filesystem::path& path, PictureInfo& info, std::string& error);

DecodeResult decodePicture(const std::filesystem::path& path, const DecodeOptions& options = {});

// type is the format the caller expects (usually from the file name); the data's signature wins,
// as for files.
DecodeResult decodePictureMemory(const std::uint8_t* data, std::size_t size, PictureType type,
                                 const DecodeOptions& options = {});

} // namespace zp
