// The quality loop, its status lines, and the real encoder checked by ImageMagick.
#include "picture/jpegencoder.h"
#include "picture/messages.h"
#include "picture/qualityloop.h"
#include "picture_compare.h"
#include "support/command.h"
#include "support/files.h"
#include "support/rows.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zp {
namespace {

using zp::test::PrintTo;

namespace fs = std::filesystem;

// Independent of the code under test: the system's converter turns the Shift-JIS text into
// UTF-8 (glibc's iconv, Windows's code page 932).
#ifdef _WIN32
std::string cp932ToUtf8(const std::string& in) {
    const int n = static_cast<int>(in.size());
    std::wstring wide(in.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(932, 0, in.data(), n, wide.data(), n)));
    std::string out(wide.size() * 4, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                            out.data(), static_cast<int>(out.size()), nullptr,
                                                            nullptr)));
    return out;
}
#else
std::string cp932ToUtf8(const std::string& in) {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string out(in.size() * 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<std::size_t>(-1));
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}
#endif

// An encoder whose output size is chosen per quality; records the qualities it was asked for.
struct FakeEncoder {
    std::function<std::size_t(int)> sizeAt;
    std::vector<int> calls;
    JpegEncoderFn fn() {
        return [this](const Bitmap&, int q, std::vector<std::uint8_t>& out, std::string&) {
            calls.push_back(q);
            out.assign(sizeAt(q), 0);
            return true;
        };
    }
};

struct LoopCase {
    std::string name;
    int quality;
    bool limitOn;
    int limitKB;
    std::size_t bytesFrom; // the encoding at quality q is bytesFrom - (start - q) * step
    std::size_t step;      // bytes fewer per quality point
    bool ok, gaveUp;
    std::vector<int> qualities; // every encoding, the fine search's included
    std::string lastLine;       // UTF-8
    bool fine = false;
    int chosen = 0; // with fine: the quality kept
};

class QualityLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(QualityLoop, StepsDownAndStopsAtTheBoundary) {
    const LoopCase& c = GetParam();
    FakeEncoder enc;
    enc.sizeAt = [&](int q) { return c.bytesFrom - std::size_t(c.quality - q) * c.step; };
    std::vector<std::string> lines;
    const auto toLine = [&](const EncodeStep& s) { lines.push_back(cp932ToUtf8(statusLine(s))); };
    const QualityLoopResult r =
        runQualityLoop(Bitmap{}, {c.quality, c.limitOn, c.limitKB, c.fine}, toLine, enc.fn());
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.gaveUp, c.gaveUp);
    EXPECT_EQ(enc.calls, c.qualities);
    const int kept = c.chosen != 0 ? c.chosen : c.qualities.back();
    EXPECT_EQ(r.quality, kept);
    EXPECT_EQ(r.jpeg.size(), enc.sizeAt(kept));
    if (c.ok && c.limitOn) {
        EXPECT_TRUE(meetsSizeLimit(r.jpeg.size(), c.limitKB));
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.lastLine);
    // The lines of the steps of 5 are those of the loop without the fine search; a search
    // adds one line, naming the quality kept.
    const std::vector<std::string> fineLines = lines;
    lines.clear();
    runQualityLoop(Bitmap{}, {c.quality, c.limitOn, c.limitKB, false}, toLine, enc.fn());
    const std::size_t steps = enc.calls.size() - c.qualities.size();
    EXPECT_EQ(lines.size(), steps + (c.gaveUp ? 1 : 0));
    ASSERT_EQ(fineLines.size(), lines.size() + (steps < c.qualities.size() ? 1 : 0));
    EXPECT_TRUE(std::equal(lines.begin(), lines.end(), fineLines.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, QualityLoop,
    ::testing::Values(
        // Exactly limit x 1024 bytes misses although the line shows 10 kB; one byte less passes.
        LoopCase{"ExactlyLimitMisses",
                 90,
                 true,
                 10,
                 10240,
                 1,
                 true,
                 false,
                 {90, 85},
                 "ファイルサイズ10kB, 画質85 の画像を作成しました"},
        LoopCase{"OneByteUnderPasses",
                 90,
                 true,
                 10,
                 10239,
                 1,
                 true,
                 false,
                 {90},
                 "ファイルサイズ10kB, 画質90 の画像を作成しました"},
        LoopCase{"RoundsKilobytesUp",
                 90,
                 true,
                 100,
                 1025,
                 0,
                 true,
                 false,
                 {90},
                 "ファイルサイズ2kB, 画質90 の画像を作成しました"},
        LoopCase{"LimitOffEncodesOnce",
                 75,
                 false,
                 5,
                 500000,
                 1000,
                 true,
                 false,
                 {75},
                 "ファイルサイズ489kB, 画質75 の画像を作成しました"},
        LoopCase{"StartThreeGivesUpAtThree",
                 3,
                 true,
                 5,
                 9000,
                 10,
                 false,
                 true,
                 {3},
                 "ファイルサイズ9kB, 画質3 で打ち切りました"},
        LoopCase{"FromNinetyDownToFive",
                 90,
                 true,
                 5,
                 90000,
                 1,
                 false,
                 true,
                 {90, 85, 80, 75, 70, 65, 60, 55, 50, 45, 40, 35, 30, 25, 20, 15, 10, 5},
                 "ファイルサイズ88kB, 画質5 で打ち切りました"},
        LoopCase{"PassesOnTheWayDown",
                 62,
                 true,
                 20,
                 20479 + 2 * 10,
                 2,
                 true,
                 false,
                 {62, 57, 52},
                 "ファイルサイズ20kB, 画質52 の画像を作成しました"},
        // Fine search, one point = 100 bytes: 80 fits after 85 missed, then 82 fits and 83 is
        // exactly the limit; one more line names 82.
        LoopCase{"FineKeepsTheHighestThatFits",
                 90,
                 true,
                 20,
                 20480 + 700,
                 100,
                 true,
                 false,
                 {90, 85, 80, 82, 83},
                 "ファイルサイズ20kB, 画質82 の画像を作成しました",
                 true,
                 82},
        LoopCase{"FineTakesThreeMoreUpToFour",
                 90,
                 true,
                 20,
                 20480 + 500,
                 100,
                 true,
                 false,
                 {90, 85, 80, 82, 83, 84},
                 "ファイルサイズ20kB, 画質84 の画像を作成しました",
                 true,
                 84},
        LoopCase{"FineFindsNothingHigher",
                 90,
                 true,
                 20,
                 20480 + 999,
                 100,
                 true,
                 false,
                 {90, 85, 80, 82, 81},
                 "ファイルサイズ20kB, 画質80 の画像を作成しました",
                 true,
                 80},
        // No step was missed: the start quality is never exceeded.
        LoopCase{"FineFirstFitsSearchesNothing",
                 90,
                 true,
                 10,
                 10239,
                 1,
                 true,
                 false,
                 {90},
                 "ファイルサイズ10kB, 画質90 の画像を作成しました",
                 true},
        LoopCase{"FineGivesUpAsBefore",
                 8,
                 true,
                 5,
                 9000,
                 10,
                 false,
                 true,
                 {8, 3},
                 "ファイルサイズ9kB, 画質3 で打ち切りました",
                 true},
        LoopCase{"FineWithoutLimitEncodesOnce",
                 75,
                 false,
                 5,
                 500000,
                 1000,
                 true,
                 false,
                 {75},
                 "ファイルサイズ489kB, 画質75 の画像を作成しました",
                 true}),
    [](const auto& info) { return info.param.name; });

TEST(QualityLoop, EncoderFailureIsReported) {
    const QualityLoopResult r =
        runQualityLoop(Bitmap{}, {90, true, 10}, {},
                       [](const Bitmap&, int, std::vector<std::uint8_t>&, std::string& e) {
                           e = "broken";
                           return false;
                       });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, PictureError::EncodeFailed);
    EXPECT_EQ(r.detail, "broken");
}

// Encoding the next quality ahead on a second thread changes nothing the caller sees: the same
// steps in the same order and the same final bytes as the real encoder called one at a time.
struct AheadCase {
    std::string name;
    int quality;
    int limitKB;
    std::size_t steps; // encodings one at a time, giving-up line included
    bool gaveUp;
    bool fine = false;
};

class EncodingAhead : public ::testing::TestWithParam<AheadCase> {};

TEST_P(EncodingAhead, GivesTheStepsAndBytesOfOneAtATime) {
    const AheadCase& c = GetParam();
    const Bitmap b = test::photoLike(480, 320, 7, 0);
    const QualityLoopOptions options{c.quality, true, c.limitKB, c.fine};
    std::vector<EncodeStep> oneAtATime;
    const QualityLoopResult reference = runQualityLoop(
        b, options, [&](const EncodeStep& s) { oneAtATime.push_back(s); },
        [](const Bitmap& bitmap, int q, std::vector<std::uint8_t>& out, std::string& error) {
            return encodeJpeg(bitmap, q, out, error);
        });
    std::vector<EncodeStep> ahead;
    const auto caller = std::this_thread::get_id();
    const QualityLoopResult r = runQualityLoop(b, options, [&](const EncodeStep& s) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ahead.push_back(s);
    });
    ASSERT_EQ(oneAtATime.size(), c.steps);
    EXPECT_EQ(reference.gaveUp, c.gaveUp);
    ASSERT_EQ(ahead.size(), oneAtATime.size());
    for (std::size_t i = 0; i < ahead.size(); ++i) {
        EXPECT_EQ(ahead[i].quality, oneAtATime[i].quality) << i;
        EXPECT_EQ(ahead[i].bytes, oneAtATime[i].bytes) << i;
        EXPECT_EQ(ahead[i].gaveUp, oneAtATime[i].gaveUp) << i;
    }
    EXPECT_EQ(r.ok, reference.ok);
    EXPECT_EQ(r.gaveUp, reference.gaveUp);
    EXPECT_EQ(r.quality, reference.quality);
    EXPECT_EQ(r.encodings, reference.encodings);
    EXPECT_TRUE(r.jpeg == reference.jpeg);
    // Every second encoding of a longer loop is the one made ahead (with two cores or more).
    if (!c.fine) {
        EXPECT_EQ(r.encodedAhead, std::thread::hardware_concurrency() >= 2 ? r.encodings / 2 : 0);
    }
    EXPECT_EQ(reference.encodedAhead, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, EncodingAhead,
                         ::testing::Values(
                             // The one made ahead at 85 is dropped unfinished or unused.
                             AheadCase{"FirstMeetsTheLimit", 90, 100, 1, false},
                             AheadCase{"EvenNumberOfSteps", 90, 17, 4, false},
                             AheadCase{"OddNumberOfSteps", 90, 9, 7, false},
                             // 22, 17, 12, 7, 2 (1271 bytes), then the giving-up line.
                             AheadCase{"GivesUpAtTheLowest", 22, 1, 6, true},
                             // Steps 90 .. 75, bisection, then the line of the quality kept.
                             AheadCase{"FineSearch", 90, 17, 5, false, true}),
                         [](const auto& info) { return info.param.name; });

TEST(Messages, TextsInShiftJis) {
    EXPECT_EQ(cp932ToUtf8(pictureMessage(PictureError::InvalidBitmap)), "ビットマップが不正です。");
    EXPECT_EQ(cp932ToUtf8(pictureMessage(PictureError::NoPicture)), "画像がありません。");
    EXPECT_EQ(cp932ToUtf8(pictureMessage(PictureError::OutputFolderMissing)),
              "指定された生成画像保存フォルダは存在しません。");
}

// The real encoder, read back by ImageMagick: size, estimated quality, baseline, sampling.
std::string run(const std::string& command) {
    return test::runShell(command).output;
}

TEST(JpegEncoder, ImageMagickReadsWhatWeWrite) {
    const Bitmap b = test::photoLike(241, 319, 11, 0);
    std::vector<std::uint8_t> out;
    std::string error;
    const test::TempDir dir;
    for (int q : {90, 50, 5}) {
        ASSERT_TRUE(encodeJpeg(b, q, out, error)) << error;
        const fs::path file = dir / ("encoder_" + std::to_string(q) + ".jpg");
        test::writeBytes(file, out);
        const std::string info =
            run("identify -format '%w %h %Q %[interlace] %[jpeg:sampling-factor] %[colorspace]' '" +
                file.string() + "' 2>&1");
        EXPECT_EQ(info, "241 319 " + std::to_string(q) + " None 2x2,1x1,1x1 sRGB") << info;
    }
}

// Tables made for the picture: fewer bytes, a baseline frame (SOF0), and the very pixels of the
// standard tables as ImageMagick decodes them.
TEST(JpegEncoder, OptimizedTablesSaveBytesNotPixels) {
    const Bitmap b = test::photoLike(480, 320, 9, 0);
    std::vector<std::uint8_t> optimized, standard;
    std::string error;
    ASSERT_TRUE(encodeJpeg(b, 85, optimized, error)) << error;
    ASSERT_TRUE(encodeJpeg(b, 85, standard, error, HuffmanTables::Standard)) << error;
    EXPECT_LT(optimized.size(), standard.size() * 97 / 100);
    const std::vector<std::uint8_t> sof0{0xFF, 0xC0};
    EXPECT_NE(std::search(optimized.begin(), optimized.end(), sof0.begin(), sof0.end()),
              optimized.end());
    const fs::path a = fs::temp_directory_path() / "zp_tables_optimized.jpg";
    const fs::path s = fs::temp_directory_path() / "zp_tables_standard.jpg";
    std::ofstream(a, std::ios::binary)
        .write(reinterpret_cast<const char*>(optimized.data()), std::streamsize(optimized.size()));
    std::ofstream(s, std::ios::binary)
        .write(reinterpret_cast<const char*>(standard.data()), std::streamsize(standard.size()));
    EXPECT_EQ(run("compare -metric AE '" + a.string() + "' '" + s.string() + "' null: 2>&1"), "0");
    fs::remove(a);
    fs::remove(s);
}

TEST(JpegEncoder, ReusesTheBufferAndRefusesEmptyBitmaps) {
    std::vector<std::uint8_t> out;
    std::string error;
    ASSERT_TRUE(encodeJpeg(test::photoLike(64, 64), 90, out, error));
    const std::size_t first = out.size();
    ASSERT_TRUE(encodeJpeg(test::photoLike(64, 64), 90, out, error));
    EXPECT_EQ(out.size(), first); // emptied first, not appended to
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xD8);
    EXPECT_FALSE(encodeJpeg(Bitmap{}, 90, out, error));
    EXPECT_FALSE(error.empty());
}

TEST(JpegEncoder, CancelStopsAnEncodingAndLeavesNoBytes) {
    const Bitmap b = test::photoLike(320, 240, 5, 0);
    std::vector<std::uint8_t> plain, running, stopped;
    std::string error;
    ASSERT_TRUE(encodeJpeg(b, 80, plain, error)) << error;
    std::atomic<bool> cancel{false};
    ASSERT_TRUE(encodeJpeg(b, 80, running, error, cancel)) << error;
    EXPECT_TRUE(running == plain);
    cancel = true;
    EXPECT_FALSE(encodeJpeg(b, 80, stopped, error, cancel));
    EXPECT_TRUE(stopped.empty());
    EXPECT_EQ(error, "cancelled");
}

TEST(JpegEncoder, LargeOutputGrowsTheBuffer) {
    // Noise at quality 100 is far bigger than the first 64 KiB chunk.
    const Bitmap b = test::photoLike(1024, 768, 3, 0);
    std::vector<std::uint8_t> out;
    std::string error;
    ASSERT_TRUE(encodeJpeg(b, 100, out, error)) << error;
    EXPECT_GT(out.size(), 64u * 1024);
    EXPECT_EQ(out[out.size() - 2], 0xFF);
    EXPECT_EQ(out[out.size() - 1], 0xD9);
}

} // namespace
} // namespace zp
