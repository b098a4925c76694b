// Fitting rows as a decoder delivers them, in the stored orientation, against fitting the whole
// upright picture: the same pixels (the area average to within rounding), for every EXIF
// orientation, every fit rule and a source reduced by DCT scaling.
#include "decoders/orientation.h"
#include "picture/bandfit.h"
#include "picture/fit.h"
#include "picture_compare.h"

#include <gtest/gtest.h>

#include <string>

namespace zp {
namespace {

struct BandCase {
    const char* name;
    int fullWidth, fullHeight; // the upright picture the plan is made for
    int frameWidth, frameHeight;
    FitOptions options;
    int reduce; // the decoder delivers the picture at 1/reduce of its full size
    FitRule rule;
};

using Dir = TurnDirection;

// clang-format off
const BandCase kCases[] = {
    {"shrink",              640, 480, 120, 160, {true, false, Dir::None}, 1, FitRule::Scale},
    {"shrink_cut_turned",   640, 480, 120, 160, {true, true, Dir::Left}, 1, FitRule::Scale},
    {"shrink_cut_right",    640, 480, 100, 160, {true, true, Dir::Right}, 1, FitRule::Scale},
    {"reduced_source",      640, 480, 120, 160, {true, true, Dir::None}, 4, FitRule::Scale},
    {"enlarge_cut",          40,  30, 120, 160, {true, true, Dir::None}, 1, FitRule::Scale},
    {"already_fits",        100,  60, 120, 160, {false, false, Dir::Left}, 1, FitRule::AlreadyFits},
    {"fits_turned",         150, 100, 120, 160, {false, false, Dir::Right}, 1, FitRule::FitsTurned},
    {"cut_without_scaling", 300, 100, 120, 160, {false, true, Dir::None}, 1, FitRule::CutWithoutScaling},
    {"cut_turned_window",   300,  90, 120, 160, {false, true, Dir::Left}, 1, FitRule::CutWithoutScaling},
};
// clang-format on

struct Param {
    BandCase c;
    int orientation;
};

std::ostream& operator<<(std::ostream& os, const Param& p) {
    return os << p.c.name << " orientation " << p.orientation;
}

class BandFit : public ::testing::TestWithParam<Param> {};

TEST_P(BandFit, MatchesTheWholePicture) {
    const auto& [c, o] = GetParam();
    const FitPlan plan = planFit(c.fullWidth, c.fullHeight, c.frameWidth, c.frameHeight, c.options);
    ASSERT_EQ(plan.rule, c.rule);
    // What the decoder holds, upright, and the same picture as the file stores it.
    const bool swap = detail::orientationSwapsSides(o);
    const int uw = c.fullWidth / c.reduce, uh = c.fullHeight / c.reduce;
    const Bitmap stored = test::photoLike(swap ? uh : uw, swap ? uw : uh, 5);
    Bitmap upright = stored;
    detail::applyOrientation(upright, o);
    const Bitmap expected = applyFit(upright, plan, c.options.direction);

    FitSink sink(plan, c.options.direction, 0); // never kept whole
    std::string error;
    ASSERT_TRUE(sink.begin(stored.width, stored.height, o, error)) << error;
    for (int y = 0; y < stored.height; ++y)
        sink.row(y, stored.row(y));
    ASSERT_FALSE(sink.keptWhole());
    const Bitmap fitted = sink.takeFitted();
    ASSERT_EQ(fitted.width, plan.width);
    ASSERT_EQ(fitted.height, plan.height);
    const test::Difference d = test::compareBitmaps(fitted, expected);
    // Pixels copied one for one are exact; the area average may round the other way where the
    // stored order runs against the upright one.
    if (plan.needsFullResolution(c.fullWidth, c.fullHeight))
        EXPECT_EQ(d.max, 0);
    else
        EXPECT_LE(d.max, 1) << "mean " << d.mean;
}

std::vector<Param> params() {
    std::vector<Param> out;
    for (const BandCase& c : kCases)
        for (int o = 1; o <= 8; ++o)
            out.push_back({c, o});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Rules, BandFit, ::testing::ValuesIn(params()), [](const auto& info) {
    return std::string(info.param.c.name) + "_o" + std::to_string(info.param.orientation);
});

// A small picture is kept whole, upright, for later fits.
TEST(BandFitWhole, SmallPictureKeptUpright) {
    const FitPlan plan = planFit(64, 48, 120, 160, FitOptions{});
    for (int o = 1; o <= 8; ++o) {
        const bool swap = detail::orientationSwapsSides(o);
        const Bitmap stored = test::coordinateBitmap(swap ? 48 : 64, swap ? 64 : 48);
        FitSink sink(plan, TurnDirection::None, std::uint64_t{1} << 20);
        std::string error;
        ASSERT_TRUE(sink.begin(stored.width, stored.height, o, error)) << error;
        for (int y = 0; y < stored.height; ++y)
            sink.row(y, stored.row(y));
        ASSERT_TRUE(sink.keptWhole());
        Bitmap expected = stored;
        detail::applyOrientation(expected, o);
        EXPECT_EQ(test::compareBitmaps(sink.takeWhole(), expected).max, 0) << "orientation " << o;
    }
}

} // namespace
} // namespace zp
