#pragma once
// The address-book window tests: a main window opened on a settings file with five entries
// (kanji, ①, 髙, entries without a name), and helpers to read the list and to act inside
// a modal loop.
#include "app/zoripost1.h"
#include "app_support.h"
#include "platform/textcodec.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace zp::test {

// Entries 1, 3 and 5 are checked.
inline const QStringList kEntries = {
    QStringLiteral("山田 太郎 (yamada@example.jp)"), QStringLiteral("髙橋① (takahashi@example.jp)"),
    QStringLiteral("nobody@example.jp"), QStringLiteral("表ソ　(hyo@example.jp)"),
    QStringLiteral("ソ連 (soren@example.jp)")};
inline const bool kChecked[] = {true, false, true, false, true};

// The [mail] lines of the address book as the settings file holds them (Shift-JIS, CR LF).
inline std::string addressLines(const QStringList& entries, const std::vector<bool>& checked) {
    std::string s = "addrcount=" + std::to_string(entries.size()) + "\r\n";
    for (int i = 0; i < entries.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        s += "addr" + n + "=" + toSjis(entries[i]) + "\r\n";
        s += "addrChecked" + n + "=" + (checked[static_cast<std::size_t>(i)] ? "1" : "0") + "\r\n";
    }
    return s;
}

class AddrWindowTest : public ::testing::Test {
protected:
    void open(const std::string& mailLines = addressLines(kEntries,
                                                          std::vector<bool>(std::begin(kChecked),
                                                                            std::end(kChecked)))) {
        QFile ini(dir.filePath(QStringLiteral("zoripost.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        const std::string text =
            "[smtp]\r\nhost=smtp.example.jp\r\nuser=u\r\naddr=me@example.jp\r\n"
            "[mail]\r\n" +
            mailLines;
        ini.write(text.data(), static_cast<qint64>(text.size()));
        ini.close();
        window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents(); // FormShow runs from the event loop
    }
    template <class T> T* control(const char* name) { return findControl<T>(window.get(), name); }
    QListWidget* list() { return control<QListWidget>("chlAddr"); }
    // The entries as "[x] text" or "[ ] text".
    QStringList entries() {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out << (list()->item(i)->checkState() == Qt::Checked ? QStringLiteral("[x] ")
                                                                 : QStringLiteral("[ ] ")) +
                       list()->item(i)->text();
        return out;
    }
    QString label() { return control<QLabel>("lblChecked")->text(); }
    bool collapsed() {
        return control<QWidget>("pnlSelectedAddr")->isVisible() && !list()->isVisible();
    }
    QString focusName() const {
        QWidget* f = QApplication::focusWidget();
        return f ? f->objectName() : QString();
    }
    // The point of entry `row` in the list's viewport.
    QPoint entryPoint(int row) { return list()->visualItemRect(list()->item(row)).center(); }
    // Runs `act` with the modal window once its loop is running and it has become the
    // active window, as a person would meet it.
    static void whenModal(std::function<void(QWidget*)> act) {
        QTimer::singleShot(0, [act] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr) << "no modal window opened";
            // The platform activates it from the event queue; a transient window counts as
            // active while its parent is, so QTest's window wait would not wait.
            EXPECT_TRUE(QTest::qWaitFor([modal] { return QApplication::activeWindow() == modal; }))
                << "the modal window never became active";
            act(modal);
        });
    }
    // After a popup or a modal window has closed, the main window becomes the active one
    // again (the headless platform does not hand the activation back by itself).
    void backToWindow() {
        window->activateWindow();
        EXPECT_TRUE(
            QTest::qWaitFor([this] { return QApplication::activeWindow() == window.get(); }));
    }

    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
};

} // namespace zp::test
