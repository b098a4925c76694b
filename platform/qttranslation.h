#pragma once
// Qt's own texts (the standard buttons' "Cancel", the tab bar's scroll buttons, the
// editing menu of a text box) in Japanese, as every text of the program is.
#include <QString>

class QCoreApplication;

namespace zp {

// Installs Qt's Japanese translation ("qtbase_ja") into app: from the "translations"
// folder beside the program or the program's folder itself (a portable copy), else
// from Qt's own translations folder. False when none could be loaded.
bool installQtTranslation(QCoreApplication& app, const QString& programFolder);

} // namespace zp
