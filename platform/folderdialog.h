#pragma once
// The shared folder-selection dialog of the log folder and the picture output folder.
#include <QString>

class QWidget;

namespace zp {

// The title is the same for both callers.
inline constexpr char16_t kSelectFolderTitle[] = u"ログを保存するフォルダを選択してください。";

// Shows the folder dialog starting at folder (owned by the active window when owner is
// null). On true, folder holds the chosen folder; on false (cancelled, or a folder whose
// name the settings file cannot hold, which is then refused with its message) it is
// unchanged.
bool selectFolder(QWidget* owner, QString& folder);

// The message refusing a folder whose name Shift-JIS cannot hold as it is, naming the
// first such character; empty when the name is kept. The settings file, the send log's
// writer and the log sorter all take the name through Shift-JIS, so such a folder would
// be a different one, or none, for them.
QString unstorableFolderMessage(const QString& folder);

} // namespace zp
