// zoripost-jpeg end to end: generated pictures in, JPEGs checked by ImageMagick out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ProcessRun {
    int status = -1;
    std::string output; // stdout and stderr
};

ProcessRun run(const std::string& command) {
    ProcessRun r;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return r;
    }
    char buf[512];
    while (fgets(buf, sizeof buf, pipe)) {
        r.output += buf;
    }
    const int st = pclose(pipe);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// Runs the program directly (no shell in between) and returns its peak resident size in
// KiB, or -1 when it did not exit with status 0.
long peakKiB(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    return usage.ru_maxrss;
}

class FrontEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("zp_cli_test_" + std::to_string(getpid()));
        fs::create_directories(dir / "out");
        const std::string make =
            std::string(ZP_SYSTEM_PYTHON) + " " + ZP_TEST_SCRIPTS + "/picture_make_photo.py ";
        // A 24-megapixel photo, the same picture stored on its side with EXIF orientation 6,
        // and a smaller PNG.
        ASSERT_EQ(
            run(make + "6000 4000 " + quoted(dir / "photo.jpg") + " " + quoted(dir / "turned.jpg"))
                .status,
            0);
        ASSERT_EQ(run(make + "1200 900 " + quoted(dir / "shot.png")).status, 0);
        std::ofstream(dir / "notes.txt") << "no picture";
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    static ProcessRun jpeg(const std::string& args) {
        return run(std::string(ZP_JPEG_CLI) + " --out " + quoted(dir / "out") + " " + args);
    }
    // "width height quality" of a JPEG, read by ImageMagick.
    static std::string identify(const fs::path& p) {
        return run("identify -format '%m %w %h' " + quoted(p)).output;
    }
    // Mean absolute difference of two pictures as a fraction of the range (ImageMagick).
    static double meanDifference(const fs::path& a, const fs::path& b) {
        const ProcessRun r = run("compare -metric MAE " + quoted(a) + " " + quoted(b) + " null:");
        const std::size_t open = r.output.find('(');
        return open == std::string::npos ? 1.0 : std::atof(r.output.c_str() + open + 1);
    }

    static inline fs::path dir;
};

TEST_F(FrontEnd, PhotoBecomesAJpegOfTheFrameUnderTheLimit) {
    const ProcessRun r = jpeg("--preset 6 --limit 20 --turn none " + quoted(dir / "photo.jpg"));
    ASSERT_EQ(r.status, 0) << r.output;
    const fs::path out = dir / "out" / "zp_photo.jpg";
    EXPECT_EQ(identify(out), "JPEG 480 320");
    EXPECT_LT(fs::file_size(out), 20u * 1024);
    // The status lines, in UTF-8; the last one names the quality that passed.
    EXPECT_NE(r.output.find("ファイルサイズ"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" の画像を作成しました"), std::string::npos) << r.output;

    // Within tolerance of ImageMagick's own full-resolution reduction of the same photo.
    const fs::path reference = dir / "reference.png";
    ASSERT_EQ(run("convert " + quoted(dir / "photo.jpg") + " -filter box -resize 480x320! " +
                  quoted(reference))
                  .status,
              0);
    EXPECT_LT(meanDifference(out, reference), 0.04);
}

TEST_F(FrontEnd, PeakMemoryOnTheBigPhotoStaysSmall) {
    // The photo is decoded at 1/4 for 480x854 (1500x1000 pixels), never at full size
    // (72 MB of pixels); the file itself (about 10 MB) is read whole.
    const long kib = peakKiB({ZP_JPEG_CLI, "-q", "--preset", "6", "--limit", "20", "--turn", "none",
                              "--out", (dir / "out").string(), (dir / "photo.jpg").string()});
    ASSERT_GT(kib, 0);
    EXPECT_LT(kib, 32 * 1024);
}

TEST_F(FrontEnd, ExifTurnedPhotoComesOutUpright) {
    ASSERT_EQ(jpeg("--preset 1 --turn none " + quoted(dir / "photo.jpg")).status, 0);
    const ProcessRun r = jpeg("--preset 1 --turn none " + quoted(dir / "turned.jpg"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(identify(dir / "out" / "zp_turned.jpg"), "JPEG 240 160");
    EXPECT_LT(meanDifference(dir / "out" / "zp_turned.jpg", dir / "out" / "zp_photo.jpg"), 0.02);
}

struct OptionCase {
    std::string name;
    std::string args;
    std::string size; // "" when the file must not be written
    int status;
};

class FrontEndOptions : public FrontEnd, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(FrontEndOptions, SizeAndStatus) {
    const OptionCase& c = GetParam();
    const fs::path out = dir / "out" / "zp_shot.jpg";
    fs::remove(out);
    const ProcessRun r = jpeg(c.args + " " + quoted(dir / "shot.png"));
    EXPECT_EQ(r.status, c.status) << r.output;
    if (c.size.empty()) {
        EXPECT_FALSE(fs::exists(out));
    } else {
        EXPECT_EQ(identify(out), "JPEG " + c.size);
    }
}

// shot.png is 1200 x 900.
INSTANTIATE_TEST_SUITE_P(
    Cases, FrontEndOptions,
    ::testing::Values(
        OptionCase{"DefaultsTurnLeftInto132x176", "", "132 176", 0},
        OptionCase{"TurnNone", "--turn none", "132 99", 0},
        OptionCase{"SizeAndCut", "--size 200x100 --cut --turn=none", "200 100", 0},
        OptionCase{"NoEnlargeAlreadyFits", "--size 1920x1080 --no-enlarge", "1200 900", 0},
        OptionCase{"EnlargeFillsTheFrame", "--size 1920x1080 --turn none", "1440 1080", 0},
        OptionCase{"SizeClampedLikeTheWindow", "--size 10x10 --turn none", "24 18", 0},
        OptionCase{"FineSearchUnderTheLimit", "--size 480x320 --turn none --limit 5 --fine",
                   "426 320", 0},
        OptionCase{"MissedLimitIsNotWritten", "--size 1920x1080 --limit 5 --quality 3", "", 1},
        OptionCase{"BadTurn", "--turn up", "", 2},
        OptionCase{"UnknownOption", "--frobnicate", "", 2}),
    [](const auto& info) { return info.param.name; });

TEST_F(FrontEnd, FailuresGiveNonZeroStatusAndTheOthersStillRun) {
    fs::remove(dir / "out" / "zp_shot.jpg");
    const ProcessRun r = jpeg(quoted(dir / "notes.txt") + " " + quoted(dir / "shot.png"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(fs::exists(dir / "out" / "zp_shot.jpg"));

    const ProcessRun missing = run(std::string(ZP_JPEG_CLI) + " --out " + quoted(dir / "nowhere") +
                                   " " + quoted(dir / "shot.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("指定された生成画像保存フォルダは存在しません。"),
              std::string::npos)
        << missing.output;

    EXPECT_EQ(run(std::string(ZP_JPEG_CLI)).status, 2);
    EXPECT_EQ(run(std::string(ZP_JPEG_CLI) + " --help").status, 0);
}

} // namespace
