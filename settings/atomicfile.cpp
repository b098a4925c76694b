#include "atomicfile.h"

#include <cerrno>
#include <cstring>

namespace zp {

bool replaceFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
    fileio::ReplaceOptions options;
    options.link = fileio::LinkAtTarget::Follow;
    options.keepMode = true;
    options.durable = true;
#ifdef _WIN32
    const std::wstring wide = fileio::wideFromUtf8(path);
    if (wide.empty()) {
        error = std::string("not a valid file name: ") + path + ": " + std::strerror(EINVAL);
        return false;
    }
    return fileio::replaceFile(wide, contents, options, error, path);
#else
    return fileio::replaceFile(path, contents, options, error);
#endif
}

} // namespace zp
