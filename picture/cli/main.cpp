// zoripost-jpeg: fits picture files to a phone screen and writes them as JPEGs under a size
// limit, with the same steps and status lines as the window's picture page.
#include "fileio/fileio.h"
#include "picture/cli/batch.h"
#include "picture/cli/options.h"
#include "picture/messages.h"
#include "picture/outputfiles.h"
#include "picture/preparedpicture.h"
#include "text/cp932.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The pipeline's texts are Shift-JIS; the terminal speaks UTF-8. A byte that is no character
// shows as "?".
std::string sjisToUtf8(const std::string& sjis) {
    return zp::sjisToUtf8(sjis, "?");
}

void printLine(const std::string& sjis, std::FILE* stream) {
    std::fprintf(stream, "%s\n", sjisToUtf8(sjis).c_str());
}

// printf into a string.
template <class... Args> std::string format(const char* pattern, Args... args) {
    const int n = std::snprintf(nullptr, 0, pattern, args...);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, args...);
    return out;
}

// Output files written in this run, by their path, with the input each came from. Files with
// the same output are converted on one thread in their order; others may look meanwhile.
struct WrittenFiles {
    std::mutex mutex;
    std::map<fs::path, std::string> files;
};

// The key under which an output path is remembered: the same file whatever way it was named.
fs::path outputKey(const fs::path& out) {
    std::error_code ec;
    const fs::path key = fs::weakly_canonical(out, ec);
    return ec ? out.lexically_normal() : key;
}

// A path's last part as text, in the form the arguments were read in.
std::string displayName(const fs::path& path) {
    return zp::fileio::displayPath(path.filename());
}

void printFailure(zp::cli::FileReport& report, const std::string& file, const std::string& cause,
                  const fs::path& out) {
    // An output of the same name that is already there is not this run's result.
    std::error_code ec;
    const bool older = fs::exists(fs::symlink_status(out, ec));
    report.err(
        format("zoripost-jpeg: %s: %s%s%s%s\n", file.c_str(), cause.c_str(), older ? "; " : "",
               older ? displayName(out).c_str() : "",
               older ? " in the output folder is from an earlier run and was left as it was" : ""));
}

// One file through the pipeline; true when it was written under its limit.
fs::path outputOf(const std::string& file, const zp::cli::Options& options) {
    return zp::outputCopyPath(options.outDir, displayName(zp::fileio::pathFromText(file)));
}

// The fitted bitmap as a binary PPM (P6): lossless, and read by every image tool.
std::vector<std::uint8_t> ppmOf(const zp::Bitmap& b) {
    const std::string header = format("P6\n%d %d\n255\n", b.width, b.height);
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (int y = 0; y < b.height; ++y) {
        bytes.insert(bytes.end(), b.row(y), b.row(y) + b.stride());
    }
    return bytes;
}

bool convertFile(const std::string& file, const zp::cli::Options& options, WrittenFiles& written,
                 zp::cli::FileReport& report) {
    const fs::path out = outputOf(file, options);
    const fs::path key = outputKey(out);
    {
        const std::lock_guard<std::mutex> lock(written.mutex);
        if (const auto first = written.files.find(key); first != written.files.end()) {
            report.err(format("zoripost-jpeg: %s: %s was already written from %s in this run; "
                              "not replaced\n",
                              file.c_str(), displayName(out).c_str(), first->second.c_str()));
            return false;
        }
    }
    std::string error;
    zp::PictureSource source;
    if (!zp::PictureSource::fromFile(zp::fileio::pathFromText(file), source, error)) {
        printFailure(report, file, error, out);
        return false;
    }
    // One fit per file: nothing to keep the decoded picture for.
    source.setKeepWhole(false);
    const zp::StatusFn status = [&](const zp::EncodeStep& step) {
        if (!options.quiet) {
            report.out(sjisToUtf8(zp::statusLine(step)) + "\n");
        }
    };
    zp::MakeJpegResult result = zp::makeJpegCore(source, options.settings, status);
    if (result.error != zp::PictureError::None) {
        printFailure(report, file, result.detail, out);
        return false;
    }
    if (!result.ok) {
        printFailure(report, file,
                     "over the size limit at quality " + std::to_string(result.quality) +
                         ", not written",
                     out);
        return false;
    }
    if (!zp::writeFileReplacing(out, result.jpeg, error)) {
        report.err(format("zoripost-jpeg: %s: %s\n", file.c_str(), error.c_str()));
        return false;
    }
    if (options.fittedPpm && !zp::writeFileReplacing(fs::path(out).replace_extension(".ppm"),
                                                     ppmOf(result.fitted), error)) {
        report.err(format("zoripost-jpeg: %s: %s\n", file.c_str(), error.c_str()));
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(written.mutex);
        written.files.emplace(key, file);
    }
    if (!options.quiet) {
        report.out(format("%s -> %s (%dx%d)\n", file.c_str(), zp::fileio::displayPath(out).c_str(),
                          result.fitted.width, result.fitted.height));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    zp::cli::Options options;
    std::string error;
    if (!zp::cli::parseOptions(zp::fileio::commandLineArguments(argc, argv), options, error)) {
        std::fprintf(stderr, "zoripost-jpeg: %s\n%s", error.c_str(), zp::cli::usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(zp::cli::usageText(), stdout);
        return 0;
    }
    std::error_code ec;
    if (!fs::is_directory(zp::fileio::pathFromText(options.outDir), ec)) {
        std::fprintf(stderr, "zoripost-jpeg: %s: ", options.outDir.c_str());
        printLine(zp::pictureMessage(zp::PictureError::OutputFolderMissing), stderr);
        return 1;
    }
    WrittenFiles written;
    const bool allOk = zp::cli::runBatch(
        options.files.size(), options.jobs > 0 ? options.jobs : zp::cli::defaultJobs(),
        [&](std::size_t i) {
            return zp::fileio::displayPath(outputKey(outputOf(options.files[i], options)));
        },
        [&](std::size_t i, zp::cli::FileReport& report) {
            return convertFile(options.files[i], options, written, report);
        });
    return allOk ? 0 : 1;
}
