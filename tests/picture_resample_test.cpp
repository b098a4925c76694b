// The area-averaging resampler and the pixel-for-pixel bitmap operations.
#include "picture/bitmapops.h"
#include "picture/resample.h"
#include "picture_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zp {
namespace {

using zp::test::PrintTo;

// Straightforward area average in double precision: destination pixel (X, Y) covers the
// source rectangle [X*sw/dw, (X+1)*sw/dw) x [Y*sh/dh, (Y+1)*sh/dh).
Bitmap referenceAreaAverage(const Bitmap& src, int dw, int dh) {
    Bitmap out;
    out.resize(dw, dh);
    const double fx = double(src.width) / dw;
    const double fy = double(src.height) / dh;
    for (int Y = 0; Y < dh; ++Y) {
        for (int X = 0; X < dw; ++X) {
            double sum[3] = {0, 0, 0};
            double area = 0;
            for (int y = 0; y < src.height; ++y) {
                const double oy = std::min(y + 1.0, (Y + 1) * fy) - std::max(double(y), Y * fy);
                if (oy <= 0) {
                    continue;
                }
                for (int x = 0; x < src.width; ++x) {
                    const double ox = std::min(x + 1.0, (X + 1) * fx) - std::max(double(x), X * fx);
                    if (ox <= 0) {
                        continue;
                    }
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += ox * oy * src.row(y)[3 * x + c];
                    }
                    area += ox * oy;
                }
            }
            for (int c = 0; c < 3; ++c) {
                out.row(Y)[3 * X + c] = std::uint8_t(sum[c] / area + 0.5);
            }
        }
    }
    return out;
}

struct Sizes {
    int sw, sh, dw, dh;
};

class ResampleAgainstReference : public ::testing::TestWithParam<Sizes> {};

TEST_P(ResampleAgainstReference, WithinOneLevel) {
    const auto [sw, sh, dw, dh] = GetParam();
    const Bitmap src = test::photoLike(sw, sh, unsigned(sw + 31 * sh), 0);
    const Bitmap got = resampleArea(src, dw, dh);
    ASSERT_EQ(got.width, dw);
    ASSERT_EQ(got.height, dh);
    const test::Difference d = test::compareBitmaps(got, referenceAreaAverage(src, dw, dh));
    EXPECT_LE(d.max, 1);
    EXPECT_LT(d.mean, 0.1);
}

INSTANTIATE_TEST_SUITE_P(OddSizes, ResampleAgainstReference,
                         ::testing::Values(Sizes{7, 5, 3, 2}, Sizes{13, 11, 5, 17},
                                           Sizes{1, 1, 4, 3}, Sizes{100, 37, 33, 12},
                                           Sizes{5, 5, 5, 5}, Sizes{97, 89, 31, 29},
                                           Sizes{9, 301, 4, 7}, Sizes{3, 2, 11, 9},
                                           Sizes{641, 479, 240, 179}, Sizes{17, 19, 16, 18},
                                           Sizes{1000, 3, 7, 1}));

TEST(Resample, SameSizeIsExact) {
    const Bitmap src = test::photoLike(31, 17, 3, 0);
    EXPECT_EQ(test::compareBitmaps(resampleArea(src, 31, 17), src).max, 0);
}

TEST(Resample, FlatColourStaysFlat) {
    Bitmap src;
    src.resize(1237, 917);
    for (std::size_t i = 0; i < src.pixels.size(); i += 3) {
        src.pixels[i] = 255;
        src.pixels[i + 1] = 1;
        src.pixels[i + 2] = 128;
    }
    const Bitmap out = resampleArea(src, 240, 179);
    for (std::size_t i = 0; i < out.pixels.size(); i += 3) {
        ASSERT_EQ(out.pixels[i], 255);
        ASSERT_EQ(out.pixels[i + 1], 1);
        ASSERT_EQ(out.pixels[i + 2], 128);
    }
}

TEST(Resample, WindowEqualsCropOfWhole) {
    const Bitmap src = test::photoLike(203, 157, 5, 0);
    const Bitmap whole = resampleArea(src, 90, 130);
    const Bitmap window = resampleAreaWindow(src, 90, 130, 11, 23, 50, 64);
    EXPECT_EQ(test::compareBitmaps(window, cropBitmap(whole, 11, 23, 50, 64)).max, 0);
    EXPECT_TRUE(resampleAreaWindow(src, 90, 130, 41, 0, 50, 10).empty()); // sticks out
}

TEST(Resample, RefusesEmptyInputAndSizes) {
    EXPECT_TRUE(resampleArea(Bitmap{}, 10, 10).empty());
    EXPECT_TRUE(resampleArea(test::photoLike(4, 4), 0, 10).empty());
}

// Turning: the exact pixel formulas on a 3 x 2 bitmap.
struct TurnCase {
    std::string name;
    TurnDirection direction;
    std::vector<int> expected; // R channel (= source x + 10 * source y), row by row
    int w, h;
};

class Turn : public ::testing::TestWithParam<TurnCase> {};

TEST_P(Turn, MovesEveryPixel) {
    const TurnCase& c = GetParam();
    Bitmap b;
    b.resize(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            b.row(y)[3 * x] = std::uint8_t(x + 10 * y);
        }
    }
    ASSERT_EQ(turnBitmap(b, c.direction), PictureError::None);
    ASSERT_EQ(b.width, c.w);
    ASSERT_EQ(b.height, c.h);
    std::vector<int> got;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            got.push_back(b.row(y)[3 * x]);
        }
    }
    EXPECT_EQ(got, c.expected);
}

// Source:   0  1  2
//          10 11 12
INSTANTIATE_TEST_SUITE_P(
    Directions, Turn,
    ::testing::Values(TurnCase{"Right", TurnDirection::Right, {10, 0, 11, 1, 12, 2}, 2, 3},
                      TurnCase{"Left", TurnDirection::Left, {2, 12, 1, 11, 0, 10}, 2, 3},
                      TurnCase{"None", TurnDirection::None, {0, 1, 2, 10, 11, 12}, 3, 2}),
    [](const auto& info) { return info.param.name; });

TEST(Turn, FourQuarterTurnsGiveTheBitmapBack) {
    const Bitmap src = test::photoLike(131, 77, 9, 0); // more than one tile each way
    for (TurnDirection d : {TurnDirection::Left, TurnDirection::Right}) {
        Bitmap b = src;
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(turnBitmap(b, d), PictureError::None);
        }
        EXPECT_EQ(test::compareBitmaps(b, src).max, 0);
    }
    Bitmap b = src;
    turnBitmap(b, TurnDirection::Left);
    turnBitmap(b, TurnDirection::Right);
    EXPECT_EQ(test::compareBitmaps(b, src).max, 0);
}

TEST(Turn, EmptyBitmapIsRefused) {
    Bitmap b;
    EXPECT_EQ(turnBitmap(b, TurnDirection::Right), PictureError::InvalidBitmap);
    EXPECT_EQ(turnBitmap(b, TurnDirection::None), PictureError::InvalidBitmap);
}

TEST(Flip, MirrorsAndUndoes) {
    const Bitmap src = test::coordinateBitmap(5, 3);
    Bitmap b = src;
    flipTopBottom(b);
    EXPECT_EQ(b.row(0)[1], 2); // the last row on top
    EXPECT_EQ(b.row(2)[1], 0);
    flipLeftRight(b);
    EXPECT_EQ(b.row(0)[0], 4);     // the last column on the left
    EXPECT_EQ(b.row(1)[3 * 2], 2); // the middle column stays
    // Turning by 180 degrees is the same as two quarter turns.
    Bitmap turned = src;
    turnBitmap(turned, TurnDirection::Right);
    turnBitmap(turned, TurnDirection::Right);
    EXPECT_EQ(test::compareBitmaps(b, turned).max, 0);
    flipLeftRight(b);
    flipTopBottom(b);
    EXPECT_EQ(test::compareBitmaps(b, src).max, 0);
}

struct CropCase {
    int w, h, cw, ch, x0, y0, outW, outH;
};

class CropCentre : public ::testing::TestWithParam<CropCase> {};

TEST_P(CropCentre, TakesTheMiddle) {
    const auto [w, h, cw, ch, x0, y0, outW, outH] = GetParam();
    const Bitmap out = cropCentre(test::coordinateBitmap(w, h), cw, ch);
    ASSERT_EQ(out.width, outW);
    ASSERT_EQ(out.height, outH);
    EXPECT_EQ(out.row(0)[0], x0);
    EXPECT_EQ(out.row(0)[1], y0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CropCentre,
                         ::testing::Values(CropCase{300, 100, 240, 320, 30, 0, 240, 100},
                                           CropCase{256, 320, 240, 320, 8, 0, 240, 320},
                                           CropCase{241, 321, 240, 320, 0, 0, 240, 320},
                                           CropCase{243, 323, 240, 320, 1, 1, 240, 320},
                                           CropCase{10, 10, 240, 320, 0, 0, 10, 10}));

} // namespace
} // namespace zp
