// The fit decision on sizes, and carried out on pixels.
#include "picture/fit.h"
#include "picture/resample.h"
#include "picture_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace zp {
namespace {

using zp::test::PrintTo;

using test::coordinateBitmap;
using test::minChannel;
using test::photoLike;

constexpr auto kNone = TurnDirection::None;
constexpr auto kLeft = TurnDirection::Left;
constexpr auto kRight = TurnDirection::Right;

struct Example {
    std::string name;
    int sw, sh, W, H;
    FitOptions options; // enlarge, cut, direction
    FitRule rule;
    int scaledW, scaledH;
    bool turn;
    int cropX, cropY; // -1: no crop
    int outW, outH;
};

class FitExample : public ::testing::TestWithParam<Example> {};

TEST_P(FitExample, PlansExactSizesAndOffsets) {
    const Example& e = GetParam();
    const FitPlan p = planFit(e.sw, e.sh, e.W, e.H, e.options);
    EXPECT_EQ(p.rule, e.rule);
    EXPECT_EQ(p.scaledWidth, e.scaledW);
    EXPECT_EQ(p.scaledHeight, e.scaledH);
    EXPECT_EQ(p.turn, e.turn);
    EXPECT_EQ(p.crop, e.cropX >= 0);
    if (e.cropX >= 0) {
        EXPECT_EQ(p.cropX, e.cropX);
        EXPECT_EQ(p.cropY, e.cropY);
    }
    EXPECT_EQ(p.width, e.outW);
    EXPECT_EQ(p.height, e.outH);

    const Bitmap fitted = applyFit(coordinateBitmap(e.sw, e.sh), p, e.options.direction);
    EXPECT_EQ(fitted.width, e.outW);
    EXPECT_EQ(fitted.height, e.outH);
}

// The worked examples of the picture page, plus rows at each rule's boundary.
INSTANTIATE_TEST_SUITE_P(
    Rules, FitExample,
    ::testing::Values(
        Example{"ExactFrameTurningOn",
                240,
                320,
                240,
                320,
                {false, false, kRight},
                FitRule::AlreadyFits,
                240,
                320,
                false,
                -1,
                -1,
                240,
                320},
        Example{"SmallerBothSides",
                100,
                50,
                240,
                320,
                {false, true, kLeft},
                FitRule::AlreadyFits,
                100,
                50,
                false,
                -1,
                -1,
                100,
                50},
        Example{"FitsWhenTurnedRight",
                300,
                200,
                240,
                320,
                {false, false, kRight},
                FitRule::FitsTurned,
                300,
                200,
                true,
                -1,
                -1,
                200,
                300},
        Example{"CutWithoutScaling",
                300,
                100,
                240,
                320,
                {false, true, kNone},
                FitRule::CutWithoutScaling,
                300,
                100,
                false,
                30,
                0,
                240,
                100},
        Example{"CutScaleTurnLeft",
                1000,
                800,
                240,
                320,
                {false, true, kLeft},
                FitRule::Scale,
                320,
                256,
                true,
                8,
                0,
                240,
                320},
        Example{"ScaleInside",
                1000,
                800,
                240,
                320,
                {false, false, kNone},
                FitRule::Scale,
                240,
                192,
                false,
                -1,
                -1,
                240,
                192},
        Example{"EnlargeAndCut",
                100,
                100,
                240,
                320,
                {true, true, kNone},
                FitRule::Scale,
                320,
                320,
                false,
                40,
                0,
                240,
                320},
        Example{"EnlargeOnExactFrameStillScales",
                240,
                320,
                240,
                320,
                {true, false, kLeft},
                FitRule::Scale,
                240,
                320,
                false,
                -1,
                -1,
                240,
                320},
        // Rule 3 with turning: straight keeps 240x300 = 72000, turned keeps 300x240: a tie
        // stays straight.
        Example{"CutTieStaysStraight",
                300,
                300,
                240,
                320,
                {false, true, kLeft},
                FitRule::CutWithoutScaling,
                300,
                300,
                false,
                30,
                0,
                240,
                300},
        // 400x200: straight keeps 240x200, turned keeps 320x200.
        Example{"CutTurnsWhenItKeepsMore",
                400,
                200,
                240,
                320,
                {false, true, kRight},
                FitRule::CutWithoutScaling,
                400,
                200,
                true,
                0,
                40,
                200,
                320},
        // Both sides exceed the turned frame: rule 3 gives way to rule 4.
        Example{"CutBothExceedTurnedFrame",
                400,
                250,
                240,
                320,
                {false, true, kLeft},
                FitRule::Scale,
                384,
                240,
                true,
                0,
                32,
                240,
                320},
        // The width-first branch: 1000x799 into 240 wide gives 191 (remainder dropped).
        Example{"WidthFirstDropsRemainder",
                1000,
                799,
                240,
                320,
                {true, false, kNone},
                FitRule::Scale,
                240,
                191,
                false,
                -1,
                -1,
                240,
                191},
        // The height-first branch for a matching orientation.
        Example{"HeightFirstWhenTurningAndNoMismatch",
                799,
                1000,
                240,
                320,
                {true, false, kLeft},
                FitRule::Scale,
                240,
                300,
                false,
                -1,
                -1,
                240,
                300}),
    [](const auto& info) { return info.param.name; });

TEST(FitPixels, CropTakesTheCentreAndTurnsFollowTheirFormula) {
    // Rule 3: 300x100 into 240x320 crops at (30, 0).
    FitOptions cut{false, true, kNone};
    Bitmap out = applyFit(coordinateBitmap(300, 100), planFit(300, 100, 240, 320, cut), kNone);
    EXPECT_EQ(out.row(0)[0], 30);
    EXPECT_EQ(out.row(99)[3 * 239 + 1], 99);
    // Rule 2, right: destination (row i, column h-1-j) <- source (row j, column i).
    FitOptions right{false, false, kRight};
    out = applyFit(coordinateBitmap(300, 200), planFit(300, 200, 240, 320, right), kRight);
    ASSERT_EQ(out.width, 200);
    const std::uint8_t* p = out.row(17) + 3 * (200 - 1 - 5);
    EXPECT_EQ(p[0], 17); // source column i = 17
    EXPECT_EQ(p[1], 5);  // source row j = 5
}

// Rule 4 resamples only the part that survives the crop; the result must be the same as
// scaling the whole picture, turning it and cutting out the centre.
TEST(FitPixels, CroppedScaleEqualsScaleTurnCrop) {
    const Bitmap src = photoLike(1003, 611, 7);
    for (TurnDirection d : {kNone, kLeft, kRight}) {
        for (auto [W, H] : {std::pair{240, 320}, std::pair{320, 240}, std::pair{100, 100}}) {
            const FitPlan p = planFit(src.width, src.height, W, H, {true, true, d});
            ASSERT_EQ(p.rule, FitRule::Scale);
            Bitmap expected = resampleArea(src, p.scaledWidth, p.scaledHeight);
            if (p.turn) {
                ASSERT_EQ(turnBitmap(expected, d), PictureError::None);
            }
            expected = cropBitmap(expected, p.cropX, p.cropY, p.cropWidth, p.cropHeight);
            const Bitmap got = applyFit(src, p, d);
            EXPECT_EQ(test::compareBitmaps(got, expected).max, 0)
                << "direction " << int(d) << " frame " << W << "x" << H;
        }
    }
}

// A very long picture cut to the frame: its scaled size is huge (851438 x 854 here), but
// only the kept window is ever made.
TEST(FitPixels, LongPictureCutToFrameStaysSmall) {
    const FitPlan p = planFit(997, 1, 480, 854, {true, true, kNone});
    EXPECT_EQ(p.scaledWidth, 997 * 854);
    const Bitmap out = applyFit(photoLike(997, 1), p, kNone);
    EXPECT_EQ(out.width, 480);
    EXPECT_EQ(out.height, 854);
}

// Expected output sizes of every rule, checked over many sources and frames; each
// fitted bitmap must be filled to its edges (the source has no dark pixel).
struct SweepCase {
    int W, H;
};

class FitSweep : public ::testing::TestWithParam<SweepCase> {};

void checkPlan(int sw, int sh, int W, int H, const FitOptions& o, const FitPlan& p) {
    const std::string where =
        std::to_string(sw) + "x" + std::to_string(sh) + " in " + std::to_string(W) + "x" +
        std::to_string(H) + " enlarge=" + std::to_string(o.enlarge) +
        " cut=" + std::to_string(o.cut) + " dir=" + std::to_string(int(o.direction));
    SCOPED_TRACE(where);
    switch (p.rule) {
    case FitRule::AlreadyFits:
        ASSERT_FALSE(o.enlarge);
        EXPECT_TRUE(p.width == sw && p.height == sh && sw <= W && sh <= H);
        break;
    case FitRule::FitsTurned:
        EXPECT_TRUE(p.width == sh && p.height == sw && sh <= W && sw <= H);
        break;
    case FitRule::CutWithoutScaling: {
        const int bw = p.turn ? sh : sw;
        const int bh = p.turn ? sw : sh;
        EXPECT_EQ(p.width, std::min(bw, W));
        EXPECT_EQ(p.height, std::min(bh, H));
        EXPECT_TRUE(p.width == W || p.height == H);
        break;
    }
    case FitRule::Scale: {
        // The aspect ratio is kept to within the pixel that integer division drops.
        const std::int64_t cross =
            std::int64_t{p.scaledWidth} * sh - std::int64_t{p.scaledHeight} * sw;
        if (p.scaledWidth > 1 && p.scaledHeight > 1) {
            EXPECT_LT(std::llabs(cross), std::max(sw, sh)) << "aspect";
        }
        if (o.cut) {
            EXPECT_EQ(p.width, W);
            EXPECT_EQ(p.height, H);
        } else {
            EXPECT_LE(p.width, W);
            EXPECT_LE(p.height, H);
            EXPECT_TRUE(p.width == W || p.height == H);
        }
        break;
    }
    }
}

TEST_P(FitSweep, EveryRuleGivesItsSizeAndFillsTheBitmap) {
    const auto [W, H] = GetParam();
    const std::vector<int> sides = {1, 2, 7, 23, 24, 31, 100, 239, 240, 241, 319, 320, 321, 997};
    for (int sw : sides) {
        for (int sh : sides) {
            const Bitmap src = photoLike(sw, sh, unsigned(sw * 1000 + sh));
            for (int flags = 0; flags < 12; ++flags) {
                const FitOptions o{(flags & 1) != 0, (flags & 2) != 0,
                                   static_cast<TurnDirection>(flags / 4)};
                const FitPlan p = planFit(sw, sh, W, H, o);
                checkPlan(sw, sh, W, H, o, p);
                const Bitmap out = applyFit(src, p, o.direction);
                ASSERT_EQ(out.width, p.width);
                ASSERT_EQ(out.height, p.height);
                ASSERT_GE(minChannel(out), 16) << sw << "x" << sh << " flags " << flags;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, FitSweep,
                         ::testing::Values(SweepCase{24, 32}, SweepCase{132, 176},
                                           SweepCase{240, 320}, SweepCase{320, 240},
                                           SweepCase{100, 100}, SweepCase{480, 854}));

} // namespace
} // namespace zp
