// File naming of the pipeline, the output copy, and the size presets.
#include "picture/outputfiles.h"
#include "settings/sizepresets.h"
#include "support/files.h"
#include "support/rows.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace zp {
namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;

struct NameCase {
    std::string source, copy;
};

class OutputCopyName : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputCopyName, ReplacesOrAppendsTheExtension) {
    EXPECT_EQ(outputCopyName(GetParam().source), GetParam().copy);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputCopyName,
    ::testing::Values(NameCase{"photo.gif", "zp_photo.jpg"},
                      NameCase{"2026-12-06_09-30-15", "zp_2026-12-06_09-30-15.jpg"},
                      NameCase{"Photo.JPG", "zp_Photo.jpg"},
                      NameCase{"archive.tar.png", "zp_archive.tar.jpg"},
                      NameCase{"noext", "zp_noext.jpg"}, NameCase{"dir.d/pic", "zp_pic.jpg"}));

TEST(OutputCopyPath, FinalSeparatorMakesNoDifference) {
    const fs::path plain = outputCopyPath("/tmp/out", "photo.gif");
    EXPECT_EQ(plain, fs::path("/tmp/out/zp_photo.jpg"));
    EXPECT_EQ(outputCopyPath("/tmp/out/", "photo.gif"), plain);
    EXPECT_EQ(outputCopyPath("/tmp/out\\", "photo.gif"), plain);
    EXPECT_EQ(outputCopyPath("/", "a.png"), fs::path("/zp_a.jpg"));
}

TEST(WorkingJpeg, BesideTheExecutable) {
    EXPECT_EQ(workingJpegPath("/opt/zp/zoripost"), fs::path("/opt/zp/zoripost.jpg"));
    EXPECT_EQ(workingJpegPath("/opt/zp/zoripost.exe"), fs::path("/opt/zp/zoripost.jpg"));
}

class OutputFolder : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir / "out"); }
    static std::string read(const fs::path& p) { return test::readText(p); }
    test::TempDir tmp;
    const fs::path dir = tmp.path();
};

TEST_F(OutputFolder, CopyReplacesAndMissingFolderIsReported) {
    const fs::path working = dir / "zoripost.jpg";
    std::string error;
    ASSERT_TRUE(writeFileReplacing(working, {1, 2, 3}, error)) << error;
    ASSERT_TRUE(writeFileReplacing(working, {'n', 'e', 'w'}, error)) << error;
    EXPECT_EQ(read(working), "new");
    EXPECT_FALSE(fs::exists(dir / "zoripost.jpg.part"));

    std::ofstream(dir / "out" / "zp_photo.jpg") << "old copy";
    EXPECT_EQ(copyToOutputFolder(working, (dir / "out").string() + "/", "photo.gif"),
              PictureError::None);
    EXPECT_EQ(read(dir / "out" / "zp_photo.jpg"), "new");

    EXPECT_EQ(copyToOutputFolder(working, (dir / "missing").string(), "photo.gif"),
              PictureError::OutputFolderMissing);
    EXPECT_EQ(copyToOutputFolder(working, "", "photo.gif"), PictureError::OutputFolderMissing);
    EXPECT_EQ(copyToOutputFolder(dir / "gone.jpg", (dir / "out").string(), "x.png"),
              PictureError::WriteFailed);
}

TEST_F(OutputFolder, WriteIntoMissingFolderFails) {
    std::string error;
    EXPECT_FALSE(writeFileReplacing(dir / "missing" / "a.jpg", {1}, error));
    EXPECT_FALSE(error.empty());
}

// "縦QVGA   240×320" and the others, in Shift-JIS.
TEST(SizePresets, EveryItemParsesAndIsFound) {
    const FrameSize expected[] = {{0, 0},     {240, 320}, {240, 400}, {480, 640}, {480, 690},
                                  {480, 800}, {480, 854}, {480, 864}, {540, 960}, {640, 960}};
    const auto& items = sizePresetItems();
    for (std::size_t i = 1; i < items.size(); ++i) {
        EXPECT_EQ(parseSizePreset(items[i]), expected[i]) << i;
        EXPECT_EQ(findSizePreset(expected[i].width, expected[i].height), int(i));
    }
    EXPECT_EQ(findSizePreset(132, 176), 0);
    EXPECT_EQ(findSizePreset(320, 240), 0);
}

struct ParseCase {
    std::string text;
    FrameSize size;
};

class ParseSizePreset : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSizePreset, NonNumbersGiveZero) {
    EXPECT_EQ(parseSizePreset(GetParam().text), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseSizePreset,
                         ::testing::Values(ParseCase{"x 12\x81\x7e"
                                                     "34",
                                                     {12, 34}},
                                           ParseCase{"x 12\x81\x7e"
                                                     "3a",
                                                     {12, 0}},
                                           ParseCase{"x a\x81\x7e"
                                                     "34",
                                                     {0, 34}},
                                           ParseCase{"a b 1\x81\x7e"
                                                     "2",
                                                     {1, 2}},
                                           ParseCase{"\x92\xbc\x90\xda\x8e\x77\x92\xe8", {0, 0}}));

} // namespace
} // namespace zp
