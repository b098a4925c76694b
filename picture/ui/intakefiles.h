#pragma once
// Which file a path given to the intake stands for: links are followed to their target
// (symbolic links, desktop link files, and on Windows shell shortcuts), and a path that
// names nothing that could be attached is refused with the reason.
#include <QString>

namespace zp {

// Links inside links are followed this far; a loop ends here.
inline constexpr int kMaxLinkHops = 8;

struct IntakeFile {
    QString path;   // clean absolute path of an existing, readable, regular file
    QString reason; // when path is empty: a status line saying why nothing was taken
};

IntakeFile resolveIntakeFile(const QString& given);

// One step along a link: the absolute target of a symbolic link, a desktop link file with a
// local file URL, or (on Windows) a shell shortcut. Empty text when the path is no link.
QString resolveShortcut(const QString& path);

// The path spelled as the file system holds it: clean and absolute when the file exists,
// empty otherwise. Never cut to a length: a cut path could name another file.
QString longPathName(const QString& path);

// By the file-name extension alone, in any letter case: bmp, jpg, jpeg, gif and png.
bool isPictureFileName(const QString& path);

} // namespace zp
