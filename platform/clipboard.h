#pragma once
// The system clipboard as the intake reads it, with a stand-in a test can set.
class QMimeData;

namespace zp {

// What the clipboard offers now, or null; valid until the clipboard changes.
const QMimeData* clipboardContents();

// Contents that clipboardContents() gives instead of the system's, until it is called again
// with null. The caller keeps them alive while they stand in.
void setClipboardStandIn(const QMimeData* contents);

} // namespace zp
