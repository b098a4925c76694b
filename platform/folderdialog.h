#pragma once
// The shared folder-selection dialog of the log folder and the picture output folder.
#include <QString>

class QWidget;

namespace zp {

// The title is the same for both callers.
inline constexpr char16_t kSelectFolderTitle[] = u"ログを保存するフォルダを選択してください。";

// Shows the folder dialog starting at folder (owned by the active window when owner is
// null). On true, folder holds the chosen folder; on false (cancelled) it is unchanged.
bool selectFolder(QWidget* owner, QString& folder);

} // namespace zp
