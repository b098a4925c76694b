#pragma once
// A path typed or shown in the window as the plain libraries' file-system path and back: the
// local 8-bit name on Unix, the wide-character name on Windows.
#include <QString>

#include <filesystem>

namespace zp {

std::filesystem::path toFsPath(const QString& text);
// Shown with the system's own separators.
QString fromFsPath(const std::filesystem::path& path);

} // namespace zp
