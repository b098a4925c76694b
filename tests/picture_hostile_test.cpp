// zoripost-jpeg against crafted files that claim far more than they hold, and against output
// folders with traps in them. Each file runs in its own process under an address-space limit,
// so that a regression fails here instead of swapping the machine; its CPU time and peak
// resident size are measured by the kernel.
#include "picture_hostile_files.h"
#include "support/command.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define ZP_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZP_UNDER_ASAN 1
#endif
#endif

namespace zp::test {
namespace {

namespace fs = std::filesystem;

// The sanitizers' shadow memory needs terabytes of address space and slows everything down:
// under them only the outcomes are checked.
#ifdef ZP_UNDER_ASAN
constexpr bool kMeasure = false;
#else
constexpr bool kMeasure = true;
#endif
// Room for the program's own mappings (libraries, thread stacks, malloc arenas) above the
// memory a row allows; the resident peak is checked against the row's figure itself.
constexpr rlim_t kAddressSpaceRoom = rlim_t{192} << 20;
// A process that has not ended by then has hung (a FIFO that blocks an open, for example).
constexpr int kWallLimitMs = 30'000;

using test::ChildRun;

ChildRun runLimited(const std::vector<std::string>& args, const fs::path& log, int memMiB) {
    const std::uint64_t space = kMeasure ? (std::uint64_t(memMiB) << 20) + kAddressSpaceRoom : 0;
    test::ChildLimits limits;
    limits.addressSpaceBytes = space;
    limits.wallMs = kWallLimitMs;
    return test::runChild(args, log, limits);
}

// The bytes, then a hole up to `size`, then the tail: the file claims `size` bytes and more but
// costs a few blocks.
void writeSparse(const fs::path& path, const Bytes& head, std::uint64_t size,
                 const Bytes& tail = {}) {
    writeBytes(path, head);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0) << std::strerror(errno);
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(tail.data()), std::streamsize(tail.size()));
}

Bytes jpegComment() {
    Bytes b{0xff, 0xd8, 0xff, 0xfe, 0xff, 0xff};
    b.insert(b.end(), 65533, 'x');
    return b;
}

Bytes smallJpeg() {
    return jpegFlatGrey(JpegShape{});
}

Bytes smallPng() {
    return pngZeroPicture(64, 48, 8);
}

// 640 x 480 of noise, which no quality gets under a few kB.
Bytes noiseBmp() {
    Bytes b = bmp24Head(640, 480);
    std::mt19937 random(7);
    for (int i = 0; i < 640 * 480 * 3; ++i)
        b.push_back(static_cast<std::uint8_t>(random()));
    return b;
}

// Shortens a JPEG's entropy-coded data to its first half; with `eoi` the end marker follows.
Bytes truncatedJpeg(bool eoi) {
    std::size_t start = 0;
    Bytes b = jpegFlatGrey(JpegShape{640, 480}, &start);
    b.resize(start + (b.size() - start) / 2);
    if (eoi)
        b.insert(b.end(), {0xff, 0xd9});
    return b;
}

Bytes corruptJpeg() {
    std::size_t start = 0;
    Bytes b = jpegFlatGrey(JpegShape{640, 480}, &start);
    for (std::size_t i = start + 200; i < start + 260; ++i)
        b[i] = 0x55; // ones where only the code 0 exists
    return b;
}

struct Case {
    const char* name;
    std::function<void(const fs::path& in)> make; // writes the input files into `in`
    std::vector<std::string> args;                // options, then input names under `in`
    int exitCode;
    const char* message; // part of the output, "" for none in particular
    double cpuSeconds;
    int memMiB;
    std::function<void(const fs::path& dir)> check = nullptr; // further checks on the folder
    int readMiB = 0; // the most the process may read, 0 for no bound
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.name;
}

const std::vector<std::string> kSmallFrame = {"--size", "240x320"};

// Planting a trap in the output folder beside a small picture to convert.
void pictureAndVictim(const fs::path& in, const char* linkName) {
    writeBytes(in / "a.png", smallPng());
    std::ofstream(in / "victim") << "victim";
    fs::create_symlink(in / "victim", in / "out" / linkName);
}

void victimUntouched(const fs::path& dir) {
    EXPECT_EQ(readText(dir / "in" / "victim"), "victim");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "in/out/zp_a.jpg")));
}

Bytes pngWithText(const char type[4], std::uint8_t valueByte) {
    Bytes b = pngHead(1, 1, 8, 0);
    putBe32(b, 0x7ffffff0u);
    b.insert(b.end(), {std::uint8_t(type[0]), std::uint8_t(type[1]), std::uint8_t(type[2]),
                       std::uint8_t(type[3]), 'k', 0, valueByte});
    b.insert(b.end(), 100, valueByte);
    return b;
}

// The picture with a text chunk before its image data that is a hole of about 1000 MB.
void writePngWithSparseText(const fs::path& path, const Bytes& picture) {
    constexpr std::uint32_t kText = 1000u << 20;
    Bytes head(picture.begin(), picture.begin() + 33);
    putBe32(head, kText);
    head.insert(head.end(), {'t', 'E', 'X', 't'});
    const Bytes rest(picture.begin() + 33, picture.end()); // after the signature and IHDR
    writeSparse(path, head, head.size() + kText + 4, rest);
}

// A compressed text that inflates to 300 MB before the picture's own data.
Bytes pngWithTextBomb() {
    Bytes b = pngHead(64, 48, 8, 0);
    Bytes text{'k', 0, 0};
    const Bytes z = deflateZeros(std::size_t{300} << 20);
    text.insert(text.end(), z.begin(), z.end());
    const Bytes chunk = pngChunk("zTXt", text);
    b.insert(b.end(), chunk.begin(), chunk.end());
    const Bytes rest = smallPng();
    b.insert(b.end(), rest.begin() + 33, rest.end()); // its IDAT and IEND
    return b;
}

std::vector<Case> pictureCases() {
    using F = const fs::path&;
    constexpr std::uint64_t k64G = std::uint64_t{64} << 30;
    constexpr std::uint64_t k1G = std::uint64_t{1} << 30;
    constexpr std::uint64_t k900M = std::uint64_t{900} << 20;
    // clang-format off
    return {
        // The file-size cap comes before any reading.
        {"sparse_jpeg_64g", [](F in) { writeSparse(in / "a.jpg", jpegComment(), k64G); },
         {"a.jpg"}, 1, "too large", 2, 64},
        {"sparse_png_64g", [](F in) { writeSparse(in / "a.png", pngHead(100, 100, 8, 0), k64G); },
         {"a.png"}, 1, "too large", 2, 64},
        {"sparse_gif_64g", [](F in) { writeSparse(in / "a.gif", gifTinyFrameOnScreen(100, 100), k64G); },
         {"a.gif"}, 1, "too large", 2, 64},
        {"sparse_bmp_64g", [](F in) { writeSparse(in / "a.bmp", bmp24Head(100, 100), k64G); },
         {"a.bmp"}, 1, "too large", 2, 64},
        // The cap's boundary: a file of exactly 1 GiB is read (as far as its headers go),
        // one byte more is refused unread.
        {"sparse_jpeg_exactly_1g", [](F in) { writeSparse(in / "a.jpg", jpegComment(), k1G); },
         {"a.jpg"}, 1, "header", 2, 64},
        {"sparse_jpeg_1g_and_1_byte", [](F in) { writeSparse(in / "a.jpg", jpegComment(), k1G + 1); },
         {"a.jpg"}, 1, "too large", 2, 64},
        // Under the cap, but the JPEG header never ends: read only as far as headers go.
        {"jpeg_header_runs_on", [](F in) { writeSparse(in / "a.jpg", jpegComment(), k900M); },
         {"a.jpg"}, 1, "header", 2, 64},
        // Text chunks declaring 2 GB in a file of a hundred bytes; one inflating to 300 MB.
        {"png_text_2g", [](F in) { writeBytes(in / "a.png", pngWithText("tEXt", 'v')); },
         {"a.png"}, 1, "tEXt", 2, 64},
        {"png_ztxt_2g", [](F in) { writeBytes(in / "a.png", pngWithText("zTXt", 0)); },
         {"a.png"}, 1, "zTXt", 2, 64},
        {"png_ztxt_bomb", [](F in) { writeBytes(in / "a.png", pngWithTextBomb()); },
         {"a.png"}, 0, "", 2, 64},
        // A text chunk covering the file is passed over, not read (nor its CRC checked), by
        // the reader of common PNGs and by libpng (which takes 1-bit grey).
        {"png_text_sparse_1000m", [](F in) { writePngWithSparseText(in / "a.png", smallPng()); },
         {"a.png"}, 0, "", 2, 64, nullptr, 16},
        {"png_1bit_text_sparse_1000m", [](F in) {
             writePngWithSparseText(in / "a.png", pngZeroPicture(64, 48, 1)); },
         {"a.png"}, 0, "", 2, 64, nullptr, 16},
        // Pictures near the 200-megapixel cap in a few hundred kB are read in bands.
        {"bmp_embedded_jpeg_exif6", [](F in) {
             const Bytes j = jpegFlatGrey(JpegShape{12000, 12000, false, 6});
             writeBytes(in / "a.bmp", bmpEmbedding(j, false, 12000, 12000)); },
         {"a.bmp"}, 0, "", 2, 64},
        {"jpeg_baseline_13000", [](F in) { writeBytes(in / "a.jpg", jpegFlatGrey(JpegShape{13000, 13000})); },
         {"a.jpg"}, 0, "", 2, 64},
        {"png_bomb_14000", [](F in) { writeBytes(in / "a.png", pngZeroPicture(14000, 14000, 1)); },
         {"a.png"}, 0, "", 2, 64},
        {"bmp_embedded_png_14000", [](F in) {
             writeBytes(in / "a.bmp", bmpEmbedding(pngZeroPicture(14000, 14000, 1), true, 14000, 14000)); },
         {"a.bmp"}, 0, "", 2, 64},
        {"bmp_rle8_14000", [](F in) { writeBytes(in / "a.bmp", bmpRle8Empty(14000, 14000)); },
         {"a.bmp"}, 0, "", 2, 64},
        {"gif_screen_14000", [](F in) { writeBytes(in / "a.gif", gifTinyFrameOnScreen(14000, 14000)); },
         {"a.gif"}, 0, "", 2, 64},
        // A real 240 MB picture file is read as it is decoded, never whole (a sparse file:
        // the headers, then black pixels).
        {"bmp24_sparse_10000", [](F in) {
             const Bytes head = bmp24Head(10000, 8000);
             writeSparse(in / "a.bmp", head, head.size() + std::uint64_t{30000} * 8000); },
         {"a.bmp"}, 0, "", 2, 64},
        // Pixels copied one for one: only the kept window is held (60000 x 1000 cut to
        // 1920 x 1000), and the same turned on its side by EXIF.
        {"jpeg_wide_cut_window", [](F in) { writeBytes(in / "a.jpg", jpegFlatGrey(JpegShape{60000, 1000})); },
         {"--size", "1920x1080", "--no-enlarge", "--cut", "a.jpg"}, 0, "1920x1000", 2, 64},
        {"jpeg_tall_exif8_cut_window", [](F in) {
             writeBytes(in / "a.jpg", jpegFlatGrey(JpegShape{60000, 1000, false, 8})); },
         {"--size", "1920x1080", "--no-enlarge", "--cut", "--turn", "none", "a.jpg"}, 0,
         "1000x1080", 2, 64},
        // What cannot be read in bands within the limit is refused as too large to decode.
        {"jpeg_progressive_13000", [](F in) { writeBytes(in / "a.jpg", jpegFlatGrey(JpegShape{13000, 13000, true})); },
         {"a.jpg"}, 1, "too large to decode", 2, 64},
        {"png_interlaced_14000", [](F in) { writeBytes(in / "a.png", pngZeroPicture(14000, 14000, 1, 1)); },
         {"a.png"}, 1, "too large to decode", 2, 64},
    };
    // clang-format on
}

std::vector<Case> faultAndOutputCases() {
    using F = const fs::path&;
    // clang-format off
    return {
        // Truncation is refused with and without an end marker; mere oddities still decode.
        {"jpeg_truncated", [](F in) { writeBytes(in / "a.jpg", truncatedJpeg(false)); },
         {"a.jpg"}, 1, "truncated", 2, 64},
        {"jpeg_truncated_with_eoi", [](F in) { writeBytes(in / "a.jpg", truncatedJpeg(true)); },
         {"a.jpg"}, 1, "truncated", 2, 64},
        {"jpeg_corrupt_entropy", [](F in) { writeBytes(in / "a.jpg", corruptJpeg()); },
         {"a.jpg"}, 1, "corrupt", 2, 64},
        {"jpeg_bytes_after_eoi", [](F in) {
             Bytes b = smallJpeg();
             b.insert(b.end(), 5000, 0x42);
             writeBytes(in / "a.jpg", b); },
         {"a.jpg"}, 0, "", 2, 64},
        {"jpeg_restarts_out_of_order", [](F in) {
             writeBytes(in / "a.jpg", jpegFlatGrey(JpegShape{640, 480, false, 0, 80, true})); },
         {"a.jpg"}, 0, "", 2, 64},
        // What is no regular file is named so, at once.
        {"fifo", [](F in) { ASSERT_EQ(mkfifo((in / "a.jpg").c_str(), 0600), 0); },
         {"a.jpg"}, 1, "not a regular file", 2, 64},
        {"dev_zero_link", [](F in) { fs::create_symlink("/dev/zero", in / "a.jpg"); },
         {"a.jpg"}, 1, "not a regular file", 2, 64},
        {"directory", [](F in) { fs::create_directory(in / "a.png"); },
         {"a.png"}, 1, "not a regular file", 2, 64},
        // A link planted where the temporary or the output file goes is never written through.
        {"link_at_temporary_name", [](F in) { pictureAndVictim(in, "zp_a.jpg.part"); },
         {"a.png"}, 0, "", 2, 64, victimUntouched},
        {"link_at_output_name", [](F in) { pictureAndVictim(in, "zp_a.jpg"); },
         {"a.png"}, 0, "", 2, 64, victimUntouched},
        // Two inputs, one output name: the second is refused and the first stays.
        {"same_output_name", [](F in) {
             writeBytes(in / "same.jpg", smallJpeg());
             writeBytes(in / "same.png", smallPng()); },
         {"same.jpg", "same.png"}, 1, "already written", 2, 64,
         [](F dir) {
             // The JPEG (64 x 64) becomes 240 x 240, the PNG (64 x 48) 240 x 180: the frame
             // header of the output tells which one it is.
             const std::string out = readText(dir / "in/out/zp_same.jpg");
             EXPECT_NE(out.find("\xff\xc0\x00\x11\x08\x00\xf0\x00\xf0"), std::string::npos);
         }},
        // A file that misses its limit does not pass off an older output as its own.
        {"limit_missed_older_output_left", [](F in) {
             writeBytes(in / "noise.bmp", noiseBmp());
             std::ofstream(in / "out" / "zp_noise.jpg") << "old"; },
         {"--size", "1920x1080", "--no-enlarge", "--limit", "5", "noise.bmp"}, 1, "earlier run", 2, 64,
         [](F dir) { EXPECT_EQ(readText(dir / "in/out/zp_noise.jpg"), "old"); }},
        {"write_fails_with_reason", [](F in) {
             writeBytes(in / "a.png", smallPng());
             fs::create_directory(in / "out" / "zp_a.jpg"); },
         {"a.png"}, 1, "Is a directory", 2, 64},
    };
    // clang-format on
}

std::vector<Case> cases() {
    std::vector<Case> all = pictureCases();
    for (Case& c : faultAndOutputCases())
        all.push_back(std::move(c));
    return all;
}

class Hostile : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        tmp = std::make_unique<test::TempDir>();
        base = tmp->path();
    }
    static void TearDownTestSuite() { tmp.reset(); }
    static inline std::unique_ptr<test::TempDir> tmp;
    static inline fs::path base;
};

TEST_P(Hostile, BoundedAndNamed) {
    const Case& c = GetParam();
    const fs::path dir = base / c.name;
    const fs::path in = dir / "in";
    fs::create_directories(in / "out");
    c.make(in);
    if (HasFatalFailure())
        return;
    std::vector<std::string> args{ZP_JPEG_CLI, "--out", (in / "out").string()};
    args.insert(args.end(), kSmallFrame.begin(), kSmallFrame.end());
    // Input names are the arguments with a dot in them; options and their values have none.
    for (const std::string& a : c.args)
        args.push_back(a.find('.') == std::string::npos ? a : (in / a).string());
    const ChildRun r = runLimited(args, dir / "log.txt", c.memMiB);
    ASSERT_FALSE(r.hung) << r.output;
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    if (kMeasure) {
        EXPECT_LE(r.cpuSeconds, c.cpuSeconds) << r.output;
        EXPECT_LE(r.peakMiB, c.memMiB) << r.output;
        RecordProperty("peak_mib", static_cast<int>(r.peakMiB));
        RecordProperty("cpu_ms", static_cast<int>(r.cpuSeconds * 1000));
    }
    if (c.readMiB > 0) {
        EXPECT_LE(r.bytesRead, std::uint64_t(c.readMiB) << 20) << r.output;
    }
    if (c.check)
        c.check(dir);
    // No temporary file is left behind, whatever happened.
    const std::set<std::string> allowed{"zp_a.jpg", "zp_a.jpg.part", "zp_same.jpg", "zp_noise.jpg"};
    for (const auto& entry : fs::directory_iterator(in / "out"))
        EXPECT_TRUE(allowed.count(entry.path().filename().string())) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Files, Hostile, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zp::test
