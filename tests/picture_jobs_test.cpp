// zoripost-jpeg converting on several threads: the lines it prints, together and in what order,
// and its exit status must be those of a run that converts one file after another.
#include "image_compare.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace zp {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string output; // stdout and stderr as a terminal shows them
};

CliRun runCli(const test::TempDir& dir, const std::string& outDir, const std::string& jobs,
              const std::vector<std::string>& files) {
    std::string command = "cd " + test::shellQuote(dir.path().string()) + " && " +
                          test::shellQuote(ZP_JPEG_CLI) + " --out " + test::shellQuote(outDir);
    if (!jobs.empty())
        command += " --jobs " + jobs;
    for (const std::string& f : files)
        command += " " + test::shellQuote(f);
    command += " 2>&1; echo \"exit $?\"";
    CliRun run;
    EXPECT_TRUE(test::runCommand(command, &run.output));
    const std::size_t at = run.output.rfind("exit ");
    if (at != std::string::npos) {
        run.exitCode = std::stoi(run.output.substr(at + 5));
        run.output.erase(at);
    }
    return run;
}

// A batch where the first picture takes far longer than the rest, so that on several threads
// the later files finish first; with failures and two pairs of files that share
// an output name (the second is written only when the first was not).
class Jobs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        const auto& d = *s_dir;
        const std::string convert = test::kImageMagickConvert;
        fs::create_directories(d / "a");
        fs::create_directories(d / "b");
        fs::create_directories(d / "c");
        ASSERT_TRUE(test::runCommand(convert + " -size 3000x2000 plasma:fractal -seed 7 " +
                                     test::shellQuote((d / "big.png").string())));
        for (int i = 0; i < 6; ++i)
            ASSERT_TRUE(test::runCommand(
                convert + " -size " + std::to_string(40 + i * 10) + "x60 gradient:red-blue " +
                test::shellQuote((d / ("small" + std::to_string(i) + ".png")).string())));
        ASSERT_TRUE(test::runCommand("cp " + test::shellQuote((d / "small0.png").string()) + " " +
                                     test::shellQuote((d / "a" / "same.png").string())));
        ASSERT_TRUE(test::runCommand("cp " + test::shellQuote((d / "small1.png").string()) + " " +
                                     test::shellQuote((d / "b" / "same.png").string())));
        std::ofstream(d / "c" / "twice.png") << "not a picture";
        ASSERT_TRUE(test::runCommand("cp " + test::shellQuote((d / "small2.png").string()) + " " +
                                     test::shellQuote((d / "a" / "twice.png").string())));
        std::ofstream(d / "broken.png") << "not a picture either";
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static std::vector<std::string> batch() {
        return {"big.png",    "small0.png", "broken.png",  "small1.png",
                "a/same.png", "b/same.png", "c/twice.png", "a/twice.png",
                "small2.png", "small3.png", "small4.png",  "small5.png"};
    }
    static test::TempDir* s_dir;
};

test::TempDir* Jobs::s_dir = nullptr;

struct JobsCase {
    const char* jobs; // empty: the default, one per core
};

std::ostream& operator<<(std::ostream& out, const JobsCase& c) {
    return out << "--jobs " << (*c.jobs ? c.jobs : "(default)");
}

class JobsOrder : public Jobs, public ::testing::WithParamInterface<JobsCase> {};

TEST_P(JobsOrder, PrintsAsOneAfterAnother) {
    const auto& d = *s_dir;
    fs::create_directories(d / "one");
    const CliRun one = runCli(d, "one", "1", batch());
    ASSERT_EQ(one.exitCode, 1) << one.output;
    // Each file's lines, in the order given: the status line and the result of big.png first.
    ASSERT_NE(one.output.rfind("big.png -> ", one.output.find("small0.png")), std::string::npos)
        << one.output;

    const std::string out = std::string("par") + GetParam().jobs;
    fs::create_directories(d / out);
    const CliRun several = runCli(d, out, GetParam().jobs, batch());
    EXPECT_EQ(several.exitCode, one.exitCode);
    std::string expected = one.output;
    for (std::size_t at = 0; (at = expected.find("one/", at)) != std::string::npos;)
        expected.replace(at, 4, out + "/");
    EXPECT_EQ(several.output, expected);
    for (const char* name : {"zp_big.jpg", "zp_same.jpg", "zp_twice.jpg", "zp_small5.jpg"})
        EXPECT_EQ(test::readBytes(d / out / name), test::readBytes(d / "one" / name)) << name;
    fs::remove_all(d / "one");
}

INSTANTIATE_TEST_SUITE_P(Threads, JobsOrder,
                         ::testing::Values(JobsCase{"2"}, JobsCase{"4"}, JobsCase{"64"},
                                           JobsCase{""}));

TEST_F(Jobs, AllWrittenExitsZero) {
    const auto& d = *s_dir;
    fs::create_directories(d / "good");
    const CliRun run = runCli(d, "good", "3", {"small3.png", "big.png", "small4.png"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_LT(run.output.find("small3.png ->"), run.output.find("big.png ->"));
    EXPECT_LT(run.output.find("big.png ->"), run.output.find("small4.png ->"));
}

struct BadJobs {
    const char* value;
    int exitCode;
};

std::ostream& operator<<(std::ostream& out, const BadJobs& c) {
    return out << "--jobs " << c.value;
}

class JobsValue : public Jobs, public ::testing::WithParamInterface<BadJobs> {};

// Out-of-range counts are brought within 1..256 as the other numbers are; what is no number is
// a usage error.
TEST_P(JobsValue, IsCheckedLikeTheOtherNumbers) {
    const auto& d = *s_dir;
    fs::create_directories(d / "v");
    const CliRun run = runCli(d, "v", GetParam().value, {"small0.png"});
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Values, JobsValue,
                         ::testing::Values(BadJobs{"0", 0}, BadJobs{"1", 0}, BadJobs{"256", 0},
                                           BadJobs{"100000", 0}, BadJobs{"-3", 0}, BadJobs{"x", 2},
                                           BadJobs{"2x", 2}, BadJobs{"''", 2}));

} // namespace
} // namespace zp
