#pragma once
// Tools for picture tests: temporary folders, pictures made by independent tools, ImageMagick's
// reading of a file as the reference, and comparison of bitmaps within a tolerance.
#include "bitmap/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace zp::test {

inline const char* const kImageMagickConvert = "/usr/bin/convert";

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("zp-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(m_path))
                break;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Single-quoted for /bin/sh.
inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its standard output goes to output. True when it exits with 0.
inline bool runCommand(const std::string& command, std::string* output = nullptr) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output != nullptr)
            output->append(buffer, n);
    return pclose(pipe) == 0;
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

// Runs a generator script from tests/scripts once per test process (with Debian's python3, which
// has Pillow) and returns the folder it filled; the folder lasts until the process ends.
inline const std::filesystem::path& picturesFrom(const std::string& script) {
    static std::map<std::string, std::unique_ptr<TempDir>> made;
    auto& dir = made[script];
    if (!dir) {
        dir = std::make_unique<TempDir>();
        const std::string command = std::string(ZP_SYSTEM_PYTHON) + " " +
                                    shellQuote(std::string(ZP_TEST_SCRIPTS) + "/" + script) + " " +
                                    shellQuote(dir->path().string());
        if (!runCommand(command))
            ADD_FAILURE() << "picture generator failed: " << command;
    }
    return dir->path();
}

// ImageMagick's reading of a picture (first frame), transparent parts on white, turned upright
// by its EXIF orientation, 8 bits per channel.
inline ::testing::AssertionResult magickReference(const std::filesystem::path& picture,
                                                  Bitmap& out) {
    const TempDir dir;
    const auto raw = dir / "reference.rgb";
    const std::string command = std::string(kImageMagickConvert) + " " +
                                shellQuote(picture.string() + "[0]") +
                                " -background white -flatten -auto-orient -depth 8 -write " +
                                shellQuote("rgb:" + raw.string()) + " -format '%w %h' info:";
    std::string size;
    if (!runCommand(command, &size))
        return ::testing::AssertionFailure() << "ImageMagick cannot read " << picture;
    int w = 0, h = 0;
    std::istringstream(size) >> w >> h;
    const auto pixels = readBytes(raw);
    if (w <= 0 || h <= 0 || pixels.size() != static_cast<std::size_t>(w) * h * 3)
        return ::testing::AssertionFailure() << "unexpected ImageMagick output for " << picture;
    out.width = w;
    out.height = h;
    out.pixels = pixels;
    return ::testing::AssertionSuccess();
}

struct PixelDifference {
    int max = 0; // largest difference of one channel
    double mean = 0;
    int worstX = -1;
    int worstY = -1;
};

// Both bitmaps must have the same size.
inline PixelDifference pixelDifference(const Bitmap& a, const Bitmap& b) {
    PixelDifference d;
    double total = 0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        const int diff = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
        total += diff;
        if (diff > d.max) {
            d.max = diff;
            d.worstX = static_cast<int>(i / 3 % static_cast<std::size_t>(std::max(a.width, 1)));
            d.worstY = static_cast<int>(i / 3 / static_cast<std::size_t>(std::max(a.width, 1)));
        }
    }
    d.mean = a.pixels.empty() ? 0 : total / static_cast<double>(a.pixels.size());
    return d;
}

// Same size, no channel further apart than maxDiff and on average no more than meanDiff.
inline ::testing::AssertionResult bitmapsClose(const Bitmap& actual, const Bitmap& expected,
                                               int maxDiff, double meanDiff = 255.0) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure()
               << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
               << "x" << expected.height;
    if (actual.pixels.size() != actual.stride() * actual.height)
        return ::testing::AssertionFailure() << "pixel buffer does not match the size";
    const PixelDifference d = pixelDifference(actual, expected);
    if (d.max > maxDiff || d.mean > meanDiff)
        return ::testing::AssertionFailure()
               << "max difference " << d.max << " at (" << d.worstX << "," << d.worstY << "), mean "
               << d.mean << "; allowed " << maxDiff << " / " << meanDiff;
    return ::testing::AssertionSuccess();
}

// Box-filter reduction: every destination pixel is the area-weighted mean of the source
// rectangle it covers.
inline Bitmap areaAverage(const Bitmap& src, int width, int height) {
    Bitmap out;
    out.resize(width, height);
    const double sx = double(src.width) / width, sy = double(src.height) / height;
    for (int y = 0; y < height; ++y) {
        const double y0 = y * sy, y1 = y0 + sy;
        for (int x = 0; x < width; ++x) {
            const double x0 = x * sx, x1 = x0 + sx;
            double sum[3] = {0, 0, 0}, area = 0;
            for (int v = int(y0); v < std::min(src.height, int(std::ceil(y1))); ++v) {
                const double wy = std::min(y1, v + 1.0) - std::max(y0, double(v));
                for (int u = int(x0); u < std::min(src.width, int(std::ceil(x1))); ++u) {
                    const double w = wy * (std::min(x1, u + 1.0) - std::max(x0, double(u)));
                    const std::uint8_t* p = src.row(v) + u * 3;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * p[c];
                    area += w;
                }
            }
            for (int c = 0; c < 3; ++c)
                out.row(y)[x * 3 + c] = static_cast<std::uint8_t>(sum[c] / area + 0.5);
        }
    }
    return out;
}

} // namespace zp::test
