// The prepared picture: decoding with DCT scaling, re-decoding only for more pixels,
// and the pipeline's result against the full-resolution area average.
#include "decoders/decoder.h"
#include "picture/preparedpicture.h"
#include "picture/resample.h"
#include "picture_compare.h"
#include "support/files.h"
#include "support/command.h"
#include "support/rows.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace zp {
namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;

class PictureSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tmp = std::make_unique<test::TempDir>();
        dir = tmp->path();
        const std::string cmd = std::string(ZP_SYSTEM_PYTHON) + " " + ZP_TEST_SCRIPTS +
                                "/picture_make_photo.py 4000 3000 " + (dir / "photo.jpg").string() +
                                " " + (dir / "photo_exif6.jpg").string();
        ASSERT_TRUE(test::runCommand(cmd)) << cmd;
    }
    static void TearDownTestSuite() { tmp.reset(); }

    static PictureSettings frame(int w, int h, bool cut = false) {
        PictureSettings s;
        s.targetWidth = w;
        s.targetHeight = h;
        s.fit = {false, cut, TurnDirection::None};
        return s;
    }

    static inline std::unique_ptr<test::TempDir> tmp;
    static inline fs::path dir;
};

TEST_F(PictureSourceTest, DecodesOnlyAsMuchAsTheFitNeeds) {
    PictureSource src;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(dir / "photo.jpg", src, error)) << error;
    EXPECT_EQ(src.width(), 4000);
    EXPECT_EQ(src.height(), 3000);
    EXPECT_EQ(src.decodeCount(), 0); // only the header so far

    struct Step {
        int w, h;
        int decodes;      // decodes so far after this fit
        int decodedWidth; // width of the kept pixels
    };
    // 240x320 fits to 240x180: at least 480x360 decoded -> 1/8 = 500x375.
    // 480x854 fits to 480x360: needs 960x720 -> 2/8 = 1000x750, a second decode.
    // Back to 240x320: 1000x750 is plenty, no decode.
    // 1920x1080 fits to 1440x1080: needs 2880x2160 -> 6/8 = 3000x2250.
    const Step steps[] = {{240, 320, 1, 500},
                          {480, 854, 2, 1000},
                          {240, 320, 2, 1000},
                          {1920, 1080, 3, 3000},
                          {480, 854, 3, 3000}};
    for (const Step& s : steps) {
        const MakeJpegResult r = makeJpegCore(src, frame(s.w, s.h));
        ASSERT_TRUE(r.ok) << r.detail;
        EXPECT_EQ(src.decodeCount(), s.decodes) << s.w << "x" << s.h;
        EXPECT_EQ(src.pixels(1, 1, error)->width, s.decodedWidth) << s.w << "x" << s.h;
    }
}

TEST_F(PictureSourceTest, CutWithoutScalingNeedsFullResolution) {
    PictureSource src;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(dir / "photo.jpg", src, error)) << error;
    // 4000x3000 into 1920x3000... the frame limits are the window's; here a frame that
    // only the width exceeds: rule 3 copies pixels one for one.
    const MakeJpegResult r = makeJpegCore(src, frame(1920, 3000, true));
    ASSERT_TRUE(r.ok) << r.detail;
    EXPECT_EQ(r.plan.rule, FitRule::CutWithoutScaling);
    EXPECT_EQ(r.fitted.width, 1920);
    EXPECT_EQ(r.fitted.height, 3000);
    EXPECT_EQ(src.pixels(1, 1, error)->width, 4000);
}

// The same bytes as data (as the clipboard offers them) are read as lazily as the file, and
// upright.
TEST_F(PictureSourceTest, DataIsDecodedOnlyAsFarAsTheFitNeeds) {
    PictureSource src;
    std::string error;
    ASSERT_TRUE(PictureSource::fromData(test::readBytes(dir / "photo_exif6.jpg"), src, error))
        << error;
    EXPECT_EQ(src.width(), 4000);
    EXPECT_EQ(src.decodeCount(), 0);
    ASSERT_TRUE(makeJpegCore(src, frame(240, 320)).ok);
    EXPECT_EQ(src.pixels(1, 1, error)->width, 500);
    EXPECT_FALSE(PictureSource::fromData({'G', 'I', 'F'}, src, error));
    EXPECT_FALSE(error.empty());
}

struct ToleranceCase {
    int w, h;
};

class ScaledDecodeTolerance : public PictureSourceTest,
                              public ::testing::WithParamInterface<ToleranceCase> {};

TEST_P(ScaledDecodeTolerance, CloseToTheFullResolutionAreaAverage) {
    const auto [w, h] = GetParam();
    PictureSource src;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(dir / "photo.jpg", src, error)) << error;
    const MakeJpegResult r = makeJpegCore(src, frame(w, h));
    ASSERT_TRUE(r.ok) << r.detail;
    const DecodeResult full = decodePicture(dir / "photo.jpg");
    ASSERT_TRUE(full.ok) << full.error;
    const Bitmap reference = resampleArea(full.bitmap, r.fitted.width, r.fitted.height);
    const test::Difference d = test::compareBitmaps(r.fitted, reference);
    // DCT scaling averages 8x8 blocks before the area average: a few levels at most.
    EXPECT_LT(d.mean, 1.0) << "max " << d.max;
    EXPECT_LE(d.max, 6);
}

INSTANTIATE_TEST_SUITE_P(Frames, ScaledDecodeTolerance,
                         ::testing::Values(ToleranceCase{240, 320}, ToleranceCase{480, 854},
                                           ToleranceCase{132, 176}, ToleranceCase{640, 960}));

TEST_F(PictureSourceTest, ExifOrientationGivesTheUprightPicture) {
    PictureSource straight;
    PictureSource tagged;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(dir / "photo.jpg", straight, error)) << error;
    ASSERT_TRUE(PictureSource::fromFile(dir / "photo_exif6.jpg", tagged, error)) << error;
    EXPECT_EQ(tagged.width(), 4000);
    EXPECT_EQ(tagged.height(), 3000);
    const MakeJpegResult a = makeJpegCore(straight, frame(480, 854));
    const MakeJpegResult b = makeJpegCore(tagged, frame(480, 854));
    ASSERT_TRUE(a.ok && b.ok) << a.detail << b.detail;
    const test::Difference d = test::compareBitmaps(a.fitted, b.fitted);
    EXPECT_LT(d.mean, 2.0) << "max " << d.max; // two separate JPEG encodings of one picture
}

TEST(PictureSource, PastedBitmapNeedsNoDecoding) {
    const Bitmap pasted = test::photoLike(200, 100);
    PictureSource src = PictureSource::fromBitmap(pasted);
    ASSERT_TRUE(src.present());
    PictureSettings s;
    s.targetWidth = 240;
    s.targetHeight = 320;
    s.fit = {false, false, TurnDirection::Left};
    const MakeJpegResult r = makeJpegCore(src, s);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.plan.rule, FitRule::AlreadyFits);
    EXPECT_EQ(test::compareBitmaps(r.fitted, pasted).max, 0);
    EXPECT_EQ(src.decodeCount(), 0);
}

TEST(PictureSource, NoPictureAndUnreadableFiles) {
    PictureSource empty;
    EXPECT_FALSE(empty.present());
    EXPECT_EQ(makeJpegCore(empty, PictureSettings{}).error, PictureError::NoPicture);
    EXPECT_FALSE(PictureSource::fromBitmap(Bitmap{}).present());

    const test::TempDir tmp;
    const fs::path text = tmp / "not_a_picture.jpg";
    std::ofstream(text) << "this is a text file";
    PictureSource src;
    std::string error;
    EXPECT_FALSE(PictureSource::fromFile(text, src, error));
    EXPECT_FALSE(error.empty());
}

TEST(PictureSource, EditedBitmapIsEncodedUnchanged) {
    const Bitmap edited = test::photoLike(240, 320);
    std::vector<int> qualities;
    const MakeJpegResult r = makeJpegFromFitted(edited, {80, true, 5}, [&](const EncodeStep& s) {
        if (!s.gaveUp) {
            qualities.push_back(s.quality);
        }
    });
    EXPECT_EQ(test::compareBitmaps(r.fitted, edited).max, 0);
    ASSERT_FALSE(qualities.empty());
    EXPECT_EQ(qualities.front(), 80);
    EXPECT_EQ(r.quality, qualities.back());
    EXPECT_EQ(r.ok, r.jpeg.size() < 5 * 1024);
}

} // namespace
} // namespace zp
