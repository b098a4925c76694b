#include "tabchain.h"

#include "platform/radiogroup.h"
#include "ui_zoripost1.h"

#include <QAbstractButton>
#include <QTabBar>
#include <QTabWidget>

namespace zp {
namespace {

// The log format group takes one tab stop (its chosen button) between the check box above
// it and the folder button below it.
void placeRadioGroup(Ui::TfrmMain& form) {
    QWidget* previous = form.chkMailAddrAutoClear;
    for (QAbstractButton* b :
         form.radLogSave->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        QWidget::setTabOrder(previous, b);
        previous = b;
    }
    QWidget::setTabOrder(previous, form.btnDirSelect);
}

} // namespace

void placeTabChain(Ui::TfrmMain& form) {
    placeRadioGroup(form);
    // The form's order holds the mail area, then each page in turn. Forward Tab goes on
    // from the quit button into the pane's page tabs and from the pane's last control
    // back to the menu button, as Shift+Tab goes the other way.
    auto* pages = form.pgctlOption;
    QTabBar* tabs = pages->tabBar();
    // The page control hands its focus to its tabs, wherever it sits in the chain: it would
    // be a second stop at the tabs, on the way from the pane back to the menu button. The
    // tabs themselves are the stop.
    pages->setFocusProxy(nullptr);
    pages->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(form.btnExit, tabs);
    QWidget::setTabOrder(form.memoDebug, form.btnAddrMenu);
    // The tab row is read as the pane's name; the about tab's caption is a question mark.
    tabs->setAccessibleName(QStringLiteral("設定"));
    tabs->setAccessibleTabName(pages->indexOf(form.tsAbout), QStringLiteral("バージョン情報"));
}

} // namespace zp
