#pragma once
// Reading picture files (BMP, JPEG, GIF, PNG, HEIF/HEIC, WebP, AVIF) into upright 24-bit RGB
// bitmaps. Untrusted input: every failure comes back as ok = false with a plain-English error;
// nothing here throws, exits or shows anything.
#include "bitmap/bitmap.h" // zp::Bitmap: 24-bit RGB, top-down, stride = width*3

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace zp {

enum class PictureType { Unknown, Bmp, Jpeg, Gif, Png, Heif, Webp, Avif };

// By file-name extension alone, without regard to case: bmp, jpg, jpeg, gif, png, heic, heif,
// webp, avif.
PictureType pictureTypeFromPath(const std::filesystem::path& path);

struct PictureInfo {
    PictureType type = PictureType::Unknown;
    int width = 0; // upright size (EXIF orientation applied)
    int height = 0;
};

struct DecodeOptions {
    // JPEG: libjpeg DCT scaling picks the smallest scale M/8 whose upright result is still at
    // least minWidth x minHeight (0 x 0: full size). A still WebP is decoded straight to the
    // smallest size of its shape that is at least that. Other formats ignore it.
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

// Receives a picture row by row, in the order the file stores them, so that a picture far
// larger than what is made of it never exists whole. The calls come from inside the decoder and
// must not throw.
class RowSink {
public:
    virtual ~RowSink() = default;
    // The stored size (after DCT scaling) and the EXIF orientation (1..8) that turns stored rows
    // upright; a BMP stored bottom-up says 4. False (with an error) stops the decoding. A
    // decoder that starts over may call it again before any row.
    virtual bool begin(int width, int height, int orientation, std::string& error) noexcept = 0;
    // Stored row y of width * 3 bytes R G B; rows come in order, each once.
    virtual void row(int y, const std::uint8_t* rgb) noexcept = 0;
    // Where the decoder may write stored row y itself (then row() gets that pointer back), or
    // null to have it passed from the decoder's own buffer.
    virtual std::uint8_t* rowTarget(int /*y*/) noexcept { return nullptr; }
    // Asked after begin() by a decoder whose file stores B G R (BMP): true when the sink takes
    // every row from then on in that order through row(), saving the decoder the swap.
    virtual bool takeBgr() noexcept { return false; }
    // begin() (orientation 1) for a decoder that fills the whole picture at once. A sink that
    // keeps the picture whole sets `whole` to a buffer of at least `bytes` bytes in which stored
    // row y starts at y * width * 3, valid until the next begin; the rows still go to row(),
    // with those pointers. Otherwise `whole` is null and the rows come as usual.
    virtual bool beginWhole(int width, int height, std::size_t /*bytes*/, std::uint8_t*& whole,
                            std::string& error) noexcept {
        whole = nullptr;
        return begin(width, height, 1, error);
    }
};

// Reads the header only (cheap). The data's own signature decides the format (a PNG named .bmp is
// read as PNG); data without a known signature is no picture.
bool probePicture(const std::filesystem::path& path, PictureInfo& info, std::string& error);

DecodeResult decodePicture(const std::filesystem::path& path, const DecodeOptions& options = {});

// Decodes the file into the sink. The result carries ok, error and the upright full size; its
// bitmap stays empty.
DecodeResult decodePictureRows(const std::filesystem::path& path, const DecodeOptions& options,
                               RowSink& sink);

// Picture data already in memory (a clipboard's, a drop's) is held to the limits of a file of
// those bytes and refused for the same faults. type is the format the caller expects (from a file
// name or a MIME type); the data's signature wins, as for files.
DecodeResult decodePictureMemory(const std::uint8_t* data, std::size_t size, PictureType type,
                                 const DecodeOptions& options = {});
bool probePictureMemory(const std::uint8_t* data, std::size_t size, PictureInfo& info,
                        std::string& error);
DecodeResult decodePictureMemoryRows(const std::uint8_t* data, std::size_t size,
                                     const DecodeOptions& options, RowSink& sink);

} // namespace zp
