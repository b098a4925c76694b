// The HEIF, WebP and AVIF libraries are loaded when a picture of their type is first met: no
// program names them as a needed library, a process that meets none of those pictures never maps
// them, and when one cannot be loaded its pictures fail with a message naming it while everything
// else goes on as before.
//
// What happens at the first load can be seen only once per process, so those checks run in a
// fresh copy of this test program (the LazyChild tests, which do nothing unless started so).
#include "decoders/decoder.h"
#include "image_compare.h"
#include "picture/preparedpicture.h"
#include "support/command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace zp {
namespace {

const std::filesystem::path& pictures() {
    return test::picturesFrom("decoders_modern_pictures.py");
}

// Runs argv with extra environment variables, its output into `log`, under a CPU-time limit that
// ends a process spinning without bound. The exit code, or 128 + the signal that ended it.
int runChild(const std::vector<std::string>& args,
             const std::vector<std::pair<std::string, std::string>>& env,
             const std::filesystem::path& log) {
    return zp::test::runChild(args, log, {.cpuSeconds = 60, .env = env}).exitCode;
}

using test::readText;

// Runs one LazyChild test in a new process of this program; its output on failure.
::testing::AssertionResult inFreshProcess(const std::string& test,
                                          std::vector<std::pair<std::string, std::string>> env) {
    const test::TempDir dir;
    env.emplace_back("ZP_LAZY_CHILD", "1");
    env.emplace_back("ZP_LAZY_PICTURES", pictures().string());
    const int code =
        runChild({"/proc/self/exe", "--gtest_filter=LazyChild." + test}, env, dir / "log.txt");
    const std::string output = readText(dir / "log.txt");
    if (code != 0)
        return ::testing::AssertionFailure() << "exit " << code << "\n" << output;
    if (output.find("[  PASSED  ] 1 test") == std::string::npos)
        return ::testing::AssertionFailure() << "the child test did not run\n" << output;
    return ::testing::AssertionSuccess();
}

// ---- No program needs the libraries to start --------------------------------------------------

// The libraries a program names as needed (readelf's NEEDED entries).
std::vector<std::string> neededLibraries(const std::string& program) {
    std::string output;
    std::vector<std::string> needed;
    if (!test::runCommand("readelf -d " + test::shellQuote(program), &output))
        return needed;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto open = line.find("(NEEDED)");
        const auto from = line.find('[');
        const auto to = line.rfind(']');
        if (open != std::string::npos && from != std::string::npos && to > from)
            needed.push_back(line.substr(from + 1, to - from - 1));
    }
    return needed;
}

class ProgramNeeds : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgramNeeds, NoPictureCodecLibrary) {
    const std::vector<std::string> needed = neededLibraries(GetParam());
    // The C library at least: an empty list would mean readelf read nothing.
    ASSERT_NE(std::find_if(needed.begin(), needed.end(),
                           [](const std::string& n) { return n.rfind("libc.so", 0) == 0; }),
              needed.end())
        << GetParam();
    for (const std::string& name : needed) {
        for (const char* codec : {"libheif", "libwebp", "libavif", "libde265", "libdav1d"})
            EXPECT_NE(name.rfind(codec, 0), 0u) << GetParam() << " needs " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramNeeds,
                         ::testing::Values(ZP_JPEG_CLI
#ifdef ZP_WINDOW_PROGRAM
                                           ,
                                           ZP_WINDOW_PROGRAM
#endif
                                           ));

// ---- Loaded when first met --------------------------------------------------------------------

TEST(Lazy, LoadsALibraryOnlyForItsOwnPictures) {
    EXPECT_TRUE(inFreshProcess("LoadsOnlyWhatItMeets", {}));
}

// ---- A library that cannot be loaded ----------------------------------------------------------

struct MissingCase {
    const char* file;
    const char* variable; // names the file loaded instead of the library
    const char* library; // what is loaded instead: no such file, or a library without the functions
    const char* message; // part of the reason given
};

std::ostream& operator<<(std::ostream& out, const MissingCase& c) {
    return out << c.file << " with " << c.variable << "=" << c.library;
}

class MissingLibrary : public ::testing::TestWithParam<MissingCase> {};

// zoripost-jpeg fails the picture with the reason and still converts the JPEG given with it.
TEST_P(MissingLibrary, ThePictureFailsWithTheLibrarysName) {
    const MissingCase& c = GetParam();
    const test::TempDir out;
    const int code = runChild({ZP_JPEG_CLI, "--jobs", "2", "--out", out.path().string(),
                               (pictures() / c.file).string(), (pictures() / "exif6.jpg").string()},
                              {{c.variable, c.library}}, out / "log.txt");
    const std::string output = readText(out / "log.txt");
    EXPECT_EQ(code, 1) << output;
    EXPECT_NE(output.find(c.file), std::string::npos) << output;
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
    EXPECT_TRUE(std::filesystem::exists(out / "zp_exif6.jpg")) << output;
    const std::string stem = std::filesystem::path(c.file).stem().string();
    EXPECT_FALSE(std::filesystem::exists(out / ("zp_" + stem + ".jpg"))) << output;
}

// In the intake the file is no picture (it becomes an attachment as it is), with the reason.
TEST_P(MissingLibrary, TheIntakeTakesTheFileForNoPicture) {
    const MissingCase& c = GetParam();
    EXPECT_TRUE(inFreshProcess(
        "NotAPicture",
        {{c.variable, c.library}, {"ZP_LAZY_FILE", c.file}, {"ZP_LAZY_MESSAGE", c.message}}));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Libraries, MissingLibrary, ::testing::Values(
    MissingCase{"heic_plain.heic", "ZP_LIBHEIF_FILE", "/nonexistent/libheif.so.1",
                "HEIF error: the library /nonexistent/libheif.so.1 cannot be loaded"},
    MissingCase{"webp_lossy.webp", "ZP_LIBWEBP_FILE", "/nonexistent/libwebp.so.7",
                "WebP error: the library /nonexistent/libwebp.so.7 cannot be loaded"},
    // The demuxer is needed for animations and metadata, so a still picture fails without it too.
    MissingCase{"webp_lossless.webp", "ZP_LIBWEBPDEMUX_FILE", "/nonexistent/libwebpdemux.so.2",
                "WebP error: the library /nonexistent/libwebpdemux.so.2 cannot be loaded"},
    MissingCase{"avif_lossless.avif", "ZP_LIBAVIF_FILE", "/nonexistent/libavif.so.15",
                "AVIF error: the library /nonexistent/libavif.so.15 cannot be loaded"},
    // A library that loads but is not the one asked for (or too old) lacks the functions.
    MissingCase{"avif_alpha.avif", "ZP_LIBAVIF_FILE", "libjpeg.so.62",
                "AVIF error: the library libjpeg.so.62 lacks the function avifDecoderCreate"},
    MissingCase{"heic_alpha.heic", "ZP_LIBHEIF_FILE", "libwebp.so.7",
                "HEIF error: the library libwebp.so.7 lacks the function heif_context_alloc"}));
// clang-format on

// ---- The parts that run in a fresh process ----------------------------------------------------

class LazyChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("ZP_LAZY_CHILD") == nullptr)
            GTEST_SKIP() << "runs only in the process the Lazy tests start";
        m_pictures = std::getenv("ZP_LAZY_PICTURES");
    }
    std::filesystem::path m_pictures;
};

// Whether a shared library whose file name starts with `name` is mapped into this process.
bool mapped(const std::string& name) {
    const std::string maps = readText("/proc/self/maps");
    return maps.find("/" + name) != std::string::npos;
}

TEST_F(LazyChild, LoadsOnlyWhatItMeets) {
    for (const char* name : {"libheif", "libwebp", "libavif"})
        ASSERT_FALSE(mapped(name)) << name << " is loaded before any picture";
    ASSERT_TRUE(decodePicture(m_pictures / "exif6.jpg").ok);
    for (const char* name : {"libheif", "libwebp", "libavif"})
        EXPECT_FALSE(mapped(name)) << name << " is loaded for a JPEG";

    PictureInfo info;
    std::string error;
    ASSERT_TRUE(probePicture(m_pictures / "webp_lossy.webp", info, error)) << error;
    EXPECT_TRUE(mapped("libwebp"));
    EXPECT_FALSE(mapped("libheif"));
    EXPECT_FALSE(mapped("libavif"));

    // The first AVIF pictures, met on several threads at once, share one loading.
    std::vector<DecodeResult> results(4);
    std::vector<std::thread> threads;
    for (DecodeResult& r : results)
        threads.emplace_back([&r, this] { r = decodePicture(m_pictures / "avif_alpha.avif"); });
    for (std::thread& t : threads)
        t.join();
    for (const DecodeResult& r : results) {
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.bitmap.width, 80);
    }
    EXPECT_TRUE(mapped("libavif"));
    EXPECT_FALSE(mapped("libheif"));

    EXPECT_TRUE(decodePicture(m_pictures / "heic_plain.heic").ok);
    EXPECT_TRUE(mapped("libheif"));
}

TEST_F(LazyChild, NotAPicture) {
    const std::filesystem::path file = m_pictures / std::getenv("ZP_LAZY_FILE");
    const std::string message = std::getenv("ZP_LAZY_MESSAGE");
    PictureInfo info;
    std::string error;
    EXPECT_FALSE(probePicture(file, info, error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
    const DecodeResult result = decodePicture(file);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.bitmap.empty());
    EXPECT_NE(result.error.find(message), std::string::npos) << result.error;
    PictureSource source;
    EXPECT_FALSE(PictureSource::fromFile(file, source, error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
    // The other decoders are untouched.
    EXPECT_TRUE(PictureSource::fromFile(m_pictures / "exif6.jpg", source, error)) << error;
}

} // namespace
} // namespace zp
