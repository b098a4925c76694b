#include "folderdialog.h"

#include "dialogs.h"
#include "textcodec.h"

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
    if (const QString refusal = unstorableFolderMessage(chosen); !refusal.isEmpty()) {
        dialogs().message(owner, MsgKind::Information, refusal);
        return false;
    }
    folder = QDir::toNativeSeparators(chosen);
    return true;
}

QString unstorableFolderMessage(const QString& folder) {
    const auto [at, length] = firstCharNotKeptInSjis(folder);
    if (length == 0)
        return {};
    const QString ch = folder.mid(at, length);
    const QString code =
        QStringLiteral("U+%1").arg(ch.toUcs4().value(0), 4, 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("「%1」(%2) はフォルダ名として設定に保存できない文字です。"
                          "この文字を含まないフォルダを指定してください。")
        .arg(ch, code);
}

} // namespace zp
