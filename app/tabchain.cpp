#include "tabchain.h"

#include "platform/radiogroup.h"
#include "platform/windowhost.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QTabBar>
#include <QTabWidget>

namespace zp {
namespace {

// The log format group takes one tab stop (its chosen button) between the check box above
// it and the folder button below it.
void placeRadioGroup(QMainWindow* w) {
    QWidget* previous = findControl<QWidget>(w, "chkMailAddrAutoClear");
    for (QAbstractButton* b : findControl<RadioGroup>(w, "radLogSave")
                                  ->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        QWidget::setTabOrder(previous, b);
        previous = b;
    }
    QWidget::setTabOrder(previous, findControl<QWidget>(w, "btnDirSelect"));
}

} // namespace

void placeTabChain(QMainWindow* w) {
    placeRadioGroup(w);
    // The form's order holds the mail area, then each page in turn. Forward Tab goes on
    // from the quit button into the pane's page tabs and from the pane's last control
    // back to the menu button, as Shift+Tab goes the other way.
    auto* pages = findControl<QTabWidget>(w, "pgctlOption");
    QTabBar* tabs = pages->tabBar();
    // The page control hands its focus to its tabs, wherever it sits in the chain: it would
    // be a second stop at the tabs, on the way from the pane back to the menu button. The
    // tabs themselves are the stop.
    pages->setFocusProxy(nullptr);
    pages->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(findControl<QWidget>(w, "btnExit"), tabs);
    QWidget::setTabOrder(findControl<QWidget>(w, "memoDebug"),
                         findControl<QWidget>(w, "btnAddrMenu"));
    // The tab row is read as the pane's name; the about tab's caption is a question mark.
    tabs->setAccessibleName(QStringLiteral("設定"));
    tabs->setAccessibleTabName(pages->indexOf(findControl<QWidget>(w, "tsAbout")),
                               QStringLiteral("バージョン情報"));
}

} // namespace zp
