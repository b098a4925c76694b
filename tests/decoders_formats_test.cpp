// Every picture form the decoders accept, written by ImageMagick or Pillow (or rewritten from
// such a file), decoded and compared with ImageMagick's own reading of the same pixels.
#include "decoders/decoder.h"
#include "image_compare.h"

#include <gtest/gtest.h>

namespace zp {
namespace {

struct FormatCase {
    const char* file;
    const char* reference; // the file whose pixels these are; nullptr: the file itself
    int maxDiff;
    double meanDiff;
};

std::ostream& operator<<(std::ostream& out, const FormatCase& c) {
    return out << c.file;
}

class DecodeFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecodeFormat, MatchesImageMagick) {
    const FormatCase& c = GetParam();
    const auto& dir = test::picturesFrom("decoders_pictures.py");
    const DecodeResult result = decodePicture(dir / c.file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty());
    Bitmap expected;
    ASSERT_TRUE(test::magickReference(dir / (c.reference ? c.reference : c.file), expected));
    EXPECT_TRUE(test::bitmapsClose(result.bitmap, expected, c.maxDiff, c.meanDiff));
    EXPECT_EQ(result.fullWidth, result.bitmap.width);
    EXPECT_EQ(result.fullHeight, result.bitmap.height);

    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(dir / c.file, info, error)) << error;
    EXPECT_EQ(info.width, result.bitmap.width);
    EXPECT_EQ(info.height, result.bitmap.height);
    EXPECT_EQ(info.type, pictureTypeFromPath(c.file));
}

// 5- and 6-bit BMP channels and 16-bit PNG samples are scaled to 8 bits with rounding, ImageMagick
// goes through its 16-bit quanta: one step apart at most. Alpha blending rounds the same way.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Bmp, DecodeFormat, ::testing::Values(
    FormatCase{"bmp_1bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_4bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_8bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_rle8.bmp", nullptr, 0, 0},
    FormatCase{"bmp_rle4.bmp", "bmp_4bit.bmp", 0, 0},
    FormatCase{"bmp_24bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_24bit_topdown.bmp", "bmp_24bit.bmp", 0, 0},
    FormatCase{"bmp_8bit_topdown.bmp", "bmp_8bit.bmp", 0, 0},
    FormatCase{"bmp_os2_24bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_os2_8bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_555_v5.bmp", nullptr, 1, 0.6},
    FormatCase{"bmp_555_bitfields.bmp", "bmp_555_v5.bmp", 1, 0.6},
    FormatCase{"bmp_16bit_rgb.bmp", "bmp_555_v5.bmp", 1, 0.6},
    FormatCase{"bmp_565_v5.bmp", nullptr, 1, 0.6},
    FormatCase{"bmp_52_header.bmp", "bmp_565_v5.bmp", 1, 0.6},
    FormatCase{"bmp_v4_24bit.bmp", nullptr, 0, 0},
    FormatCase{"bmp_v5_alpha.bmp", nullptr, 1, 0.5},
    FormatCase{"bmp_56_header.bmp", "bmp_v5_alpha.bmp", 1, 0.5},
    FormatCase{"bmp_alphabitfields.bmp", "bmp_v5_alpha.bmp", 1, 0.5},
    FormatCase{"pil_24bit.bmp", nullptr, 0, 0},
    FormatCase{"pil_grey.bmp", nullptr, 0, 0},
    FormatCase{"pil_1bit.bmp", nullptr, 0, 0},
    FormatCase{"pil_palette.bmp", nullptr, 0, 0},
    FormatCase{"pil_32bit.bmp", nullptr, 0, 0}));

INSTANTIATE_TEST_SUITE_P(Png, DecodeFormat, ::testing::Values(
    FormatCase{"src.png", nullptr, 0, 0},
    FormatCase{"png_interlaced.png", nullptr, 0, 0},
    FormatCase{"png_rgba.png", nullptr, 1, 0.5},
    FormatCase{"png_rgba16_interlaced.png", nullptr, 1, 0.5},
    FormatCase{"png_rgb16.png", nullptr, 0, 0},
    FormatCase{"png_grey16.png", nullptr, 1, 0.6},
    FormatCase{"png_grey2.png", nullptr, 0, 0},
    FormatCase{"png_grey_alpha.png", nullptr, 0, 0},
    FormatCase{"png_grey_alpha_real.png", nullptr, 1, 0.5},
    FormatCase{"png_palette_trns.png", nullptr, 0, 0},
    FormatCase{"png_palette_4bit.png", nullptr, 0, 0},
    FormatCase{"png_palette_alpha.png", nullptr, 1, 0.5},
    FormatCase{"png_rgb_trns.png", nullptr, 0, 0},
    FormatCase{"png_text_bomb.png", "png_rgba.png", 1, 0.5}));

INSTANTIATE_TEST_SUITE_P(Gif, DecodeFormat, ::testing::Values(
    FormatCase{"gif_plain.gif", nullptr, 0, 0},
    FormatCase{"gif_interlaced.gif", nullptr, 0, 0},
    FormatCase{"gif_transparent.gif", nullptr, 0, 0},
    FormatCase{"pil_transparent.gif", nullptr, 0, 0},
    FormatCase{"gif_offset_frame.gif", nullptr, 0, 0},
    FormatCase{"gif_animated.gif", nullptr, 0, 0},
    FormatCase{"gif_local_table.gif", "gif_plain.gif", 0, 0}));

INSTANTIATE_TEST_SUITE_P(Jpeg, DecodeFormat, ::testing::Values(
    FormatCase{"jpeg_444.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_420.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_progressive.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_grey.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_cmyk_magick.jpg", nullptr, 2, 0.5},
    FormatCase{"jpeg_cmyk_pil.jpg", nullptr, 2, 0.5},
    FormatCase{"jpeg_smooth.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient1.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient2.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient3.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient4.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient5.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient6.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient7.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_orient8.jpg", nullptr, 1, 0.05},
    FormatCase{"jpeg_smooth_orient6.jpg", nullptr, 1, 0.05}));
// clang-format on

// The decoded pixels of the turned JPEGs are the unturned one's, moved: this catches a turn that
// ImageMagick and the decoder would both get wrong the same way.
TEST(DecodeOrientation, TurnsMatchTheUnturnedPicture) {
    const auto& dir = test::picturesFrom("decoders_pictures.py");
    const DecodeResult plain = decodePicture(dir / "jpeg_orient1.jpg");
    ASSERT_TRUE(plain.ok) << plain.error;
    const int w = plain.bitmap.width, h = plain.bitmap.height;
    // Where upright (x, y) is found in the stored picture, per orientation 2..8.
    const auto source = [&](int o, int x, int y) -> std::pair<int, int> {
        switch (o) {
        case 2:
            return {w - 1 - x, y};
        case 3:
            return {w - 1 - x, h - 1 - y};
        case 4:
            return {x, h - 1 - y};
        case 5:
            return {y, x};
        case 6:
            return {y, h - 1 - x};
        case 7:
            return {w - 1 - y, h - 1 - x};
        default:
            return {w - 1 - y, x};
        }
    };
    for (int o = 2; o <= 8; ++o) {
        const DecodeResult turned =
            decodePicture(dir / ("jpeg_orient" + std::to_string(o) + ".jpg"));
        ASSERT_TRUE(turned.ok) << turned.error;
        const bool swapped = o >= 5;
        ASSERT_EQ(turned.bitmap.width, swapped ? h : w) << o;
        ASSERT_EQ(turned.bitmap.height, swapped ? w : h) << o;
        Bitmap expected;
        expected.resize(turned.bitmap.width, turned.bitmap.height);
        for (int y = 0; y < expected.height; ++y)
            for (int x = 0; x < expected.width; ++x) {
                const auto [sx, sy] = source(o, x, y);
                std::copy_n(plain.bitmap.row(sy) + sx * 3, 3, expected.row(y) + x * 3);
            }
        // Same encoder, same blocks: only the placement differs, so differences stay tiny.
        EXPECT_TRUE(test::bitmapsClose(turned.bitmap, expected, 12, 1.0)) << "orientation " << o;
    }
}

} // namespace
} // namespace zp
