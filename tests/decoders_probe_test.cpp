// Telling pictures apart: by file name, and by reading just the header.
#include "decoders/decoder.h"
#include "image_compare.h"
#include "support/rows.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zp {
namespace {

using zp::test::PrintTo;

struct NameCase {
    const char* path;
    PictureType type;
};

class TypeFromPath : public ::testing::TestWithParam<NameCase> {};

TEST_P(TypeFromPath, UsesTheExtensionAlone) {
    EXPECT_EQ(pictureTypeFromPath(GetParam().path), GetParam().type) << GetParam().path;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, TypeFromPath, ::testing::Values(
    NameCase{"a.bmp", PictureType::Bmp}, NameCase{"A.BMP", PictureType::Bmp},
    NameCase{"photo.jpg", PictureType::Jpeg}, NameCase{"photo.JPEG", PictureType::Jpeg},
    NameCase{"photo.JpEg", PictureType::Jpeg}, NameCase{"anim.Gif", PictureType::Gif},
    NameCase{"/tmp/dir.png/x.PNG", PictureType::Png}, NameCase{"x.png.txt", PictureType::Unknown},
    NameCase{"x.jpe", PictureType::Unknown}, NameCase{"x.ico", PictureType::Unknown},
    NameCase{"x.emf", PictureType::Unknown}, NameCase{"x.wmf", PictureType::Unknown},
    NameCase{"png", PictureType::Unknown}, NameCase{".png", PictureType::Unknown},
    NameCase{"x.", PictureType::Unknown}, NameCase{"", PictureType::Unknown},
    NameCase{"\xe7\x94\xbb\xe5\x83\x8f.jpg", PictureType::Jpeg}, NameCase{"x.j\xc3\xa9g", PictureType::Unknown}));
// clang-format on

struct ProbeCase {
    const char* file;
    PictureType type;
    int width, height;
};

std::ostream& operator<<(std::ostream& out, const ProbeCase& c) {
    return out << c.file;
}

class Probe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, ReportsTypeAndUprightSize) {
    const ProbeCase& c = GetParam();
    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(test::picturesFrom("decoders_pictures.py") / c.file, info, error))
        << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, Probe, ::testing::Values(
    ProbeCase{"bmp_24bit.bmp", PictureType::Bmp, 37, 29},
    ProbeCase{"bmp_24bit_topdown.bmp", PictureType::Bmp, 37, 29},
    ProbeCase{"bmp_os2_8bit.bmp", PictureType::Bmp, 37, 29},
    ProbeCase{"bmp_rle4.bmp", PictureType::Bmp, 37, 29},
    ProbeCase{"png_interlaced.png", PictureType::Png, 37, 29},
    ProbeCase{"png_text_bomb.png", PictureType::Png, 37, 29},
    ProbeCase{"gif_offset_frame.gif", PictureType::Gif, 50, 40},
    ProbeCase{"gif_animated.gif", PictureType::Gif, 37, 29},
    ProbeCase{"jpeg_smooth.jpg", PictureType::Jpeg, 640, 480},
    ProbeCase{"jpeg_smooth_orient6.jpg", PictureType::Jpeg, 480, 640},
    ProbeCase{"jpeg_orient5.jpg", PictureType::Jpeg, 29, 37},
    ProbeCase{"jpeg_orient4.jpg", PictureType::Jpeg, 37, 29},
    ProbeCase{"jpeg_cmyk_magick.jpg", PictureType::Jpeg, 37, 29},
    // Only the header is read: a file cut after it still probes.
    ProbeCase{"bad_jpeg_truncated.jpg", PictureType::Jpeg, 640, 480},
    ProbeCase{"bad_bmp_rle_run_past_row.bmp", PictureType::Bmp, 4, 2}));
// clang-format on

TEST(Probe, ContentDecidesOverTheName) {
    const test::TempDir dir;
    const auto& pics = test::picturesFrom("decoders_pictures.py");
    std::filesystem::copy_file(pics / "png_rgba.png", dir / "renamed.bmp");
    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(dir / "renamed.bmp", info, error)) << error;
    EXPECT_EQ(info.type, PictureType::Png);
    const DecodeResult r = decodePicture(dir / "renamed.bmp");
    EXPECT_TRUE(r.ok) << r.error;
}

#ifdef _WIN32
// A picture in a folder whose name ends in a space or a dot is read under that name: the
// system's plain path form would drop the space or the dot and find no such folder. The
// fixture makes the folders in the `\\?\` form; the decoders are handed the ordinary path.
TEST(Probe, FolderNameEndingInASpaceOrADot) {
    const test::TempDir dir;
    const auto& pics = test::picturesFrom("decoders_pictures.py");
    for (const wchar_t* folder : {L"pics ", L"pics."}) {
        const std::filesystem::path inside = dir.path() / folder;
        const std::wstring real =
            L"\\\\?\\" + std::filesystem::path(inside).make_preferred().native();
        ASSERT_TRUE(CreateDirectoryW(real.c_str(), nullptr));
        const std::wstring from =
            std::filesystem::path(pics / "png_rgba.png").make_preferred().native();
        ASSERT_TRUE(CopyFileW(from.c_str(), (real + L"\\a.png").c_str(), TRUE));
        PictureInfo info;
        std::string error;
        EXPECT_TRUE(probePicture(inside / "a.png", info, error)) << error;
        const DecodeResult r = decodePicture(inside / "a.png");
        EXPECT_TRUE(r.ok) << r.error;
        DeleteFileW((real + L"\\a.png").c_str());
        RemoveDirectoryW(real.c_str());
    }
}
#endif

struct ProbeFault {
    const char* file;
    const char* errorPart;
};

class ProbeFails : public ::testing::TestWithParam<ProbeFault> {};

TEST_P(ProbeFails, WithAnError) {
    PictureInfo info;
    info.width = 7;
    std::string error;
    EXPECT_FALSE(
        probePicture(test::picturesFrom("decoders_pictures.py") / GetParam().file, info, error));
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
    EXPECT_EQ(info.type, PictureType::Unknown);
    EXPECT_EQ(info.width, 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, ProbeFails, ::testing::Values(
    ProbeFault{"missing.png", "cannot read"},
    ProbeFault{"bad_not_a_picture.png", "not a BMP"},
    ProbeFault{"bad_png_huge_sides.png", "PNG error"},
    ProbeFault{"bad_bmp_huge_width.bmp", "too large"},
    ProbeFault{"bad_png_too_many_pixels.png", "too large"},
    ProbeFault{"bad_bmp_header_size.bmp", "header size"}));
// clang-format on

} // namespace
} // namespace zp
