// Faulty and hostile files: each must fail cleanly (ok = false, an error text) and quickly.
// Also the run-length rules of BMP on hand-made streams, where the expected pixels are known.
#include "decoders/decoder.h"
#include "image_compare.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zp {
namespace {

const std::filesystem::path& pictures() {
    return test::picturesFrom("decoders_pictures.py");
}

constexpr auto kTimeLimit = std::chrono::seconds(5);

struct FaultCase {
    const char* file;
    const char* errorPart; // expected in the error text
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.file;
}

void expectCleanFailure(const std::filesystem::path& file, const char* errorPart) {
    const auto start = std::chrono::steady_clock::now();
    const DecodeResult result = decodePicture(file, DecodeOptions{100, 100});
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.bitmap.pixels.empty());
    EXPECT_NE(result.error.find(errorPart), std::string::npos) << result.error;
    EXPECT_LT(spent, kTimeLimit);
}

class GeneratedFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(GeneratedFault, FailsCleanly) {
    expectCleanFailure(pictures() / GetParam().file, GetParam().errorPart);
}

// The same bytes offered as data (a clipboard's, a drop's) meet the same refusals.
TEST_P(GeneratedFault, FailsCleanlyFromMemory) {
    const auto bytes = test::readBytes(pictures() / GetParam().file);
    const DecodeResult r = decodePictureMemory(bytes.data(), bytes.size(), PictureType::Unknown);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(GetParam().errorPart), std::string::npos) << r.error;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, GeneratedFault, ::testing::Values(
    FaultCase{"bad_jpeg_truncated.jpg", "truncated"},
    FaultCase{"bad_jpeg_progressive_truncated.jpg", "truncated"},
    FaultCase{"bad_jpeg_header_only.jpg", "truncated"},
    FaultCase{"bad_jpeg_5000_scans.jpg", "more than 100 scans"},
    FaultCase{"bad_png_truncated.png", "truncated"},
    FaultCase{"bad_png_huge_sides.png", "PNG error"},
    FaultCase{"bad_png_too_many_pixels.png", "too large"},
    FaultCase{"bad_png_short_idat.png", "PNG error"},
    FaultCase{"bad_png_crc.png", "CRC"},
    FaultCase{"bad_gif_truncated.gif", "GIF error"},
    FaultCase{"bad_gif_lzw.gif", "GIF error"},
    FaultCase{"bad_bmp_truncated.bmp", "truncated"},
    FaultCase{"bad_bmp_rle_run_past_row.bmp", "leaves the picture"},
    FaultCase{"bad_bmp_rle_delta_out.bmp", "leaves the picture"},
    FaultCase{"bad_bmp_rle_rows_past_top.bmp", "leaves the picture"},
    FaultCase{"bad_bmp_rle_literal_truncated.bmp", "truncated"},
    FaultCase{"bad_bmp_huge_width.bmp", "too large"},
    FaultCase{"bad_bmp_too_many_pixels.bmp", "too large"},
    FaultCase{"bad_bmp_offset_outside.bmp", "outside the file"},
    FaultCase{"bad_bmp_header_size.bmp", "header size"},
    FaultCase{"bad_not_a_picture.png", "not a BMP, JPEG, GIF or PNG"}));
// clang-format on

// Inputs found by fuzzing, kept in tests/data under the name of the fault they showed. They may
// decode (as corrupt-but-readable pictures do) but must end cleanly and in time.
class FuzzFinding : public ::testing::TestWithParam<const char*> {};

TEST_P(FuzzFinding, EndsCleanlyInTime) {
    const auto start = std::chrono::steady_clock::now();
    const DecodeResult r = decodePicture(std::filesystem::path(ZP_TEST_DATA) / GetParam());
    EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeLimit);
    if (r.ok) {
        EXPECT_EQ(r.bitmap.pixels.size(), r.bitmap.stride() * r.bitmap.height);
        EXPECT_EQ(r.bitmap.width, r.fullWidth);
        EXPECT_EQ(r.bitmap.height, r.fullHeight);
    } else {
        EXPECT_FALSE(r.error.empty());
    }
}

// A 63301 x 249 JPEG with EXIF orientation 5: turning it column by column was too slow.
INSTANTIATE_TEST_SUITE_P(Files, FuzzFinding, ::testing::Values("jpeg_63301x249_turned_slowly.jpg"));

TEST(DecodeMemory, RejectsEmptyAndUnknownInput) {
    const std::uint8_t text[] = "plain text";
    for (const PictureType type : {PictureType::Unknown, PictureType::Bmp, PictureType::Jpeg,
                                   PictureType::Gif, PictureType::Png}) {
        EXPECT_FALSE(decodePictureMemory(nullptr, 0, type).ok);
        const DecodeResult r = decodePictureMemory(text, sizeof text - 1, type);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
    }
}

TEST(DecodeFile, MissingAndEmptyFilesFail) {
    const test::TempDir dir;
    DecodeResult r = decodePicture(dir / "missing.png");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    test::writeBytes(dir / "empty.jpg", {});
    r = decodePicture(dir / "empty.jpg");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("empty"), std::string::npos);
}

// Every prefix of a valid file fails or decodes; none crashes or hangs.
TEST(DecodeMemory, EveryPrefixOfSmallFilesEndsCleanly) {
    for (const char* name : {"bmp_rle8.bmp", "bmp_rle4.bmp", "png_palette_trns.png",
                             "gif_interlaced.gif", "jpeg_progressive.jpg", "bmp_v5_alpha.bmp"}) {
        const auto bytes = test::readBytes(pictures() / name);
        ASSERT_FALSE(bytes.empty()) << name;
        const DecodeResult whole =
            decodePictureMemory(bytes.data(), bytes.size(), PictureType::Unknown);
        EXPECT_TRUE(whole.ok) << name << ": " << whole.error;
        for (std::size_t n = 1; n < bytes.size(); n += 1 + n / 64) {
            const DecodeResult r = decodePictureMemory(bytes.data(), n, PictureType::Unknown);
            EXPECT_TRUE(r.ok || !r.error.empty()) << name << " cut at " << n;
            if (r.ok) {
                EXPECT_EQ(r.bitmap.pixels.size(), r.bitmap.stride() * r.bitmap.height);
            }
        }
    }
}

// A JPEG file is decoded as it is read, not from a copy in memory: both ways give the same
// pixels or the same error, for the whole file and for every prefix of it, at full size and scaled.
TEST(DecodeFile, JpegFromTheFileAgreesWithMemoryOnEveryPrefix) {
    const test::TempDir dir;
    for (const char* name : {"jpeg_420.jpg", "jpeg_progressive.jpg", "jpeg_orient6.jpg"}) {
        const auto bytes = test::readBytes(pictures() / name);
        ASSERT_FALSE(bytes.empty()) << name;
        for (std::size_t n = bytes.size(); n > 0; n -= std::min(n, 1 + bytes.size() / 24)) {
            const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + long(n));
            test::writeBytes(dir / "cut.jpg", prefix);
            for (const DecodeOptions options : {DecodeOptions{}, DecodeOptions{40, 30}}) {
                const DecodeResult file = decodePicture(dir / "cut.jpg", options);
                const DecodeResult memory =
                    decodePictureMemory(prefix.data(), n, PictureType::Jpeg, options);
                ASSERT_EQ(file.ok, memory.ok) << name << " cut at " << n << ": " << file.error;
                EXPECT_EQ(file.error, memory.error) << name << " cut at " << n;
                EXPECT_TRUE(file.bitmap.pixels == memory.bitmap.pixels) << name << " cut at " << n;
                EXPECT_EQ(file.bitmap.width, memory.bitmap.width);
            }
        }
    }
}

// ---------------------------------------------------------------- BMP run-length rules

// A 4 x 3 RLE file with a four-colour palette: 0 black, 1 red, 2 green, 3 blue.
std::vector<std::uint8_t> rleBmp(bool four, const std::vector<std::uint8_t>& stream,
                                 int height = 3) {
    std::vector<std::uint8_t> f = {'B', 'M'};
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f.push_back(std::uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](unsigned v) { f.push_back(std::uint8_t(v)), f.push_back(std::uint8_t(v >> 8)); };
    const std::uint32_t offset = 14 + 40 + 16;
    u32(offset + static_cast<std::uint32_t>(stream.size())), u32(0), u32(offset);
    u32(40), u32(4), u32(static_cast<std::uint32_t>(height)), u16(1), u16(four ? 4 : 8);
    u32(four ? 2 : 1), u32(static_cast<std::uint32_t>(stream.size())), u32(0), u32(0), u32(4),
        u32(0);
    for (const std::uint32_t rgb : {0x000000u, 0xff0000u, 0x00ff00u, 0x0000ffu})
        u32(rgb); // 0x00RRGGBB little-endian: stored blue, green, red, 0
    f.insert(f.end(), stream.begin(), stream.end());
    return f;
}

struct RleCase {
    const char* name;
    bool four;
    std::vector<std::uint8_t> stream;
    const char* rows; // top row first, one letter per pixel: k r g b
};

std::ostream& operator<<(std::ostream& out, const RleCase& c) {
    return out << c.name;
}

class BmpRunLength : public ::testing::TestWithParam<RleCase> {};

TEST_P(BmpRunLength, PlacesPixels) {
    const RleCase& c = GetParam();
    const auto file = rleBmp(c.four, c.stream);
    const DecodeResult r = decodePictureMemory(file.data(), file.size(), PictureType::Bmp);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.bitmap.width, 4);
    ASSERT_EQ(r.bitmap.height, 3);
    std::string got;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t* p = r.bitmap.row(y) + x * 3;
            got += p[0] ? 'r' : p[1] ? 'g' : p[2] ? 'b' : 'k';
        }
        got += y < 2 ? "/" : "";
    }
    EXPECT_EQ(got, c.rows);
}

// Rows are stored bottom-up: the first row of the stream is the last one shown.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Streams, BmpRunLength, ::testing::Values(
    RleCase{"rle8_runs_and_eol", false, {4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 4, 3, 0, 1}, "bbbb/ggbb/rrrr"},
    RleCase{"rle8_literal_padded", false, {0, 3, 1, 2, 3, 0, 1, 1, 0, 0, 0, 4, 3, 2, 1, 0, 0, 1}, "kkkk/bgrk/rgbr"},
    RleCase{"rle8_delta_skips_to_palette_0", false, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}, "kkkk/kkkb/rkkk"},
    RleCase{"rle8_end_of_bitmap_early", false, {4, 2, 0, 1}, "kkkk/kkkk/gggg"},
    RleCase{"rle4_run_into_row_padding_is_cut", true, {0, 0, 0, 0, 6, 0x11, 0, 1}, "rrrr/kkkk/kkkk"},
    RleCase{"rle4_alternating_run", true, {4, 0x12, 0, 0, 3, 0x33, 0, 0, 4, 0x10, 0, 1}, "rkrk/bbbk/rgrg"},
    RleCase{"rle4_literal_odd_count", true, {0, 3, 0x12, 0x30, 0, 0, 0, 4, 0x32, 0x10, 0, 0, 2, 0x11, 0, 1}, "rrkk/bgrk/rgbk"},
    RleCase{"rle4_missing_end_of_bitmap", true, {4, 0x11, 0, 0, 4, 0x22, 0, 0, 4, 0x33}, "bbbb/gggg/rrrr"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace zp
