// HEIF (HEIC), WebP and AVIF pictures written by the formats' own encoders, decoded and compared
// with the PNG each was made from; damaged files of each type, which must fail with a message
// and within bounded time and memory.
#include "decoders/decoder.h"
#include "image_compare.h"
#include "picture/preparedpicture.h"
#include "support/command.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zp {
namespace {

using zp::test::PrintTo;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAsan = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAsan = true;
#else
constexpr bool kUnderAsan = false;
#endif
#else
constexpr bool kUnderAsan = false;
#endif

const std::filesystem::path& pictures() {
    return test::picturesFrom("decoders_modern_pictures.py");
}

struct ModernCase {
    const char* file;
    const char* reference; // the PNG it should show, upright and flattened onto white
    PictureType type;
    int maxDiff;
    double meanDiff;
};

std::ostream& operator<<(std::ostream& out, const ModernCase& c) {
    return out << c.file;
}

class DecodeModern : public ::testing::TestWithParam<ModernCase> {};

TEST_P(DecodeModern, ShowsWhatItWasMadeFrom) {
    const ModernCase& c = GetParam();
    const DecodeResult result = decodePicture(pictures() / c.file);
    ASSERT_TRUE(result.ok) << result.error;
    Bitmap expected;
    ASSERT_TRUE(test::magickReference(pictures() / c.reference, expected));
    EXPECT_TRUE(test::bitmapsClose(result.bitmap, expected, c.maxDiff, c.meanDiff));
    EXPECT_EQ(result.fullWidth, expected.width);
    EXPECT_EQ(result.fullHeight, expected.height);

    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(pictures() / c.file, info, error)) << error;
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.width, expected.width);
    EXPECT_EQ(info.height, expected.height);
}

// Lossless files match exactly but for the rounding of the white blending; lossy ones (HEVC at
// quality 96, WebP at 92 with its halved colour resolution at the red block's corner, and a JPEG
// before the HEIC) within a few steps on average.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, DecodeModern, ::testing::Values(
    ModernCase{"heic_plain.heic", "pattern.png", PictureType::Heif, 48, 2.5},
    ModernCase{"heic_rotated.heic", "pattern_ccw.png", PictureType::Heif, 48, 2.5},
    // The EXIF orientation 6 inside is not applied: only the file's own rotation counts.
    ModernCase{"heic_exif6.heic", "pattern.png", PictureType::Heif, 64, 3.5},
    ModernCase{"heic_alpha.heic", "alpha.png", PictureType::Heif, 48, 2.5},
    ModernCase{"webp_lossless.webp", "pattern.png", PictureType::Webp, 0, 0},
    ModernCase{"webp_lossy.webp", "pattern.png", PictureType::Webp, 96, 3.5},
    ModernCase{"webp_alpha.webp", "alpha.png", PictureType::Webp, 1, 0.5},
    ModernCase{"webp_animated.webp", "pattern.png", PictureType::Webp, 0, 0},
    // The EXIF orientation 6 of its EXIF chunk is applied, as ImageMagick applies the JPEG's.
    ModernCase{"webp_exif6.webp", "exif6.jpg", PictureType::Webp, 16, 1.0},
    ModernCase{"avif_lossless.avif", "pattern.png", PictureType::Avif, 0, 0},
    ModernCase{"avif_alpha.avif", "alpha.png", PictureType::Avif, 1, 0.5},
    ModernCase{"avif_rotated.avif", "pattern_ccw_flop.png", PictureType::Avif, 0, 0},
    // The clean aperture is cut out before the turn; one that cannot be applied is ignored.
    ModernCase{"avif_clap.avif", "pattern_clap_ccw.png", PictureType::Avif, 0, 0},
    ModernCase{"avif_clap_bad.avif", "pattern_ccw.png", PictureType::Avif, 0, 0}));
// clang-format on

struct ScaleCase {
    int minWidth, minHeight;
    int width, height; // what the 96 x 64 picture is decoded to
};

class WebpScaled : public ::testing::TestWithParam<ScaleCase> {};

// A still WebP is decoded straight to the smallest size of its shape that the caller can use,
// and that is the area average of the picture, as a DCT-scaled JPEG would be.
TEST_P(WebpScaled, DecodesAtTheSizeAskedFor) {
    const ScaleCase& c = GetParam();
    const DecodeResult result =
        decodePicture(pictures() / "webp_lossless.webp", DecodeOptions{c.minWidth, c.minHeight});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.bitmap.width, c.width);
    EXPECT_EQ(result.bitmap.height, c.height);
    EXPECT_EQ(result.fullWidth, 96);
    EXPECT_EQ(result.fullHeight, 64);
    Bitmap expected;
    ASSERT_TRUE(test::magickReference(pictures() / "pattern.png", expected));
    EXPECT_TRUE(
        test::bitmapsClose(result.bitmap, test::areaAverage(expected, c.width, c.height), 40, 3.0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, WebpScaled,
                         ::testing::Values(ScaleCase{0, 0, 96, 64}, ScaleCase{24, 16, 24, 16},
                                           ScaleCase{24, 1, 24, 16}, ScaleCase{1, 32, 48, 32},
                                           ScaleCase{95, 64, 96, 64}, ScaleCase{95, 63, 95, 64},
                                           ScaleCase{96, 64, 96, 64}, ScaleCase{200, 10, 96, 64}));

// The size asked for is upright: the 96 x 64 picture stands 64 x 96, so 16 x 24 is a quarter.
TEST(WebpScaledTurned, DecodesAtTheUprightSizeAskedFor) {
    const DecodeResult result =
        decodePicture(pictures() / "webp_exif6.webp", DecodeOptions{16, 24});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.bitmap.width, 16);
    EXPECT_EQ(result.bitmap.height, 24);
    EXPECT_EQ(result.fullWidth, 64);
    EXPECT_EQ(result.fullHeight, 96);
}

// A run of zoripost-jpeg under an address-space and CPU-time limit; the limits end a process
// that would grow or spin without bound, so no wall-clock wait is needed.
using test::ChildRun;

ChildRun runLimited(const std::vector<std::string>& args, const std::filesystem::path& log) {
    test::ChildLimits limits;
    limits.cpuSeconds = 20;
    limits.addressSpaceBytes = std::uint64_t{512} << 20;
    return test::runChild(args, log, limits);
}

struct FaultCase {
    const char* file;
    const char* message; // part of the decoder's reason
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.file;
}

class ModernFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ModernFault, FailsWithItsReason) {
    const FaultCase& c = GetParam();
    PictureInfo info;
    std::string probeError;
    const bool probed = probePicture(pictures() / c.file, info, probeError);
    const DecodeResult result = decodePicture(pictures() / c.file);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.bitmap.empty());
    const std::string& error = probed ? result.error : probeError;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;

    const test::TempDir out;
    const ChildRun run =
        runLimited({ZP_JPEG_CLI, "--out", out.path().string(), (pictures() / c.file).string()},
                   out / "log.txt");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    // A damaged file of a few KB costs no more than the program itself.
    if (!kUnderAsan) {
        EXPECT_LT(run.peakMiB, 48) << run.output;
    }
    EXPECT_NE(run.output.find(c.file), std::string::npos) << run.output;
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
        EXPECT_NE(entry.path().extension(), ".jpg") << "written: " << entry.path();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, ModernFault, ::testing::Values(
    FaultCase{"bad_truncated_heic_plain.heic", "HEIF error"},
    FaultCase{"bad_header_heic_plain.heic", ""},
    FaultCase{"bad_huge_heic.heic", "60000x60000"},
    FaultCase{"bad_overlay_heic.heic", "overlay"},
    FaultCase{"bad_truncated_webp_lossy.webp", "WebP error"},
    FaultCase{"bad_header_webp_lossy.webp", "WebP error"},
    FaultCase{"bad_truncated_webp_animated.webp", "WebP error"},
    FaultCase{"bad_header_webp_animated.webp", "WebP error"},
    FaultCase{"bad_huge_webp.webp", "too large"},
    FaultCase{"bad_truncated_avif_lossless.avif", "AVIF error"},
    FaultCase{"bad_header_avif_lossless.avif", ""},
    FaultCase{"bad_huge_avif.avif", "AVIF error"},
    FaultCase{"not_a_picture.heic", "not a"}));
// clang-format on

struct ExtensionCase {
    const char* name;
    PictureType type;
};

class ModernExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ModernExtension, NamesThePictureType) {
    EXPECT_EQ(pictureTypeFromPath(GetParam().name), GetParam().type) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, ModernExtension,
                         ::testing::Values(ExtensionCase{"IMG_0001.HEIC", PictureType::Heif},
                                           ExtensionCase{"a.heic", PictureType::Heif},
                                           ExtensionCase{"a.HeiF", PictureType::Heif},
                                           ExtensionCase{"a.webp", PictureType::Webp},
                                           ExtensionCase{"a.WEBP", PictureType::Webp},
                                           ExtensionCase{"a.avif", PictureType::Avif},
                                           ExtensionCase{"a.AVIF", PictureType::Avif},
                                           ExtensionCase{"a.heics", PictureType::Unknown},
                                           ExtensionCase{"a.hei", PictureType::Unknown},
                                           ExtensionCase{"heic", PictureType::Unknown},
                                           ExtensionCase{"a.avif.txt", PictureType::Unknown}));

// What the intake does with a dropped file: a picture when it can be read as one, otherwise an
// attachment as it is.
TEST(ModernIntake, HeicPhotoIsAPictureAndAFakeOneIsNot) {
    PictureSource source;
    std::string error;
    ASSERT_TRUE(PictureSource::fromFile(pictures() / "heic_rotated.heic", source, error)) << error;
    EXPECT_EQ(source.width(), 64);
    EXPECT_EQ(source.height(), 96);
    EXPECT_FALSE(PictureSource::fromFile(pictures() / "not_a_picture.heic", source, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace zp
