// HEICs as phones write them: grids of HEVC tiles cut to the picture's size and turned, built
// from heif-enc's tiles (tests/scripts/heif_grid_pictures.py); 8-bit pictures decoded from their
// Y'CbCr planes against libheif's own RGB, in every matrix and range; the held-frame bound on a
// 48-megapixel grid and on one that claims 100.
#include "decoders/codeclibs.h"
#include "decoders/decoder.h"
#include "decoders/formats.h"
#include "decoders/yccrows.h"
#include "image_compare.h"
#include "support/command.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>

namespace zp {
namespace {

using zp::test::PrintTo;

const std::filesystem::path& pictures() {
    return test::picturesFrom("heif_grid_pictures.py");
}

// libheif's own conversion to interleaved RGB, which the planar decoding must agree with.
::testing::AssertionResult libheifRgb(const std::filesystem::path& file, Bitmap& out) {
    std::string error;
    const detail::HeifLibrary* heif = detail::heifLibrary(error);
    if (heif == nullptr)
        return ::testing::AssertionFailure() << error;
    const std::vector<std::uint8_t> data = test::readBytes(file);
    std::unique_ptr<heif_context, decltype(&::heif_context_free)> context(
        heif->heif_context_alloc(), heif->heif_context_free);
    if (heif->heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(),
                                                         nullptr)
            .code != heif_error_Ok)
        return ::testing::AssertionFailure() << "libheif cannot read " << file;
    heif_image_handle* handle = nullptr;
    heif->heif_context_get_primary_image_handle(context.get(), &handle);
    heif_image* image = nullptr;
    const heif_error status = heif->heif_decode_image(handle, &image, heif_colorspace_RGB,
                                                      heif_chroma_interleaved_RGB, nullptr);
    heif->heif_image_handle_release(handle);
    if (status.code != heif_error_Ok)
        return ::testing::AssertionFailure() << "libheif cannot decode " << file;
    out.resize(heif->heif_image_get_width(image, heif_channel_interleaved),
               heif->heif_image_get_height(image, heif_channel_interleaved));
    int stride = 0;
    const std::uint8_t* pixels =
        heif->heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.row(y), pixels + std::size_t(y) * std::size_t(stride), out.stride());
    heif->heif_image_release(image);
    return ::testing::AssertionSuccess();
}

struct GridCase {
    const char* file;
    const char* reference; // the picture the tiles were cut from, cut and turned as the file says
};

std::ostream& operator<<(std::ostream& out, const GridCase& c) {
    return out << c.file;
}

class HeifGrid : public ::testing::TestWithParam<GridCase> {};

// Six tiles of 64 x 64 in three columns and two rows, the right and bottom ones cut (170 x 100
// of 192 x 128); HEVC at quality 95 with its halved colour resolution at the blocks' edges.
TEST_P(HeifGrid, ShowsThePictureTheTilesWereCutFrom) {
    const GridCase& c = GetParam();
    const DecodeResult result = decodePicture(pictures() / c.file);
    ASSERT_TRUE(result.ok) << result.error;
    Bitmap expected;
    ASSERT_TRUE(test::magickReference(pictures() / c.reference, expected));
    EXPECT_TRUE(test::bitmapsClose(result.bitmap, expected, 64, 2.0));
    EXPECT_EQ(result.fullWidth, expected.width);
    EXPECT_EQ(result.fullHeight, expected.height);
    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(pictures() / c.file, info, error)) << error;
    EXPECT_EQ(info.type, PictureType::Heif);
    EXPECT_EQ(info.width, expected.width);
    EXPECT_EQ(info.height, expected.height);
}

INSTANTIATE_TEST_SUITE_P(Files, HeifGrid,
                         ::testing::Values(GridCase{"grid.heic", "grid_cut.png"},
                                           GridCase{"grid_ccw.heic", "grid_cut_ccw.png"},
                                           GridCase{"grid_180.heic", "grid_cut_180.png"},
                                           GridCase{"grid_full.heic", "grid.png"}));

// A run of zoripost-jpeg under an address-space and CPU-time limit.
using test::ChildRun;

ChildRun runLimited(const std::vector<std::string>& args, const std::filesystem::path& log) {
    test::ChildLimits limits;
    limits.cpuSeconds = 30;
    limits.addressSpaceBytes = std::uint64_t{768} << 20;
    return test::runChild(args, log, limits);
}

struct JpegCase {
    const char* file;
    bool portrait;
    int redCornerX, redCornerY; // where the source's top left corner (red) ends up: 0 or 1
};

std::ostream& operator<<(std::ostream& out, const JpegCase& c) {
    return out << c.file;
}

class HeifGridJpeg : public ::testing::TestWithParam<JpegCase> {};

// The command line makes an upright JPEG under its limit; the red corner says which way it
// stands.
TEST_P(HeifGridJpeg, ComesOutUprightUnderTheLimit) {
    const JpegCase& c = GetParam();
    const test::TempDir out;
    const ChildRun run =
        runLimited({ZP_JPEG_CLI, "--size", "240x320", "--turn", "none", "--limit", "8", "--out",
                    out.path().string(), (pictures() / c.file).string()},
                   out / "log.txt");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::filesystem::path jpeg =
        out / ("zp_" + std::filesystem::path(c.file).stem().string() + ".jpg");
    ASSERT_TRUE(std::filesystem::exists(jpeg)) << run.output;
    EXPECT_LE(std::filesystem::file_size(jpeg), 8u * 1024u);
    Bitmap got;
    ASSERT_TRUE(test::magickReference(jpeg, got));
    EXPECT_EQ(got.height > got.width, c.portrait) << got.width << " x " << got.height;
    const auto at = [&](int cx, int cy) {
        return got.row(cy ? got.height - 3 : 2) + (cx ? got.width - 3 : 2) * 3;
    };
    const std::uint8_t* red = at(c.redCornerX, c.redCornerY);
    EXPECT_GT(red[0], 160);
    EXPECT_LT(red[1], 90);
    const std::uint8_t* other = at(1 - c.redCornerX, 1 - c.redCornerY);
    EXPECT_LT(other[0], 160);
}

INSTANTIATE_TEST_SUITE_P(Files, HeifGridJpeg,
                         ::testing::Values(JpegCase{"grid.heic", false, 0, 0},
                                           JpegCase{"grid_ccw.heic", true, 0, 1},
                                           JpegCase{"grid_180.heic", false, 1, 1}));

struct PlanarCase {
    const char* file;
    int width, height;
    int maxDiff;
};

std::ostream& operator<<(std::ostream& out, const PlanarCase& c) {
    return out << c.file;
}

class HeifPlanar : public ::testing::TestWithParam<PlanarCase> {};

// Our conversion of the planes (each chroma sample over the pixels it covers) against the
// library's: the same matrix and range, and the same turn, to within rounding.
TEST_P(HeifPlanar, MatchesTheLibrarysOwnRgb) {
    const PlanarCase& c = GetParam();
    const DecodeResult result = decodePicture(pictures() / c.file);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.bitmap.width, c.width);
    EXPECT_EQ(result.bitmap.height, c.height);
    Bitmap expected;
    ASSERT_TRUE(libheifRgb(pictures() / c.file, expected));
    EXPECT_TRUE(test::bitmapsClose(result.bitmap, expected, c.maxDiff, 0.5));
}

// clang-format off
// Full range BT.601 agrees to 3 levels, limited range and BT.709 to 13 at the edge of the saturated
// disc (0.4 on average); 4:2:2 to 17 there. Grids are decoded a row of tiles at a time from the
// tiles' planes (up to 19 apart at a few pixels, 0.02 on average); pictures both cut to an odd size
// and turned are the library's own RGB.
INSTANTIATE_TEST_SUITE_P(Files, HeifPlanar, ::testing::Values(
    PlanarCase{"ycc_plain.heic", 96, 64, 3},  // no colour description
    PlanarCase{"ycc_601_full.heic", 96, 64, 3},
    PlanarCase{"ycc_601_limited.heic", 96, 64, 14},
    PlanarCase{"ycc_709_full.heic", 96, 64, 14},
    PlanarCase{"ycc_709_limited.heic", 96, 64, 14},
    PlanarCase{"ycc_470bg_full.heic", 96, 64, 3},
    PlanarCase{"ycc_470bg_limited.heic", 96, 64, 14},
    PlanarCase{"ycc_601_full_odd.heic", 95, 63, 3},
    PlanarCase{"ycc_709_limited_odd.heic", 95, 63, 14},
    PlanarCase{"ycc_rot1.heic", 64, 96, 14},
    PlanarCase{"ycc_rot2.heic", 96, 64, 14},
    PlanarCase{"ycc_rot3.heic", 64, 96, 14},
    PlanarCase{"ycc_mirror0.heic", 96, 64, 14},
    PlanarCase{"ycc_mirror1.heic", 96, 64, 14},
    PlanarCase{"ycc_rot1_mirror0.heic", 64, 96, 14},
    PlanarCase{"ycc_rot1_odd.heic", 63, 95, 0},
    PlanarCase{"ycc_rot2_odd.heic", 95, 63, 0},
    PlanarCase{"ycc_rot3_odd.heic", 63, 95, 0},
    PlanarCase{"ycc_422.heic", 96, 64, 18},
    PlanarCase{"ycc_444.heic", 96, 64, 1},
    PlanarCase{"ycc_gray.heic", 96, 64, 0},
    PlanarCase{"ycc_grid_odd.heic", 95, 63, 3},
    PlanarCase{"grid.heic", 170, 100, 20},
    PlanarCase{"grid_ccw.heic", 100, 170, 20}));
// clang-format on

// The matrix and range do change the colours (the test above would catch their being ignored
// only if the library followed them): the same coded picture labelled BT.709 limited range
// comes out far from the one labelled BT.601 full range.
TEST(HeifPlanarColours, MatrixAndRangeAreFollowed) {
    const DecodeResult full601 = decodePicture(pictures() / "ycc_601_full.heic");
    const DecodeResult limited709 = decodePicture(pictures() / "ycc_709_limited.heic");
    ASSERT_TRUE(full601.ok && limited709.ok);
    EXPECT_GT(test::pixelDifference(full601.bitmap, limited709.bitmap).mean, 4.0);
}

// A sink that keeps nothing: how many rows came, and of what size.
class CountingSink : public RowSink {
public:
    bool begin(int width, int height, int, std::string&) noexcept override {
        m_width = width;
        m_height = height;
        return true;
    }
    void row(int, const std::uint8_t*) noexcept override { ++m_rows; }
    int m_width = 0, m_height = 0, m_rows = 0;
};

// A phone's 48-megapixel photo as phones store it, 16 x 12 tiles of 512 x 512: its planes fit
// the bound where its RGB would not, and it is decoded row by row.
TEST(HeifBound, FortyEightMegapixelGridIsDecoded) {
    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(pictures() / "grid_48mp.heic", info, error)) << error;
    EXPECT_EQ(info.width, 8064);
    EXPECT_EQ(info.height, 6048);
    CountingSink sink;
    const DecodeResult result = decodePictureRows(pictures() / "grid_48mp.heic", {}, sink);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(sink.m_width, 8064);
    EXPECT_EQ(sink.m_rows, 6048);

    const test::TempDir out;
    const ChildRun run = runLimited(
        {ZP_JPEG_CLI, "--out", out.path().string(), (pictures() / "grid_48mp.heic").string()},
        out / "log.txt");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(std::filesystem::exists(out / "zp_grid_48mp.jpg")) << run.output;
}

// One that claims 100 megapixels is refused from its header: no row is asked for.
TEST(HeifBound, HundredMegapixelGridIsRefusedBeforeDecoding) {
    PictureInfo info;
    std::string error;
    EXPECT_FALSE(probePicture(pictures() / "grid_100mp.heic", info, error));
    EXPECT_NE(error.find("12000 x 8400"), std::string::npos) << error;
    CountingSink sink;
    const DecodeResult result = decodePictureRows(pictures() / "grid_100mp.heic", {}, sink);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("memory allowed"), std::string::npos) << result.error;
    EXPECT_EQ(sink.m_width, 0);
}

struct FaultCase {
    const char* file;
    const char* message; // part of the reason given
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.file;
}

class HeifGridFault : public ::testing::TestWithParam<FaultCase> {};

// A damaged grid ends in a clear failure, in the decoder and in the command line (no JPEG).
TEST_P(HeifGridFault, FailsWithItsReason) {
    const FaultCase& c = GetParam();
    CountingSink sink;
    const DecodeResult result = decodePictureRows(pictures() / c.file, {}, sink);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    const test::TempDir out;
    const ChildRun run =
        runLimited({ZP_JPEG_CLI, "--out", out.path().string(), (pictures() / c.file).string()},
                   out / "log.txt");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find(c.file), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Files, HeifGridFault,
                         ::testing::Values(FaultCase{"bad_grid_count.heic", "do not make up"},
                                           FaultCase{"bad_grid_truncated.heic", "HEIF error"},
                                           FaultCase{"bad_grid_huge.heic", "60000x60000"}));

struct BoundCase {
    int width, height, chromaFormat;
    bool fits;
};

class HeifPlaneBound : public ::testing::TestWithParam<BoundCase> {};

// Phones' largest photos in 4:2:0 fit; the same in 4:4:4, or 100 megapixels, do not.
TEST_P(HeifPlaneBound, HoldsThePlanesBytesToTheBound) {
    const BoundCase& c = GetParam();
    std::string error;
    EXPECT_EQ(detail::checkHeldBytes(c.width, c.height,
                                     detail::yccPlaneBytes(c.width, c.height, c.chromaFormat),
                                     error),
              c.fits)
        << error;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, HeifPlaneBound,
    ::testing::Values(BoundCase{8064, 6048, 1, true}, BoundCase{8160, 6120, 1, true},
                      BoundCase{8160, 6120, 2, true}, BoundCase{8064, 6048, 3, false},
                      BoundCase{10922, 8192, 1, true}, // 8 KB under
                      BoundCase{10923, 8192, 1, false}, BoundCase{12000, 8400, 1, false},
                      BoundCase{12000, 8400, 0, true}));

} // namespace
} // namespace zp
