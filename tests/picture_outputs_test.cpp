// The files the pipeline writes, against traps in their folders: a link planted under the
// output's name or any other is never written through, and no temporary file is left behind.
#include "picture/outputfiles.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zp {
namespace {

namespace fs = std::filesystem;

using test::readText;

class OutputTraps : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir / "out");
        std::ofstream(dir / "victim") << "victim";
        std::ofstream(dir / "working.jpg") << "new picture";
    }

    // Names in the output folder other than the expected output.
    std::vector<std::string> strays(const std::string& output) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (e.path().filename() != output)
                out.push_back(e.path().filename().string());
        return out;
    }

    test::TempDir tmp;
    const fs::path dir = tmp.path();
};

TEST_F(OutputTraps, CopyReplacesALinkAtTheOutputName) {
    fs::create_symlink(dir / "victim", dir / "out" / "zp_photo.jpg");
    EXPECT_EQ(copyToOutputFolder(dir / "working.jpg", (dir / "out").string(), "photo.gif"),
              PictureError::None);
    EXPECT_EQ(readText(dir / "victim"), "victim");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "out" / "zp_photo.jpg")));
    EXPECT_EQ(readText(dir / "out" / "zp_photo.jpg"), "new picture");
    EXPECT_TRUE(strays("zp_photo.jpg").empty());
}

TEST_F(OutputTraps, WriteIgnoresALinkAtTheOldTemporaryName) {
    fs::create_symlink(dir / "victim", dir / "out" / "zp_a.jpg.part");
    std::string error;
    ASSERT_TRUE(writeFileReplacing(dir / "out" / "zp_a.jpg", {'j', 'p', 'g'}, error)) << error;
    EXPECT_EQ(readText(dir / "victim"), "victim");
    EXPECT_EQ(readText(dir / "out" / "zp_a.jpg"), "jpg");
    EXPECT_EQ(strays("zp_a.jpg"), std::vector<std::string>{"zp_a.jpg.part"});
}

TEST_F(OutputTraps, FailedWriteNamesTheReasonAndLeavesNothing) {
    fs::create_directory(dir / "out" / "zp_a.jpg");
    std::string error;
    EXPECT_FALSE(writeFileReplacing(dir / "out" / "zp_a.jpg", {'j'}, error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_TRUE(strays("zp_a.jpg").empty());
    EXPECT_FALSE(writeFileReplacing(dir / "missing" / "zp_a.jpg", {'j'}, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

} // namespace
} // namespace zp
