#pragma once
// A path typed or shown in the window as the plain libraries' file-system path and back: the
// local 8-bit name on Unix, the wide-character name on Windows.
#include <QString>

#include <filesystem>
#include <string>

namespace zp {

std::filesystem::path toFsPath(const QString& text);
// Shown with the system's own separators.
QString fromFsPath(const std::filesystem::path& path);
// A path as the 8-bit text the plain libraries take where they keep a path as a string (the
// settings file, the attachment, the CA file): the local 8-bit name on Unix, UTF-8 on Windows,
// where the ANSI code page would lose every character it lacks.
std::string toPathText(const QString& text);

} // namespace zp
