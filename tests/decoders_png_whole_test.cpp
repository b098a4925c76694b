// 8-bit PNGs read in one go (inflated whole into the sink's storage) against ImageMagick's
// reading of the same files: every layout, every row filter, the edges of the buffers, and
// damage inside the image data, which must end as before in libpng's clear failure.
#include "decoders/decoder.h"
#include "image_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zp {
namespace {

using zp::test::PrintTo;

const std::filesystem::path& layouts() {
    return test::picturesFrom("png_layouts.py");
}

// Keeps the picture whole, like the fitting pipeline's sink for pictures it keeps, and records
// how the decoder began.
class WholeSink final : public RowSink {
public:
    bool begin(int width, int height, int, std::string&) noexcept override {
        ++begins;
        bitmap.resize(width, height);
        return true;
    }
    bool beginWhole(int width, int height, std::size_t bytes, std::uint8_t*& whole,
                    std::string&) noexcept override {
        ++wholeBegins;
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels.assign(std::max(bytes, std::size_t(width) * height * 3), 0);
        whole = bitmap.pixels.data();
        return true;
    }
    std::uint8_t* rowTarget(int y) noexcept override {
        ++rowTargets;
        return bitmap.row(y);
    }
    void row(int y, const std::uint8_t* rgb) noexcept override {
        if (rgb != bitmap.row(y))
            std::memcpy(bitmap.row(y), rgb, bitmap.stride());
        rowsSeen += y == rowsSeen ? 1 : 1000000; // out of order shows
    }
    Bitmap bitmap;
    int begins = 0;
    int wholeBegins = 0;
    int rowsSeen = 0;
    int rowTargets = 0;
};

struct LayoutCase {
    const char* file;
    bool whole;         // read into the sink's storage in one go
    bool writesTargets; // rows written into the sink's row targets (libpng cannot for RGBA,
                        // which it flattens in a buffer of its own)
    int tolerance;      // transparency flattened onto white may round differently
};

class PngLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PngLayout, MatchesImageMagickAndTakesTheExpectedPath) {
    const LayoutCase& c = GetParam();
    const auto path = layouts() / c.file;
    Bitmap expected;
    ASSERT_TRUE(test::magickReference(path, expected));

    WholeSink sink;
    const DecodeResult rows = decodePictureRows(path, {}, sink);
    ASSERT_TRUE(rows.ok) << rows.error;
    EXPECT_EQ(sink.wholeBegins, c.whole ? 1 : 0);
    EXPECT_EQ(sink.begins, c.whole ? 0 : 1);
    EXPECT_EQ(sink.rowsSeen, expected.height);
    EXPECT_EQ(sink.rowTargets, c.writesTargets ? expected.height : 0);
    sink.bitmap.pixels.resize(sink.bitmap.stride() * sink.bitmap.height);
    ASSERT_EQ(sink.bitmap.width, expected.width);
    ASSERT_EQ(sink.bitmap.height, expected.height);
    const auto sinkDiff = test::pixelDifference(sink.bitmap, expected);
    EXPECT_LE(sinkDiff.max, c.tolerance) << "at " << sinkDiff.worstX << "," << sinkDiff.worstY;

    // The whole-bitmap reading and the reading from memory see the same.
    const DecodeResult decoded = decodePicture(path);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.bitmap.pixels, sink.bitmap.pixels);
    const auto bytes = test::readBytes(path);
    const DecodeResult memory = decodePictureMemory(bytes.data(), bytes.size(), PictureType::Png);
    ASSERT_TRUE(memory.ok) << memory.error;
    EXPECT_EQ(memory.bitmap.pixels, sink.bitmap.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Png, PngLayout,
    ::testing::Values(
        LayoutCase{"grey.png", true, false, 0}, LayoutCase{"rgb.png", true, false, 0},
        LayoutCase{"rgb_paeth.png", true, false, 0}, LayoutCase{"grey_paeth.png", true, false, 0},
        LayoutCase{"rgb_pieces.png", true, false, 0},
        LayoutCase{"rgb_one_column.png", true, false, 0},
        LayoutCase{"rgb_one_row.png", true, false, 0}, LayoutCase{"palette.png", true, false, 0},
        LayoutCase{"palette_trns.png", true, false, 1},
        LayoutCase{"grey_alpha.png", true, false, 1},
        // RGBA is wider than RGB: a buffer of its own up to 12 MiB, libpng beyond.
        LayoutCase{"rgba.png", false, true, 1}, LayoutCase{"rgba_1773.png", false, true, 1},
        LayoutCase{"rgba_1774.png", false, false, 1},
        // libpng, straight into the row targets.
        LayoutCase{"rgb16.png", false, true, 1}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

struct DamageCase {
    const char* file;
    const char* inMessage; // part of the reason given
};

class PngDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PngDamage, FailsWithTheReasonAndDeliversNoRows) {
    const DamageCase& c = GetParam();
    const auto path = layouts() / c.file;
    WholeSink sink;
    const DecodeResult rows = decodePictureRows(path, {}, sink);
    EXPECT_FALSE(rows.ok);
    EXPECT_NE(rows.error.find(c.inMessage), std::string::npos) << rows.error;
    const DecodeResult decoded = decodePicture(path);
    EXPECT_FALSE(decoded.ok);
    EXPECT_TRUE(decoded.bitmap.empty());
    EXPECT_EQ(decoded.error, rows.error);
}

INSTANTIATE_TEST_SUITE_P(Png, PngDamage,
                         ::testing::Values(DamageCase{"damaged_truncated.png",
                                                      "truncated in the chunk IDAT"},
                                           DamageCase{"damaged_crc.png", "PNG error: IDAT"},
                                           DamageCase{"damaged_adler.png", "PNG error"},
                                           DamageCase{"damaged_filter.png", "filter"}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(8, name.find('.') - 8);
                         });

} // namespace
} // namespace zp
