#pragma once
// The picture being prepared and the pipeline that turns it into the phone-sized JPEG.
//
// The window holds one PictureSource (a pasted bitmap, a picture file known by its path
// and full size, or encoded picture data held as it came) and calls makeJpegCore with the settings
// read from its controls; with the result it writes the working JPEG (writeFileReplacing), makes
// the output copy (copyToOutputFolder) and shows the fitted bitmap and the JPEG. After an editing
// command changes the fitted bitmap, makeJpegFromFitted encodes it again without rescaling.
#include "bitmap/bitmap.h"
#include "picture/fit.h"
#include "picture/messages.h"
#include "picture/qualityloop.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zp {

struct DecodeOptions;
struct DecodeResult;
class RowSink;

class PictureSource {
public:
    PictureSource() = default;

    // A pasted bitmap, kept at full resolution.
    static PictureSource fromBitmap(Bitmap bitmap);
    // A picture file: only its header is read here; pixels are decoded when a fit needs them.
    // False with a plain-English `error` when the file is no readable picture.
    static bool fromFile(const std::filesystem::path& path, PictureSource& source,
                         std::string& error);
    // Encoded picture data (a JPEG, PNG, ... offered by the clipboard or a drop), read like a
    // file of those bytes: the header now, the pixels when a fit needs them. The whole picture
    // is decoded once here at the smallest scale, so that data that cannot be read is refused
    // before it replaces anything. False with a plain-English `error` when it is no picture.
    static bool fromData(std::vector<std::uint8_t> data, PictureSource& source, std::string& error);

    // "Present" when width plus height is not 0.
    bool present() const { return m_width + m_height != 0; }
    int width() const { return m_width; } // full, upright size
    int height() const { return m_height; }
    bool isFile() const { return !m_path.empty(); }
    const std::filesystem::path& path() const { return m_path; }

    // Pixels of the whole picture, at least minWidth x minHeight (or at full resolution when
    // both are 0 or the request reaches the full size). A file is decoded with DCT scaling
    // to the smallest scale that gives enough pixels; the decoded bitmap is kept, and the
    // file is decoded again only when a later request needs more pixels than it has.
    // Null with `error` set when the file can no longer be decoded.
    const Bitmap* pixels(int minWidth, int minHeight, std::string& error);

    // The fitted bitmap for the plan, from pixels of at least minWidth x minHeight (0 x 0: full
    // resolution). Kept pixels are used when they suffice. Otherwise the file is decoded row by
    // row: a picture of at most kKeepWholeBytes is kept for later fits, a larger one is fitted
    // as it comes in and never held whole. False with `error` set when that fails.
    bool fit(const FitPlan& plan, TurnDirection direction, int minWidth, int minHeight,
             Bitmap& fitted, std::string& error);

    int decodeCount() const { return m_decodes; }

    // Whether fit() keeps a decoded picture of at most kKeepWholeBytes for later fits (the
    // default). A caller that fits only once (the command line) turns it off: every picture
    // then goes through the band fit, and the whole picture never takes memory.
    void setKeepWhole(bool keep) { m_keepWhole = keep; }

    static constexpr std::uint64_t kKeepWholeBytes = std::uint64_t{64} << 20;

private:
    bool keptPixelsSuffice(int minWidth, int minHeight) const;
    // Pixels come from the file or the held data; a bitmap alone has only what it has.
    bool decodable() const { return isFile() || m_data; }
    DecodeResult decodeWhole(const DecodeOptions& options) const;
    DecodeResult decodeRows(const DecodeOptions& options, RowSink& sink) const;

    Bitmap m_pixels;
    std::filesystem::path m_path;
    std::shared_ptr<const std::vector<std::uint8_t>> m_data;
    int m_width = 0;
    int m_height = 0;
    int m_decodes = 0;
    bool m_keepWhole = true;
};

struct PictureSettings {
    int targetWidth = 132;
    int targetHeight = 176;
    FitOptions fit;
    QualityLoopOptions jpeg;
};

struct MakeJpegResult {
    bool ok = false;     // a JPEG was made and met the limit, or no limit was set
    bool gaveUp = false; // the limit was missed at the lowest quality (a JPEG is still made)
    PictureError error = PictureError::None; // NoPicture, DecodeFailed or EncodeFailed
    std::string detail;                      // plain-English cause for DecodeFailed/EncodeFailed
    FitPlan plan;
    Bitmap fitted;                  // the bitmap that was encoded
    std::vector<std::uint8_t> jpeg; // the last encoding
    int quality = 0;                // its quality
    bool hasJpeg() const { return !jpeg.empty(); }
};

// The decoder works with at least this factor of pixels over the scaled size, so the area
// average does the last step of the reduction.
inline constexpr int kDecodeHeadroom = 2;

// Fits the source to the frame (the rules of planFit) and runs the quality loop on it.
MakeJpegResult makeJpegCore(PictureSource& source, const PictureSettings& settings,
                            const StatusFn& status = {}, const JpegEncoderFn& encoder = {});

// Encodes an already fitted bitmap through the quality loop, unchanged.
MakeJpegResult makeJpegFromFitted(Bitmap fitted, const QualityLoopOptions& options,
                                  const StatusFn& status = {}, const JpegEncoderFn& encoder = {});

} // namespace zp
