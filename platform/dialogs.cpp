#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace zp {

namespace {

QString titleOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return QStringLiteral("警告");
    case MsgKind::Error:
        return QStringLiteral("エラー");
    case MsgKind::Confirmation:
        return QStringLiteral("確認");
    case MsgKind::Information:
    case MsgKind::None:
        break;
    }
    return QStringLiteral("情報");
}

QMessageBox::Icon iconOf(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Confirmation:
        return QMessageBox::Question;
    case MsgKind::Information:
        return QMessageBox::Information;
    case MsgKind::None:
        break;
    }
    return QMessageBox::NoIcon;
}

bool g_unattended = false;

class RealDialogs final : public Dialogs {
public:
    MsgAnswer message(QWidget* parent, MsgKind kind, const QString& text,
                      MsgButtons buttons) override {
        if (g_unattended) {
            const QString line = QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "));
            std::fprintf(stderr, "zoripost: %s: %s\n", qPrintable(titleOf(kind)), qPrintable(line));
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
        }
        QMessageBox box(iconOf(kind), titleOf(kind), text, QMessageBox::NoButton, parent);
        if (buttons == MsgButtons::YesNo) {
            QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
            QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
            box.setDefaultButton(yes);
            box.setEscapeButton(no);
            box.exec();
            return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
        }
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return MsgAnswer::Ok;
    }

    QString openFile(QWidget* parent, const QString& initialDir, const QString& filter) override {
        if (g_unattended)
            return {};
        return QFileDialog::getOpenFileName(parent, QString(), initialDir, filter);
    }

    QString saveFile(QWidget* parent, const QString& initialPath, const QString& filter) override {
        if (g_unattended)
            return {};
        return QFileDialog::getSaveFileName(parent, QString(), initialPath, filter);
    }

    QString chooseFolder(QWidget* parent, const QString& title, const QString& startDir) override {
        if (g_unattended)
            return {};
        // Folders of the file system only; files are not shown.
        return QFileDialog::getExistingDirectory(parent, title, startDir,
                                                 QFileDialog::ShowDirsOnly);
    }
};

RealDialogs g_real;
Dialogs* g_current = &g_real;

} // namespace

Dialogs& dialogs() {
    return *g_current;
}

void setDialogs(Dialogs* replacement) {
    g_current = replacement ? replacement : &g_real;
}

void answerUnattended() {
    g_unattended = true;
}

} // namespace zp
