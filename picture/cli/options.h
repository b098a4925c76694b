#pragma once
// Command-line options of zoripost-jpeg, with the defaults of a fresh settings page.
#include "picture/preparedpicture.h"

#include <string>
#include <vector>

namespace zp::cli {

struct Options {
    PictureSettings settings;
    std::string outDir = ".";
    std::vector<std::string> files;
    bool help = false;
    bool quiet = false;
    bool fittedPpm = false; // also write the fitted picture, before encoding, as zp_<name>.ppm
    int jobs = 0;           // files converted at once; 0: one per core
};

// Parses the arguments after the program's name; false with a message in `error` on a usage
// error.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* usageText();

} // namespace zp::cli
