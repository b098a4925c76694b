// The command-line tools' arguments and the paths they name.
#include "fileio/fileio.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#endif

namespace zp {
namespace fileio {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    // The C runtime made argv from the wide command line through the ANSI code page, which
    // turns every character it lacks into another one ("é" into "e" on a Japanese system)
    // and leaves the rest in code page bytes; the wide line has them all.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide) {
        for (int i = 1; i < count; ++i)
            args.push_back(utf8FromWide(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

fs::path pathFromText(const std::string& text) {
#ifdef _WIN32
    return fs::path(wideFromUtf8(text));
#else
    return fs::path(text);
#endif
}

} // namespace fileio
} // namespace zp
