#pragma once
// The version text the running executable carries. On Windows it is read from the
// executable's version resource: the first language and code page of its translation table
// (0411 and 03A4 for this program), then that table's FileVersion; empty when the executable
// carries none. Elsewhere an executable carries no such resource, and the version the build
// was made with stands for it.
#include <QString>

namespace zp {

QString executableFileVersion(const QString& buildVersion);

} // namespace zp
