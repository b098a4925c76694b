// JPEG specifics: DCT scaling against djpeg and against an area-averaged full decode, and the
// EXIF orientation parser on hand-made TIFF blocks.
#include "decoders/decoder.h"
#include "decoders/orientation.h"
#include "image_compare.h"

#include <gtest/gtest.h>

namespace zp {
namespace {

const std::filesystem::path& pictures() {
    return test::picturesFrom("decoders_pictures.py");
}

// libjpeg's own command-line decoder at scale M/8, as the exact reference of a scaled decode.
::testing::AssertionResult djpegScaled(const std::filesystem::path& jpeg, int m, Bitmap& out) {
    const test::TempDir dir;
    const auto ppm = dir / "scaled.ppm";
    if (!test::runCommand("djpeg -scale " + std::to_string(m) + "/8 -outfile " +
                          test::shellQuote(ppm.string()) + " " + test::shellQuote(jpeg.string())))
        return ::testing::AssertionFailure() << "djpeg failed";
    const auto bytes = test::readBytes(ppm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    std::istringstream header(
        std::string(bytes.begin(), bytes.begin() + std::min<size_t>(64, bytes.size())));
    header >> magic >> w >> h >> max;
    const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
    if (magic != "P6" || max != 255 || bytes.size() != start + std::size_t(w) * h * 3)
        return ::testing::AssertionFailure() << "unexpected djpeg output";
    out.width = w;
    out.height = h;
    out.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return ::testing::AssertionSuccess();
}

struct ScaleCase {
    const char* file;
    int minWidth, minHeight;
    int scale;         // the M of M/8 that must be chosen
    int width, height; // upright result
};

std::ostream& operator<<(std::ostream& out, const ScaleCase& c) {
    return out << c.file << " min " << c.minWidth << "x" << c.minHeight;
}

class JpegScaling : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(JpegScaling, PicksTheSmallestScaleThatCoversTheMinimum) {
    const ScaleCase& c = GetParam();
    const DecodeResult scaled =
        decodePicture(pictures() / c.file, DecodeOptions{c.minWidth, c.minHeight});
    ASSERT_TRUE(scaled.ok) << scaled.error;
    EXPECT_EQ(scaled.bitmap.width, c.width);
    EXPECT_EQ(scaled.bitmap.height, c.height);
    if (c.scale < 8) {
        EXPECT_GE(scaled.bitmap.width, c.minWidth);
        EXPECT_GE(scaled.bitmap.height, c.minHeight);
    }

    const DecodeResult full = decodePicture(pictures() / c.file);
    ASSERT_TRUE(full.ok) << full.error;
    EXPECT_EQ(scaled.fullWidth, full.bitmap.width);
    EXPECT_EQ(scaled.fullHeight, full.bitmap.height);
    // On a photo-like picture the scaled IDCT averages blocks much like a box filter; the tiny
    // test pattern changes every pixel, where the two legitimately part ways.
    if (c.scale == 8 || std::string(c.file).find("smooth") == std::string::npos)
        return;
    const Bitmap reduced = test::areaAverage(full.bitmap, c.width, c.height);
    EXPECT_TRUE(test::bitmapsClose(scaled.bitmap, reduced, 80, 3.0));
}

TEST_P(JpegScaling, EqualsDjpegAtTheSameScale) {
    const ScaleCase& c = GetParam();
    if (std::string(c.file).find("orient") != std::string::npos)
        GTEST_SKIP() << "djpeg does not turn pictures";
    const DecodeResult scaled =
        decodePicture(pictures() / c.file, DecodeOptions{c.minWidth, c.minHeight});
    ASSERT_TRUE(scaled.ok) << scaled.error;
    Bitmap reference;
    ASSERT_TRUE(djpegScaled(pictures() / c.file, c.scale, reference));
    EXPECT_TRUE(test::bitmapsClose(scaled.bitmap, reference, 1, 0.05));
}

// jpeg_smooth.jpg is 640x480; its turned copy shows 480x640; jpeg_444.jpg is 37x29, so scaled
// sizes round up (ceil(37 * M / 8)).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Sizes, JpegScaling, ::testing::Values(
    ScaleCase{"jpeg_smooth.jpg", 0, 0, 8, 640, 480},
    ScaleCase{"jpeg_smooth.jpg", 1, 1, 1, 80, 60},
    ScaleCase{"jpeg_smooth.jpg", 80, 60, 1, 80, 60},
    ScaleCase{"jpeg_smooth.jpg", 81, 60, 2, 160, 120},
    ScaleCase{"jpeg_smooth.jpg", 0, 61, 2, 160, 120},
    ScaleCase{"jpeg_smooth.jpg", 240, 320, 6, 480, 360},
    ScaleCase{"jpeg_smooth.jpg", 320, 240, 4, 320, 240},
    ScaleCase{"jpeg_smooth.jpg", 561, 0, 8, 640, 480},
    ScaleCase{"jpeg_smooth.jpg", 2000, 2000, 8, 640, 480},
    ScaleCase{"jpeg_smooth_progressive.jpg", 132, 99, 2, 160, 120},
    ScaleCase{"jpeg_smooth_orient6.jpg", 120, 160, 2, 120, 160},
    ScaleCase{"jpeg_smooth_orient6.jpg", 160, 120, 3, 180, 240},
    ScaleCase{"jpeg_444.jpg", 1, 1, 1, 5, 4},
    ScaleCase{"jpeg_444.jpg", 6, 0, 2, 10, 8},
    ScaleCase{"jpeg_420.jpg", 14, 0, 3, 14, 11}));
// clang-format on

// ---------------------------------------------------------------- EXIF orientation

// "Exif\0\0", a TIFF header in the given byte order, and IFD0 with the given entries.
std::vector<std::uint8_t> exifBlock(bool bigEndian,
                                    const std::vector<std::array<unsigned, 3>>& entries) {
    std::vector<std::uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](unsigned v) {
        if (bigEndian)
            b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else
            b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    auto u32 = [&](unsigned v) {
        if (bigEndian)
            u16(v >> 16), u16(v & 0xffff);
        else
            u16(v & 0xffff), u16(v >> 16);
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(static_cast<unsigned>(entries.size()));
    for (const auto& [tag, type, value] : entries) {
        u16(tag), u16(type), u32(1);
        u16(value), u16(0); // a SHORT sits in the first two bytes of the value field
    }
    u32(0);
    return b;
}

struct ExifCase {
    const char* name;
    std::vector<std::uint8_t> block;
    int expected;
};

std::ostream& operator<<(std::ostream& out, const ExifCase& c) {
    return out << c.name;
}

class ExifOrientation : public ::testing::TestWithParam<ExifCase> {};

TEST_P(ExifOrientation, ReadsTagOrFallsBackToUpright) {
    const ExifCase& c = GetParam();
    EXPECT_EQ(detail::exifOrientation(c.block.data(), c.block.size()), c.expected);
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> b, std::size_t size) {
    b.resize(size);
    return b;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Blocks, ExifOrientation, ::testing::Values(
    ExifCase{"little_endian_6", exifBlock(false, {{0x0112, 3, 6}}), 6},
    ExifCase{"big_endian_8", exifBlock(true, {{0x0112, 3, 8}}), 8},
    ExifCase{"after_other_tags", exifBlock(true, {{0x010f, 2, 0}, {0x0110, 2, 0}, {0x0112, 3, 3}}), 3},
    ExifCase{"value_9_is_out_of_range", exifBlock(false, {{0x0112, 3, 9}}), 1},
    ExifCase{"value_0_is_out_of_range", exifBlock(false, {{0x0112, 3, 0}}), 1},
    ExifCase{"wrong_type_long", exifBlock(false, {{0x0112, 4, 6}}), 1},
    ExifCase{"no_orientation_tag", exifBlock(false, {{0x010f, 2, 0}}), 1},
    ExifCase{"entry_cut_off", truncated(exifBlock(false, {{0x0112, 3, 6}}), 6 + 8 + 2 + 9), 1},
    ExifCase{"ifd_count_past_end", truncated(exifBlock(false, {{0x0112, 3, 6}}), 6 + 9), 1},
    ExifCase{"not_exif", std::vector<std::uint8_t>{'J', 'F', 'I', 'F', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0}, 1},
    ExifCase{"bad_byte_order", std::vector<std::uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 42, 0, 8, 0, 0, 0}, 1},
    ExifCase{"ifd_offset_huge", std::vector<std::uint8_t>{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xff, 0xff, 0xff, 0xff}, 1}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
