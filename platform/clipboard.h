#pragma once
// The system clipboard as the intake reads it. Tests set it through Qt: the offscreen
// platform keeps the QMimeData it is given, formats and all.
class QMimeData;

namespace zp {

// What the clipboard offers now, or null; valid until the clipboard changes.
const QMimeData* clipboardContents();

} // namespace zp
