#include "windowhost.h"

#include <QFrame>
#include <QLabel>
#include <QStatusBar>

namespace zp {

QString WindowHost::statusText() {
    auto* bar = window()->findChild<QStatusBar*>(QStringLiteral("statusBar"));
    return bar ? bar->currentMessage() : QString();
}

void WindowHost::setControlsEnabled(bool enabled) {
    for (const char* name : {"pnlMain", "pnlConfig"})
        findControl<QWidget>(window(), name)->setEnabled(enabled);
}

void WindowHost::setSourceFileName(const QString& pathOrName) {
    const qsizetype cut = std::max(pathOrName.lastIndexOf(QLatin1Char('/')),
                                   pathOrName.lastIndexOf(QLatin1Char('\\')));
    findControl<QLabel>(window(), "lblFileNameF")->setText(pathOrName.mid(cut + 1));
}

} // namespace zp
