// The recipient list and the address dialog on the real main window: the count label, the
// collapsed view and what does not collapse it, the address menu, the keyboard, the
// commands with their messages, the dialog's cleaning, and the settings round trip.
#include "addressbook/addrbook.h"
#include "addressbook/ui/inputaddr.h"
#include "addressbook/ui/recipientlist.h"
#include "addressbook_ui_support.h"
#include "support/rows.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

using zp::findControl;
using zp::MsgAnswer;
using zp::MsgKind;
using zp::test::AddrWindowTest;
using zp::test::kEntries;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

using zp::test::PrintTo;

const QString kSent = QStringLiteral("メールを送信しました");

QStringList selectedAddrTexts(QListWidget* l) {
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

TEST_F(AddrWindowTest, CountLabelAndCollapsedView) {
    open();
    EXPECT_EQ(focusName(), QStringLiteral("chlAddr"));
    EXPECT_FALSE(collapsed());
    EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (3)"));
    control<QWidget>("edtTitle")->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(collapsed());
    EXPECT_EQ(label(), QStringLiteral("選択済みメールアドレス (3)"));
    EXPECT_EQ(selectedAddrTexts(control<QListWidget>("lstSelectedAddr")),
              (QStringList{kEntries[0], kEntries[2], kEntries[4]}));
}

TEST_F(AddrWindowTest, FocusBetweenListAndMenuButtonKeepsTheListOpen) {
    open();
    const struct {
        const char* to;
        bool collapsed;
    } steps[] = {
        {"btnAddrMenu", false}, {"chlAddr", false}, {"btnAddrMenu", false}, {"memoBody", true}};
    for (const auto& s : steps) {
        control<QWidget>(s.to)->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(collapsed(), s.collapsed) << "focus on " << s.to;
    }
}

struct ExpandCase {
    const char* way;
    QString status;
    QString statusAfter;
    const char* focusAfter;
};

void PrintTo(const ExpandCase& c, std::ostream* os) {
    *os << c.way;
}

class Expand : public AddrWindowTest, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(Expand, ShowsTheCheckList) {
    const ExpandCase& c = GetParam();
    open();
    control<QWidget>("edtTitle")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(collapsed());
    window->reportStatus(c.status, MsgKind::None);
    const QString way = QString::fromLatin1(c.way);
    if (way == QLatin1String("label"))
        QTest::mouseClick(control<QWidget>("Label3"), Qt::LeftButton);
    else if (way == QLatin1String("panel"))
        QTest::mouseClick(control<QWidget>("pnlSelectedAddr"), Qt::LeftButton, {}, QPoint(4, 84));
    else if (way == QLatin1String("list focus"))
        control<QWidget>("lstSelectedAddr")->setFocus(Qt::TabFocusReason);
    else
        QTest::mouseClick(control<QWidget>("btnAddrMenu"), Qt::LeftButton);
    EXPECT_FALSE(collapsed());
    EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (3)"));
    EXPECT_EQ(window->statusText(), c.statusAfter);
    EXPECT_EQ(focusName(), QString::fromLatin1(c.focusAfter));
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Expand,
    ::testing::Values(ExpandCase{"label", kSent, QString(), "chlAddr"},
                      ExpandCase{"panel", kSent, QString(), "chlAddr"},
                      ExpandCase{"list focus", kSent, QString(), "chlAddr"},
                      ExpandCase{"menu button", kSent, QString(), "btnAddrMenu"},
                      ExpandCase{"label", QStringLiteral("送信に失敗しました"),
                                 QStringLiteral("送信に失敗しました"), "chlAddr"},
                      ExpandCase{"menu button", kSent + QLatin1Char('.'), kSent + QLatin1Char('.'),
                                 "btnAddrMenu"}));

enum class Popup { ContextMenu, MessageBox, AddressDialog };

class PopupsKeepTheListOpen : public AddrWindowTest, public ::testing::WithParamInterface<Popup> {};

TEST_P(PopupsKeepTheListOpen, AndTheFocusComesBack) {
    open();
    QWidget* view = list()->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, entryPoint(1));
    ASSERT_EQ(list()->currentRow(), 1);
    bool opened = false;
    switch (GetParam()) {
    case Popup::ContextMenu: {
        QWindow* handle = window->windowHandle();
        const QPoint at = handle->mapFromGlobal(view->mapToGlobal(entryPoint(3)));
        QTest::mousePress(handle, Qt::RightButton, {}, at);
        QTest::mouseRelease(handle, Qt::RightButton, {}, at);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        opened = menu->objectName() == QLatin1String("popAddr");
        EXPECT_EQ(list()->currentRow(), 3) << "the entry under the pointer is chosen";
        EXPECT_FALSE(collapsed());
        QTest::keyClick(menu, Qt::Key_Escape);
        break;
    }
    case Popup::MessageBox:
        zp::setDialogs(nullptr);
        whenModal([&](QWidget* modal) {
            opened = qobject_cast<QMessageBox*>(modal) != nullptr;
            EXPECT_FALSE(collapsed());
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        QTest::keyClick(list(), Qt::Key_Delete);
        zp::setDialogs(&dialogs);
        break;
    case Popup::AddressDialog:
        whenModal([&](QWidget* modal) {
            opened = modal->objectName() == QLatin1String("TfrmInputAddr");
            EXPECT_FALSE(collapsed());
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        window->recipientList()->btnAddrEditClick();
        break;
    }
    backToWindow();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(collapsed());
    EXPECT_EQ(focusName(), QStringLiteral("chlAddr"));
    EXPECT_EQ(list()->count(), kEntries.size());
}

INSTANTIATE_TEST_SUITE_P(Kinds, PopupsKeepTheListOpen,
                         ::testing::Values(Popup::ContextMenu, Popup::MessageBox,
                                           Popup::AddressDialog));

TEST_F(AddrWindowTest, MenuItemsFollowWhereTheMenuOpens) {
    open();
    auto* menu = control<QMenu>("popAddr");
    auto* edit = control<QAction>("popAddr_Edit");
    auto* del = control<QAction>("popAddr_Del");
    auto* checkCommand = control<QAction>("popAddr_SelectOrClear");
    QWidget* view = list()->viewport();
    QWindow* handle = window->windowHandle();
    const struct {
        const char* where;
        QPoint viewportPos; // right click there; null: the menu button
        bool enabled;
        QString checkCaption;
    } rows[] = {
        {"below the last entry", QPoint(40, view->height() - 2), false, QStringLiteral("全解除")},
        {"on an entry", entryPoint(2), true, QStringLiteral("全解除")},
        {"below again", QPoint(40, view->height() - 2), false, QStringLiteral("全解除")},
        {"menu button", QPoint(), true, QStringLiteral("全解除")},
    };
    ASSERT_LT(list()->visualItemRect(list()->item(4)).bottom(), view->height() - 2);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.where);
        if (r.viewportPos.isNull()) {
            QTest::mouseClick(control<QWidget>("btnAddrMenu"), Qt::LeftButton);
            QWidget* b = control<QWidget>("btnAddrMenu");
            EXPECT_EQ(menu->pos(), b->mapToGlobal(QPoint(0, b->height())));
        } else {
            const QPoint at = handle->mapFromGlobal(view->mapToGlobal(r.viewportPos));
            QTest::mousePress(handle, Qt::RightButton, {}, at);
            QTest::mouseRelease(handle, Qt::RightButton, {}, at);
        }
        EXPECT_TRUE(menu->isVisible()) << r.where;
        EXPECT_EQ(edit->isEnabled(), r.enabled) << r.where;
        EXPECT_EQ(del->isEnabled(), r.enabled) << r.where;
        EXPECT_EQ(checkCommand->text(), r.checkCaption) << r.where;
        menu->close();
    }
    // Opened by the menu button with nothing chosen, edit and delete answer with a message.
    list()->clearSelection();
    edit->trigger();
    del->trigger();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("送信先一覧にて変更するメールアドレスをクリックしてください。"));
    EXPECT_EQ(dialogs.messages[1].text,
              QStringLiteral("送信先一覧にて削除するメールアドレスをクリックしてください。"));
    EXPECT_EQ(dialogs.messages[1].kind, MsgKind::Information);
    EXPECT_EQ(list()->count(), kEntries.size());
}

TEST_F(AddrWindowTest, CheckAllAndClearAll) {
    open();
    auto* menu = control<QMenu>("popAddr");
    auto* command = control<QAction>("popAddr_SelectOrClear");
    const struct {
        QString caption;
        QString labelAfter;
    } rows[] = {{QStringLiteral("全解除"), QStringLiteral("メールアドレス一覧 (0)")},
                {QStringLiteral("全チェック"), QStringLiteral("メールアドレス一覧 (5)")},
                {QStringLiteral("全解除"), QStringLiteral("メールアドレス一覧 (0)")}};
    for (const auto& r : rows) {
        menu->popup(QPoint(0, 0));
        EXPECT_EQ(command->text(), r.caption);
        menu->close();
        command->trigger();
        EXPECT_EQ(label(), r.labelAfter);
    }
}

struct DeleteCase {
    const char* press; // a button's caption, or "Esc"
    bool deleted;
};

class DeleteAnswer : public AddrWindowTest, public ::testing::WithParamInterface<DeleteCase> {};

// The real message box, answered as a person would.
TEST_P(DeleteAnswer, DeletesOnlyOnYes) {
    const DeleteCase& c = GetParam();
    open();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, entryPoint(2));
    ASSERT_EQ(list()->currentRow(), 2);
    zp::setDialogs(nullptr);
    QString text, title;
    QStringList buttons;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        if (QLatin1String(c.press) == QLatin1String("Esc")) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QString::fromUtf8(c.press))
                b->click();
    });
    QTest::keyClick(list(), Qt::Key_Delete);
    zp::setDialogs(&dialogs);
    EXPECT_EQ(text, QStringLiteral("nobody@example.jpを削除してよろしいですか？"));
    EXPECT_EQ(title, QStringLiteral("確認"));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
    if (c.deleted) {
        EXPECT_EQ(list()->count(), 4);
        EXPECT_FALSE(entries().contains(QStringLiteral("[x] nobody@example.jp")));
        EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (2)"));
    } else {
        EXPECT_EQ(list()->count(), 5);
        EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (3)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, DeleteAnswer,
                         ::testing::Values(DeleteCase{"はい(&Y)", true},
                                           DeleteCase{"いいえ(&N)", false},
                                           DeleteCase{"Esc", false}));

TEST_F(AddrWindowTest, KeyboardSpaceTogglesF2AndDoubleClickEditNothing) {
    open();
    QWidget* view = list()->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, entryPoint(1) + QPoint(60, 0));
    ASSERT_EQ(list()->currentRow(), 1);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(list()->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (4)"));
    QTest::keyClick(list(), Qt::Key_F2);
    QTest::mouseDClick(view, Qt::LeftButton, {}, entryPoint(1) + QPoint(60, 0));
    QCoreApplication::processEvents();
    EXPECT_TRUE(list()->findChildren<QLineEdit*>().isEmpty()) << "an editor opened in place";
    EXPECT_EQ(focusName(), QStringLiteral("chlAddr"));
    EXPECT_EQ(list()->item(1)->text(), kEntries[1]);
}

// Types into the dialog opened by the add command and presses Enter; a refusal leaves the
// dialog open, and the test then cancels it.
struct DialogCase {
    const char* what;
    QString name;
    QString address;
    QString entry;   // the new entry; empty when refused
    QString message; // the refusal's message
};

void PrintTo(const DialogCase& c, std::ostream* os) {
    *os << c.what;
}

class DialogInput : public AddrWindowTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogInput, CleansOrRefuses) {
    const DialogCase& c = GetParam();
    open();
    bool openAfterEnter = false;
    whenModal([&](QWidget* modal) {
        findControl<QLineEdit>(modal, "edtName")->setText(c.name);
        findControl<QLineEdit>(modal, "edtAddr")->setText(c.address);
        QTest::keyClick(findControl<QLineEdit>(modal, "edtName"), Qt::Key_Return);
        openAfterEnter = modal->isVisible();
        if (openAfterEnter)
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    control<QAction>("popAddr_Add")->trigger();
    QStringList expected;
    for (int i = 0; i < kEntries.size(); ++i)
        expected << (zp::test::kChecked[i] ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) +
                        kEntries[i];
    if (c.entry.isEmpty()) {
        EXPECT_TRUE(openAfterEnter);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, c.message);
        EXPECT_EQ(dialogs.messages[0].kind, MsgKind::Information);
        EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (3)"));
    } else {
        EXPECT_FALSE(openAfterEnter);
        EXPECT_TRUE(dialogs.messages.empty());
        expected << QStringLiteral("[x] ") + c.entry;
        EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (4)"));
    }
    EXPECT_EQ(entries(), expected);
}

const QString kNoAddress = QStringLiteral("メールアドレスを入力してください");

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogInput,
    ::testing::Values(
        DialogCase{"name and address",
                   QStringLiteral("佐藤"),
                   QStringLiteral("s@x.jp"),
                   QStringLiteral("佐藤 (s@x.jp)"),
                   {}},
        DialogCase{"no name", {}, QStringLiteral(" s@x.jp"), QStringLiteral(" s@x.jp"), {}},
        DialogCase{"blanks before ( and parentheses",
                   QStringLiteral("A  (B"),
                   QStringLiteral("a(b)@x.jp"),
                   QStringLiteral("A(B (ab@x.jp)"),
                   {}},
        DialogCase{"kanji of the extension rows",
                   QStringLiteral("髙橋①"),
                   QStringLiteral("t@x.jp"),
                   QStringLiteral("髙橋① (t@x.jp)"),
                   {}},
        // As every other box does, the dialog takes JIS X 0208's mapping (wave dash, minus,
        // em dash, cent, pound, not, double bar) as the code page's form of the character.
        DialogCase{
            "JIS mapping stored in the code page's form",
            QString::fromUtf16(u"\u301C\u2212\u2014\u00A2\u00A3\u00AC\u2016"),
            QString::fromUtf16(u"a\u301Cb@x.jp"),
            QString::fromUtf16(u"\uFF5E\uFF0D\u2015\uFFE0\uFFE1\uFFE2\u2225 (a\uFF5Eb@x.jp)"),
            {}},
        DialogCase{"name only", QStringLiteral("佐藤"), {}, {}, kNoAddress},
        DialogCase{"blank address", {}, QStringLiteral("   "), {}, kNoAddress},
        DialogCase{"address of parentheses only",
                   QStringLiteral("佐藤"),
                   QStringLiteral("( )"),
                   {},
                   kNoAddress},
        DialogCase{"character outside Shift-JIS in the name",
                   QStringLiteral("佐藤😀"),
                   QStringLiteral("s@x.jp"),
                   {},
                   QStringLiteral("「😀」(U+1F600) はアドレス帳に保存できない文字です。"
                                  "別の文字に置き換えてください。")},
        DialogCase{"character outside Shift-JIS in the address",
                   {},
                   QStringLiteral("한@x.jp"),
                   {},
                   QStringLiteral("「한」(U+D55C) はアドレス帳に保存できない文字です。"
                                  "別の文字に置き換えてください。")},
        DialogCase{"entry too long for the settings file",
                   QString(2000, QLatin1Char('n')),
                   QString(45, QLatin1Char('a')),
                   {},
                   QStringLiteral("名前とメールアドレスが長すぎます。"
                                  "合わせて2047バイト以内にしてください。")}));

TEST_F(AddrWindowTest, DialogFormAndTheWaysToCancel) {
    open();
    auto* dialog = window->findChild<QDialog*>(QStringLiteral("TfrmInputAddr"));
    ASSERT_NE(dialog, nullptr) << "created with the window";
    EXPECT_FALSE(dialog->isVisible());
    const char* ways[] = {"Esc", "cancel button", "close box"};
    for (const char* way : ways) {
        QString title, focus;
        QSize size;
        bool okIsDefault = false;
        whenModal([&](QWidget* modal) {
            title = modal->windowTitle();
            size = modal->size();
            focus =
                QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
            EXPECT_EQ(QApplication::focusWidget(), modal->focusWidget());
            okIsDefault = findControl<QPushButton>(modal, "btnOK")->isDefault();
            findControl<QLineEdit>(modal, "edtAddr")->setText(QStringLiteral("new@x.jp"));
            const QString w = QString::fromLatin1(way);
            if (w == QLatin1String("Esc"))
                QTest::keyClick(modal, Qt::Key_Escape);
            else if (w == QLatin1String("cancel button"))
                findControl<QPushButton>(modal, "btnCancel")->click();
            else
                modal->close();
        });
        window->recipientList()->btnAddrAddClick();
        EXPECT_EQ(title, QStringLiteral("メールアドレス入力"));
        EXPECT_EQ(size, QSize(396, 120));
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
        EXPECT_EQ(focus, QStringLiteral("edtName"));
        EXPECT_TRUE(okIsDefault);
        EXPECT_EQ(list()->count(), kEntries.size()) << way;
        EXPECT_EQ(window->findChild<QDialog*>(QStringLiteral("TfrmInputAddr")), dialog)
            << "the same dialog is reused";
    }
}

TEST_F(AddrWindowTest, EditSplitsTheEntryAndKeepsPlaceAndCheck) {
    open();
    const struct {
        int row;
        QString name, address; // what the boxes show
        QString typedName;     // null: cancel
        QString after;
    } rows[] = {
        {2,
         {},
         QStringLiteral("nobody@example.jp"),
         QStringLiteral("誰か"),
         QStringLiteral("[x] 誰か (nobody@example.jp)")},
        {3,
         {},
         QStringLiteral("表ソ　(hyo@example.jp)"),
         QString(),
         QStringLiteral("[ ] 表ソ　(hyo@example.jp)")},
        {0, QStringLiteral("山田 太郎"), QStringLiteral("yamada@example.jp"), QString(),
         QStringLiteral("[x] 山田 太郎 (yamada@example.jp)")},
        {1, QStringLiteral("髙橋①"), QStringLiteral("takahashi@example.jp"),
         QStringLiteral("髙橋 (①"), QStringLiteral("[ ] 髙橋(① (takahashi@example.jp)")},
    };
    for (const auto& r : rows) {
        list()->setCurrentRow(r.row);
        QString shownName, shownAddress;
        whenModal([&](QWidget* modal) {
            auto* name = findControl<QLineEdit>(modal, "edtName");
            shownName = name->text();
            shownAddress = findControl<QLineEdit>(modal, "edtAddr")->text();
            if (r.typedName.isNull()) {
                QTest::keyClick(modal, Qt::Key_Escape);
                return;
            }
            name->setText(r.typedName);
            findControl<QPushButton>(modal, "btnOK")->click();
        });
        control<QAction>("popAddr_Edit")->trigger();
        EXPECT_EQ(shownName, r.name) << r.row;
        EXPECT_EQ(shownAddress, r.address) << r.row;
        EXPECT_EQ(entries().at(r.row), r.after);
        EXPECT_EQ(list()->count(), kEntries.size());
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

// Every entry and check mark goes back into the file exactly as it came, whatever the
// characters; a deleted entry leaves no key behind.
TEST_F(AddrWindowTest, SaveKeepsEntriesByteForByte) {
    std::string mail = zp::test::addressLines(kEntries, {true, false, true, false, true}) +
                       "addr6=\r\naddrChecked6=1\r\naddr7=\"  spaced@example.jp \"\r\n"
                       "addrChecked7=0\r\n";
    mail.replace(0, mail.find("\r\n"), "addrcount=7");
    open(mail);
    ASSERT_EQ(list()->count(), 7);
    EXPECT_EQ(list()->item(6)->text(), QStringLiteral("  spaced@example.jp "));
    auto savedAddrLines = [this] {
        window->FormClose();
        QFile f(dir.filePath(QStringLiteral("zoripost.ini")));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        std::string out;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("addr") && !line.startsWith("addr="))
                out += line.toStdString() + "\n";
        return out;
    };
    EXPECT_EQ(savedAddrLines(), mail);

    // The next start deletes the last entry.
    window.reset();
    window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
    list()->setCurrentRow(6);
    dialogs.answer = MsgAnswer::Yes;
    window->recipientList()->btnAddrDelClick();
    ASSERT_EQ(list()->count(), 6);
    mail.erase(mail.find("addr7="));
    mail.replace(0, mail.find("\r\n"), "addrcount=6");
    EXPECT_EQ(savedAddrLines(), mail);
}

struct ImportRow {
    const char* what;
    const char* fixture; // a file of tests/data/addressbook, or nullptr to write `bytes`
    std::string bytes;
    qint64 size; // when above 0, the file is grown (sparse) to this size
    QStringList added;
    MsgKind kind;
    QString message; // in the box's text
};

void PrintTo(const ImportRow& r, std::ostream* os) {
    *os << r.what;
}

const QString kNotRead = QStringLiteral("アドレス帳を読み込めませんでした。\n");
const std::string kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\n";

QString counts(int added, int skipped, int refused) {
    return QStringLiteral("%1 件のメールアドレスを追加しました。\n"
                          "一覧にすでにあるため飛ばしたもの: %2 件\n読み込めなかったもの: %3 件")
        .arg(added)
        .arg(skipped)
        .arg(refused);
}

class ImportFile : public AddrWindowTest, public ::testing::WithParamInterface<ImportRow> {};

TEST_P(ImportFile, AddsUncheckedAfterTheListOrChangesNothing) {
    const ImportRow& r = GetParam();
    open();
    QString path = dir.filePath(QStringLiteral("book.vcf"));
    if (r.fixture) {
        path = QString::fromUtf8(ZP_TEST_DATA "/addressbook/") + QLatin1String(r.fixture);
    } else {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(r.bytes.data(), static_cast<qint64>(r.bytes.size()));
        if (r.size > 0) {
            ASSERT_TRUE(f.resize(r.size));
        }
    }
    const QStringList before = entries();
    dialogs.fileAnswer = path;
    control<QAction>("popAddr_Import")->trigger();
    QStringList expected = before;
    for (const QString& e : r.added)
        expected << QStringLiteral("[ ] ") + e;
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(label(), QStringLiteral("メールアドレス一覧 (3)"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].kind, r.kind);
    const QString text = dialogs.messages[0].text;
    EXPECT_TRUE(text.contains(r.message)) << text.toStdString();
    // A file refused whole is named in the box.
    if (r.kind == MsgKind::Error) {
        EXPECT_TRUE(text.startsWith(kNotRead + QDir::toNativeSeparators(path) + '\n'))
            << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImportFile,
    ::testing::Values(
        ImportRow{"phone backup, vCard 2.1 in Shift-JIS",
                  "phone_backup_21_sjis_qp.vcf",
                  {},
                  0,
                  {QStringLiteral("山田　太郎 (taro@docomo.example.jp)"),
                   QStringLiteral("山田　太郎 (taro.yamada@example.co.jp)"),
                   QStringLiteral(
                       "表計算ソフト担当　鈴木一郎（東京本社営業部第二課） (suzuki@example.jp)"),
                   QStringLiteral("佐藤 花子～ (hanako@ezweb.example.jp)")},
                  MsgKind::Information,
                  counts(4, 0, 0)},
        ImportRow{"Google Contacts CSV",
                  "google_contacts.csv",
                  {},
                  0,
                  {QStringLiteral("山田 太郎 (taro@example.jp)"),
                   QStringLiteral("山田 太郎 (taro2@example.jp)"),
                   QStringLiteral("山田 太郎 (yamada@work.example.jp)"),
                   QStringLiteral("佐藤 花子 (hanako@example.jp)"),
                   QStringLiteral("Smith, John (john@example.com)")},
                  MsgKind::Information,
                  counts(5, 0, 0)},
        ImportRow{"Thunderbird CSV in Shift-JIS",
                  "thunderbird_sjis.csv",
                  {},
                  0,
                  {QStringLiteral("鈴木 一郎 (ichiro@example.jp)"),
                   QStringLiteral("鈴木 一郎 (ichiro@mobile.example.jp)"),
                   QStringLiteral("Jane Doe (jane@example.org)")},
                  MsgKind::Information,
                  counts(3, 0, 0)},
        ImportRow{"duplicate and refused",
                  nullptr,
                  kCard + "FN:Y\r\nEMAIL:YAMADA@example.jp\r\nEND:VCARD\r\n" + kCard +
                      "FN:\xF0\x9F\x98\x80 smile\r\nEMAIL:s@x.jp\r\nEND:VCARD\r\n" + kCard +
                      "FN:\xE3\x80\x9C\r\nEMAIL:w@x.jp\r\nEND:VCARD\r\n",
                  0,
                  {QStringLiteral("～ (w@x.jp)")},
                  MsgKind::Information,
                  counts(1, 1, 1) +
                      QStringLiteral("\n\n最初に読み込めなかったもの: 😀 smile (s@x.jp)\n"
                                     "名前の「😀」(U+1F600) はアドレス帳に保存できない文字です。")},
        ImportRow{"a refused address of a megabyte is shown cut",
                  nullptr,
                  kCard + "FN:F\r\nEMAIL:" + std::string(1000000, 'a') + "\r\nEND:VCARD\r\n",
                  0,
                  {},
                  MsgKind::Information,
                  counts(0, 0, 1) + QStringLiteral("\n\n最初に読み込めなかったもの: F (") +
                      QString(80, 'a') + QStringLiteral("…)\nメールアドレスとして使えません。")},
        ImportRow{"100 MB, refused unread",
                  nullptr,
                  kCard,
                  100 << 20,
                  {},
                  MsgKind::Error,
                  QStringLiteral("\nファイルが大きすぎます（16 MB まで）。")},
        ImportRow{"a line of 10 MB",
                  nullptr,
                  kCard + "NOTE:" + std::string(10 << 20, 'x'),
                  0,
                  {},
                  MsgKind::Error,
                  QStringLiteral("\n3 行目が長すぎます（1 行 1 MB まで）。")},
        ImportRow{"broken quoted-printable",
                  nullptr,
                  kCard + "FN;ENCODING=QUOTED-PRINTABLE:=E5=B1=G1\r\nEMAIL:a@x\r\nEND:VCARD\r\n",
                  0,
                  {},
                  MsgKind::Error,
                  QStringLiteral("\n3 行目の quoted-printable の値が壊れています。")},
        ImportRow{"unknown charset",
                  nullptr,
                  kCard + "FN;CHARSET=EUC-KR:x\r\nEMAIL:a@x\r\nEND:VCARD\r\n",
                  0,
                  {},
                  MsgKind::Error,
                  QStringLiteral("\n3 行目の文字コード「EUC-KR」には対応していません。")},
        ImportRow{"binary file named .vcf",
                  nullptr,
                  std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16),
                  0,
                  {},
                  MsgKind::Error,
                  QStringLiteral("\nテキストのファイルではありません。")}));

// The list written out and read back in adds nothing: every address is already there, and
// the entry without " (" before its address (a full-width blank) is no address.
TEST_F(AddrWindowTest, ExportReadsBackAndReimportsAsDuplicates) {
    open();
    dialogs.saveAnswer = dir.filePath(QStringLiteral("書き出し"));
    control<QAction>("popAddr_Export")->trigger();
    ASSERT_EQ(dialogs.saveRequests.size(), 1);
    EXPECT_TRUE(dialogs.saveRequests[0].endsWith(QStringLiteral("/アドレス帳.vcf|vCard (*.vcf)")));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window->statusText(),
              QStringLiteral("5 件のメールアドレスをアドレス帳に書き出しました"));
    const QString written = dir.filePath(QStringLiteral("書き出し.vcf"));
    dialogs.fileAnswer = written;
    control<QAction>("popAddr_Import")->trigger();
    EXPECT_EQ(list()->count(), 5);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(counts(0, 4, 1)));
}

TEST_F(AddrWindowTest, CancelledFileDialogsChangeNothing) {
    open();
    control<QAction>("popAddr_Import")->trigger();
    control<QAction>("popAddr_Export")->trigger();
    EXPECT_EQ(dialogs.openRequests.size(), 1);
    EXPECT_EQ(dialogs.saveRequests.size(), 1);
    EXPECT_EQ(list()->count(), 5);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace

// A name read from a file is held or refused exactly as the address dialog holds or refuses
// it when typed, folded forms included.
TEST(AddrImportNames, FollowTheAddressDialogsRule) {
    const QString names[] = {QStringLiteral("〜−‖—¢£¬¥¦‾"), QStringLiteral("①髙﨑ｶ∵＼"),
                             QStringLiteral("ë"),           QStringLiteral("😀"),
                             QStringLiteral("€"),           QStringLiteral("\u00A0"),
                             QStringLiteral("©"),           QStringLiteral("ⅰ")};
    for (const QString& name : names) {
        const bool dialogTakes =
            zp::firstCharNotKeptInSjis(zp::foldToCp932Forms(name)).second == 0;
        const zp::AddrImport plan =
            zp::planAddrImport({}, {{name.toStdString(), {"a@example.jp"}}});
        EXPECT_EQ(plan.entries.size() == 1, dialogTakes) << name.toStdString();
        if (dialogTakes) {
            EXPECT_EQ(zp::fromSjis(plan.entries[0]),
                      zp::foldToCp932Forms(name) + QStringLiteral(" (a@example.jp)"));
        }
    }
}
