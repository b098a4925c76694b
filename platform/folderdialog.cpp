#include "folderdialog.h"

#include "dialogs.h"

#include <QApplication>
#include <QDir>

namespace zp {

bool selectFolder(QWidget* owner, QString& folder) {
    if (!owner)
        owner = QApplication::activeWindow();
    const QString chosen =
        dialogs().chooseFolder(owner, QString::fromUtf16(kSelectFolderTitle), folder);
    if (chosen.isEmpty())
        return false;
    folder = QDir::toNativeSeparators(chosen);
    return true;
}

} // namespace zp
