#pragma once
// Internal to the decoders: one reader per format over a complete file image in memory (JPEG also
// over an open file), and the checks they share.
#include "decoders/decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zp::detail {

// The picture type named by the data's own signature; Unknown when none matches.
PictureType sniffPictureType(const std::uint8_t* data, std::size_t size);

// Enforces kMaxPictureSide and kMaxPicturePixels; fills error and returns false when exceeded.
bool checkDimensions(std::int64_t width, std::int64_t height, std::string& error);

// The most a decoder holds of one picture at once (44 megapixels of RGB). A picture whose decoded
// pixels would need more is refused before anything is allocated for it, so that memory stays
// bounded by what the output needs and not by what a small file claims.
inline constexpr std::uint64_t kMaxHeldPictureBytes = std::uint64_t{128} << 20;

// Sizes the bitmap without throwing: false with an error when memory runs out or the picture is
// over kMaxHeldPictureBytes.
bool allocateBitmap(Bitmap& bitmap, int width, int height, std::string& error) noexcept;

// The bytes of a picture: all in memory, or read from an open file as the decoder asks for them
// (at most `size` bytes from the file's current position), so that a large file is never held.
class InputBytes {
public:
    InputBytes(const std::uint8_t* data, std::size_t size)
        : m_data(data), m_start(data), m_left(size), m_size(size) {}
    InputBytes(std::FILE* file, std::uint64_t size)
        : m_file(file), m_left(size), m_size(size), m_fileStart(std::ftell(file)) {}
    // Copies up to n bytes; fewer only at the end of the data or on a read error.
    std::size_t read(void* out, std::size_t n);
    // Passes over n bytes without reading them (a seek in a file), so that a large block that
    // is not needed costs nothing; false when fewer than n were left.
    bool skip(std::uint64_t n);
    // Back to where the bytes began, for a second reading; false when the file cannot seek.
    bool rewind();
    std::uint64_t left() const { return m_left; }
    bool readError() const { return m_error; }

private:
    const std::uint8_t* m_data = nullptr;
    const std::uint8_t* m_start = nullptr;
    std::FILE* m_file = nullptr;
    std::uint64_t m_left = 0;
    std::uint64_t m_size = 0;
    long m_fileStart = -1;
    bool m_error = false;
};

bool probeJpeg(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
bool probePng(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
bool probeGif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
bool probeBmp(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);

// Row decoders: each reads a picture into a sink and returns ok, error and the upright full
// size (no bitmap). JPEG reads from memory, or from an open file in chunks when file is set.
DecodeResult jpegRows(const std::uint8_t* data, std::size_t size, std::FILE* file,
                      const DecodeOptions& options, RowSink& sink);
DecodeResult pngRows(InputBytes& input, RowSink& sink);
// The common PNGs (8 bits a sample, not interlaced) inflated in one go and unfiltered in the
// sink's own storage. True when the picture went to the sink; false, with the input rewound,
// when the file needs the general reader (other layouts, damage of any kind, a picture too large
// for one buffer): that reader then gives the verdict and the message.
bool pngRowsWhole(InputBytes& input, RowSink& sink, DecodeResult& result);
DecodeResult gifRows(InputBytes& input, RowSink& sink);
bool probePngInput(InputBytes& input, PictureInfo& info, std::string& error);
bool probeGifInput(InputBytes& input, PictureInfo& info, std::string& error);
// A JPEG inside a BMP is decoded with the options, like a JPEG file.
DecodeResult bmpRows(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
                     RowSink& sink);
// The same from an open file at its start, fileSize bytes long: headers and palette are read
// first, then the pixel data as it is decoded.
DecodeResult bmpRowsFile(std::FILE* file, std::uint64_t fileSize, const DecodeOptions& options,
                         RowSink& sink);

// Whole upright bitmaps, collected from the row decoders (within kMaxHeldPictureBytes).
DecodeResult decodeJpeg(const std::uint8_t* data, std::size_t size, const DecodeOptions& options);
// The header of a JPEG read from an open file at its current position, in chunks.
bool probeJpegFile(std::FILE* file, PictureInfo& info, std::string& error);
DecodeResult decodePng(const std::uint8_t* data, std::size_t size);
DecodeResult decodeGif(const std::uint8_t* data, std::size_t size);
DecodeResult decodeBmp(const std::uint8_t* data, std::size_t size,
                       const DecodeOptions& options = {});

// HEIF (HEIC), WebP and AVIF: the libraries read a whole file image in memory. Their rows go to
// the sink with transparency flattened onto white; options may ask WebP for a reduced size.
bool probeHeif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
bool probeWebp(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
bool probeAvif(const std::uint8_t* data, std::size_t size, PictureInfo& info, std::string& error);
DecodeResult heifRows(const std::uint8_t* data, std::size_t size, RowSink& sink);
DecodeResult webpRows(const std::uint8_t* data, std::size_t size, const DecodeOptions& options,
                      RowSink& sink);
DecodeResult avifRows(const std::uint8_t* data, std::size_t size, RowSink& sink);

// Begins the sink and hands it stored rows 0..height-1 in order, each made by make(y, out), which
// writes width * 3 bytes R G B (false stops, with the error it set): straight into the sink's
// storage where it offers some, else into a row of our own. fullWidth x fullHeight is the stored
// size at full resolution; the result gives it upright for the orientation.
DecodeResult emitMadeRows(int width, int height, int orientation, int fullWidth, int fullHeight,
                          RowSink& sink,
                          const std::function<bool(int, std::uint8_t*, std::string&)>& make);

// Interleaved 8-bit RGB or RGBA pixels, stored rows top down, into the sink (alpha flattened onto
// white). fullWidth x fullHeight is the stored size at full resolution, before any scaling.
DecodeResult emitInterleaved(const std::uint8_t* pixels, std::size_t stride, int width, int height,
                             bool alpha, int orientation, int fullWidth, int fullHeight,
                             RowSink& sink);

// The EXIF orientation (1..8) that does what a HEIF rotation (quarter turns anticlockwise,
// 0..3) followed by a mirroring (-1 none, 0 top and bottom exchanged, 1 left and right) does.
int orientationFromTransforms(int quarterTurnsAnticlockwise, int mirror) noexcept;

// The held-picture rule for decoders whose library holds whole decoded frames: `channels` is the
// bytes a pixel they take together.
bool checkHeldFrame(int width, int height, int channels, std::string& error);
// The same for a frame of `bytes` bytes in all.
bool checkHeldBytes(int width, int height, std::uint64_t bytes, std::string& error);

// Runs a row decoder into a whole upright bitmap, sized within kMaxHeldPictureBytes.
DecodeResult collectRows(const std::function<DecodeResult(RowSink&)>& decode);

// Row storage for decoders that must see a whole frame before its rows are final (interlaced
// PNG and GIF): bounded like a held picture.
bool allocateScratch(std::vector<std::uint8_t>& buffer, std::uint64_t bytes,
                     std::string& error) noexcept;

// White is what every viewer puts behind transparent parts.
inline std::uint8_t blendOnWhite(unsigned value, unsigned alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

} // namespace zp::detail
