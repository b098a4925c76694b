#include "picture/cli/options.h"

#include "settings/sizepresets.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zp::cli {

namespace {

bool parseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Out-of-range numbers are clamped like the settings page's boxes do.
bool parseClamped(const std::string& text, int lo, int hi, int& value) {
    if (!parseInt(text, value)) {
        return false;
    }
    value = std::clamp(value, lo, hi);
    return true;
}

bool parseSize(const std::string& text, PictureSettings& s) {
    const std::size_t x = text.find_first_of("xX");
    return x != std::string::npos && parseClamped(text.substr(0, x), 24, 1920, s.targetWidth) &&
           parseClamped(text.substr(x + 1), 32, 1080, s.targetHeight);
}

bool parseTurn(const std::string& text, TurnDirection& direction) {
    if (text == "left") {
        direction = TurnDirection::Left;
    } else if (text == "right") {
        direction = TurnDirection::Right;
    } else if (text == "none") {
        direction = TurnDirection::None;
    } else {
        return false;
    }
    return true;
}

bool parsePreset(const std::string& text, PictureSettings& s) {
    int index = 0;
    if (!parseInt(text, index) || index < 1 || index > 9) {
        return false;
    }
    const FrameSize size = parseSizePreset(sizePresetItems()[static_cast<std::size_t>(index)]);
    s.targetWidth = size.width;
    s.targetHeight = size.height;
    return true;
}

// Options that take a value; false when `name` is none of them or the value is bad.
bool applyValueOption(const std::string& name, const std::string& value, Options& o) {
    PictureSettings& s = o.settings;
    if (name == "--size") {
        return parseSize(value, s);
    }
    if (name == "--preset") {
        return parsePreset(value, s);
    }
    if (name == "--quality") {
        return parseClamped(value, 1, 100, s.jpeg.quality);
    }
    if (name == "--limit") {
        s.jpeg.limitSize = true;
        return parseClamped(value, 5, 100, s.jpeg.limitKB);
    }
    if (name == "--turn") {
        return parseTurn(value, s.fit.direction);
    }
    if (name == "--out") {
        o.outDir = value;
        return !value.empty();
    }
    if (name == "--jobs") {
        return parseClamped(value, 1, 256, o.jobs);
    }
    return false;
}

bool applyFlag(const std::string& name, Options& o) {
    PictureSettings& s = o.settings;
    if (name == "--cut") {
        s.fit.cut = true;
    } else if (name == "--no-cut") {
        s.fit.cut = false;
    } else if (name == "--enlarge") {
        s.fit.enlarge = true;
    } else if (name == "--no-enlarge") {
        s.fit.enlarge = false;
    } else if (name == "--no-limit") {
        s.jpeg.limitSize = false;
    } else if (name == "--fine") {
        s.jpeg.fine = true;
    } else if (name == "--fitted-ppm") {
        o.fittedPpm = true;
    } else if (name == "-q" || name == "--quiet") {
        o.quiet = true;
    } else if (name == "-h" || name == "--help") {
        o.help = true;
    } else {
        return false;
    }
    return true;
}

bool takesValue(const std::string& name) {
    static const char* const names[] = {"--size", "--preset", "--quality", "--limit",
                                        "--turn", "--out",    "--jobs"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return name == n; });
}

} // namespace

bool parseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    // A fresh settings page: 132 x 176, quality 90, no limit (100 kB when set), enlarge
    // small pictures, turn left when that suits the frame, no cutting.
    o.settings.fit.direction = TurnDirection::Left;
    bool filesOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        std::string value;
        const std::size_t eq = arg.find('=');
        const bool inlineValue = eq != std::string::npos && arg.rfind("--", 0) == 0;
        if (inlineValue) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
        }
        if (takesValue(arg)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + arg + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!applyValueOption(arg, value, o)) {
                error = "bad value for " + arg + ": " + value;
                return false;
            }
        } else if (inlineValue || !applyFlag(arg, o)) {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (!o.help && o.files.empty()) {
        error = "no picture files given";
        return false;
    }
    return true;
}

const char* usageText() {
    return "usage: zoripost-jpeg [options] FILE...\n"
           "Fits each picture (BMP, JPEG, GIF, PNG, HEIC/HEIF, WebP, AVIF) to a phone\n"
           "screen and writes it as "
           "zp_<name>.jpg into the output folder.\n"
           "\n"
           "  --size WxH          target size (24..1920 x 32..1080), default 132x176\n"
           "  --preset N          size preset 1..9 (1 = 240x320 ... 9 = 640x960)\n"
           "  --quality Q         quality to start with, 1..100, default 90\n"
           "  --limit KB          step the quality down by 5 until the file is under\n"
           "                      KB x 1024 bytes (5..100)\n"
           "  --fine              with a limit: after the steps of 5, try the four qualities\n"
           "                      above the one that fits and keep the highest that fits\n"
           "  --no-limit          no size limit (the default)\n"
           "  --turn DIR          left, right or none: lay a picture on its side when that\n"
           "                      suits the frame, default left\n"
           "  --cut / --no-cut    fill the frame and cut off the edges (default: fit inside)\n"
           "  --enlarge / --no-enlarge\n"
           "                      enlarge pictures smaller than the frame (default: enlarge)\n"
           "  --out DIR           output folder, default the current folder\n"
           "  --jobs N            convert N files at once (1..256), default one per core;\n"
           "                      each file's lines still come together, in the order given\n"
           "  --fitted-ppm        also write the fitted picture, as it went into the encoder,\n"
           "                      as zp_<name>.ppm (for comparing encoders on the same pixels)\n"
           "  -q, --quiet         print nothing but errors\n"
           "  -h, --help          this text\n"
           "\n"
           "Exit status: 0 when every file was written under its limit, 1 when a file\n"
           "failed or missed its limit (it is then not written), 2 on a usage error.\n";
}

} // namespace zp::cli
