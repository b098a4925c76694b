// BMP files large enough to be read in several chunks, written by ImageMagick at test time:
// decoded whole and fitted as their rows come in, against ImageMagick's own reading; the
// area average over many rows of one weight; a picture source that keeps nothing.
#include "decoders/decoder.h"
#include "image_compare.h"
#include "picture/bandfit.h"
#include "picture/fit.h"
#include "picture/preparedpicture.h"
#include "picture/resample.h"
#include "picture_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace zp {
namespace {

using zp::test::PrintTo;

// Odd width: every stored row carries padding. 1001 x 3 bytes to a row puts some 87 rows in
// one read of the file, so these pictures take several, the last one short.
constexpr int kWidth = 1001;
constexpr int kHeight = 300;

void writePpm(const std::filesystem::path& path, const Bitmap& b) {
    const std::string head =
        "P6\n" + std::to_string(b.width) + " " + std::to_string(b.height) + "\n255\n";
    std::vector<std::uint8_t> data(head.begin(), head.end());
    data.insert(data.end(), b.pixels.begin(), b.pixels.end());
    test::writeBytes(path, data);
}

std::uint32_t le32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | std::uint32_t(d[at + 3]) << 24;
}

// The same pixels stored top row first: negative height, rows in the other order.
void rewriteTopDown(const std::filesystem::path& path) {
    auto data = test::readBytes(path);
    const std::size_t offset = le32(data, 10);
    const int width = static_cast<int>(le32(data, 18));
    const int height = static_cast<int>(le32(data, 22));
    const std::size_t stride = (std::size_t(width) * 24 + 31) / 32 * 4;
    std::vector<std::uint8_t> flipped(data.begin(), data.begin() + offset);
    for (int y = height - 1; y >= 0; --y) {
        const auto row = data.begin() + offset + y * stride;
        flipped.insert(flipped.end(), row, row + stride);
    }
    const std::uint32_t negative = static_cast<std::uint32_t>(-height);
    std::memcpy(&flipped[22], &negative, 4);
    test::writeBytes(path, flipped);
}

struct BmpKind {
    const char* name;
    const char* options; // ImageMagick's, before the BMP3:/BMP: output
    bool topDown;
    int maxDiff; // against ImageMagick's reading of the same file
    double meanDiff;
};

std::ostream& operator<<(std::ostream& out, const BmpKind& k) {
    return out << k.name;
}

// 5/6-bit channels are scaled, and alpha blended onto white, with rounding where ImageMagick
// goes through 16-bit quanta.
// clang-format off
const BmpKind kKinds[] = {
    {"bgr24",         "BMP3:",                                   false, 0, 0},
    {"bgr24_topdown", "BMP3:",                                   true,  0, 0},
    {"bgr24_v5",      "BMP:",                                    false, 0, 0},
    {"bgra32",        "-alpha set -channel A -evaluate set 50% +channel BMP:", false, 1, 0.6},
    {"palette8",      "-colors 200 -compress None BMP3:",        false, 0, 0},
    {"rle8",          "-colors 200 -compress RLE BMP3:",         false, 0, 0},
    {"rgb565",        "-define bmp:subtype=RGB565 BMP:",         false, 1, 0.6},
};
// clang-format on

class BmpFile : public ::testing::TestWithParam<BmpKind> {
protected:
    void SetUp() override {
        const BmpKind& k = GetParam();
        writePpm(m_dir / "src.ppm", test::photoLike(kWidth, kHeight, 7));
        m_file = m_dir / (std::string(k.name) + ".bmp");
        const std::string options = k.options;
        const std::size_t split = options.rfind(' ');
        const std::string flags = split == std::string::npos ? "" : options.substr(0, split);
        const std::string format = split == std::string::npos ? options : options.substr(split + 1);
        ASSERT_TRUE(test::runCommand(std::string(test::kImageMagickConvert) + " " +
                                     test::shellQuote((m_dir / "src.ppm").string()) + " " + flags +
                                     " " + test::shellQuote(format + m_file.string())));
        if (k.topDown)
            rewriteTopDown(m_file);
        ASSERT_TRUE(test::magickReference(m_file, m_reference));
        ASSERT_EQ(m_reference.width, kWidth);
    }

    test::TempDir m_dir;
    std::filesystem::path m_file;
    Bitmap m_reference;
};

TEST_P(BmpFile, DecodesWholeAsImageMagickReadsIt) {
    const DecodeResult result = decodePicture(m_file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(
        test::bitmapsClose(result.bitmap, m_reference, GetParam().maxDiff, GetParam().meanDiff));
}

// Rows fitted as they come (24-bit ones as the file stores them, B G R) give what fitting
// ImageMagick's whole picture gives: up to one level where the stored order runs against the
// upright one and the rounding falls the other way.
TEST_P(BmpFile, FitsAsItComesLikeTheWholePicture) {
    const FitOptions options{true, false, TurnDirection::None};
    for (const auto& [w, h] : {std::pair{240, 320}, std::pair{480, 854}, std::pair{97, 31}}) {
        const FitPlan plan = planFit(kWidth, kHeight, w, h, options);
        FitSink sink(plan, options.direction, 0);
        const DecodeResult result = decodePictureRows(m_file, DecodeOptions{}, sink);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_FALSE(sink.keptWhole());
        const Bitmap expected = applyFit(m_reference, plan, options.direction);
        EXPECT_TRUE(test::bitmapsClose(sink.takeFitted(), expected, GetParam().maxDiff + 1,
                                       std::max(GetParam().meanDiff, 0.3)))
            << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BmpFile, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

// The last row needs no padding after it; a byte less than the last row is a truncated file,
// whether it is found in the first read or a later one.
struct CutCase {
    const char* name;
    int height;
    int bytesOff; // from the end of a file whose last row has no padding
    bool decodes;
};

class BmpCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(BmpCut, LastRowWithoutPaddingOnly) {
    const CutCase& c = GetParam();
    const test::TempDir dir;
    writePpm(dir / "src.ppm", test::photoLike(kWidth, c.height, 3));
    const auto full = dir / "full.bmp";
    ASSERT_TRUE(test::runCommand(std::string(test::kImageMagickConvert) + " " +
                                 test::shellQuote((dir / "src.ppm").string()) + " " +
                                 test::shellQuote("BMP3:" + full.string())));
    auto data = test::readBytes(full);
    const std::size_t stride = (std::size_t(kWidth) * 24 + 31) / 32 * 4;
    data.resize(le32(data, 10) + stride * c.height - (stride - kWidth * 3) - c.bytesOff);
    const auto cut = dir / "cut.bmp";
    test::writeBytes(cut, data);
    const DecodeResult result = decodePicture(cut);
    ASSERT_EQ(result.ok, c.decodes) << result.error;
    if (c.decodes) {
        Bitmap expected;
        ASSERT_TRUE(test::magickReference(full, expected));
        EXPECT_TRUE(test::bitmapsClose(result.bitmap, expected, 0, 0));
    } else {
        EXPECT_EQ(result.error, "the BMP file is truncated");
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, BmpCut, ::testing::Values(
    CutCase{"one_read", 40, 0, true},
    CutCase{"one_read_short", 40, 1, false},
    CutCase{"many_reads", 300, 0, true},
    CutCase{"many_reads_short", 300, 1, false},
    CutCase{"many_reads_row_short", 300, kWidth * 3, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Hundreds of source rows of one weight in a destination row, summed plainly in 16 bits
// before they are weighted: the sums must not wrap, and stay a true area average.
struct TallCase {
    int sw, sh, dw, dh;
};

class TallReduction : public ::testing::TestWithParam<TallCase> {};

TEST_P(TallReduction, MatchesTheAreaAverage) {
    const auto [sw, sh, dw, dh] = GetParam();
    const Bitmap src = test::photoLike(sw, sh, unsigned(sw * 7 + sh), 0);
    // A handful of pixels: the fixed-point weights may leave any of them one level off.
    EXPECT_TRUE(test::bitmapsClose(resampleArea(src, dw, dh), test::areaAverage(src, dw, dh), 1));
    Bitmap white;
    white.resize(sw, sh);
    std::fill(white.pixels.begin(), white.pixels.end(), std::uint8_t{255});
    const Bitmap out = resampleArea(white, dw, dh);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(*std::min_element(out.pixels.begin(), out.pixels.end()), 255);
}

// 257 rows of 255 fill 16 bits exactly; one more would wrap.
INSTANTIATE_TEST_SUITE_P(Rows, TallReduction,
                         ::testing::Values(TallCase{3, 257, 1, 1}, TallCase{3, 258, 1, 1},
                                           TallCase{2, 700, 1, 1}, TallCase{5, 1543, 2, 3},
                                           TallCase{4, 600, 4, 599}, TallCase{6, 9, 6, 20}));

// A source that keeps nothing fits the same as one that keeps the picture, and decodes the
// file again for the next fit.
TEST(PictureSourceKeep, KeepingNothingFitsTheSame) {
    const test::TempDir dir;
    writePpm(dir / "src.ppm", test::photoLike(kWidth, kHeight, 11));
    const auto file = dir / "p.bmp";
    ASSERT_TRUE(test::runCommand(std::string(test::kImageMagickConvert) + " " +
                                 test::shellQuote((dir / "src.ppm").string()) + " " +
                                 test::shellQuote("BMP3:" + file.string())));
    const FitPlan plan = planFit(kWidth, kHeight, 240, 320, FitOptions{});
    PictureSource keeping, lean;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(file, keeping, error)) << error;
    ASSERT_TRUE(PictureSource::fromFile(file, lean, error)) << error;
    lean.setKeepWhole(false);
    Bitmap a, b;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(keeping.fit(plan, TurnDirection::None, 0, 0, a, error)) << error;
        ASSERT_TRUE(lean.fit(plan, TurnDirection::None, 0, 0, b, error)) << error;
        EXPECT_TRUE(test::bitmapsClose(b, a, 1, 0.3));
    }
    EXPECT_EQ(keeping.decodeCount(), 1);
    EXPECT_EQ(lean.decodeCount(), 2);
}

} // namespace
} // namespace zp
