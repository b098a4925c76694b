#pragma once
// Hands a web address or a folder to the desktop (browser, file manager), as the
// shell's "open" verb does. The result is not checked by the callers.
#include <QString>

namespace zp {

// A text with a scheme ("https://...") is opened as a URL, anything else as a local path.
bool shellOpen(const QString& target);

} // namespace zp
