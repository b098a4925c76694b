// The window as it looks: every caption reads in full, the design fonts everywhere, the
// tab chain of each settings page, list rows, the about page's bevel, the disabled output
// folder, the status bar, the pictures of buttons and menus, and the JPEG drawn pixel for
// pixel. CTest runs this binary at 100 % and again with QT_SCALE_FACTOR at 125, 150 and
// 200 %, where the same checks hold.
#include "app/zoripost1.h"
#include "app_support.h"
#include "picture/ui/intake.h"
#include "platform/glyphbutton.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using zp::findControl;

static ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new zp::test::QtEnvironment);

namespace {

const QStringList kServerSet = {QStringLiteral("smtp.example.jp"), QStringLiteral("user"),
                                QStringLiteral("me@example.jp")};

class PolishTest : public ::testing::Test {
protected:
    void open() {
        window = std::make_unique<TfrmMain>(dir.filePath(QStringLiteral("zoripost")));
        const char* names[] = {"edtSMTPHost", "edtSMTPUser", "edtSMTPAddr"};
        for (int i = 0; i < 3; ++i)
            control<QLineEdit>(names[i])->setText(kServerSet.at(i));
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents();
    }
    // Shows the settings panel on that page (-1: the panel hidden).
    void showPage(int page) {
        if (control<QWidget>("pnlConfig")->isVisible() != (page >= 0))
            window->btnConfigClick();
        if (page >= 0)
            control<QTabWidget>("pgctlOption")->setCurrentIndex(page);
        QCoreApplication::processEvents();
    }
    void addRecipient(const QString& entry, bool checked) {
        auto* list = control<QListWidget>("chlAddr");
        list->addItem(entry);
        list->item(list->count() - 1)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    template <class T> T* control(const char* name) { return findControl<T>(window.get(), name); }
    qreal scale() const { return window->devicePixelRatio(); }

    zp::test::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TfrmMain> window;
};

// ---- captions ------------------------------------------------------------------------

struct Caption {
    QString text;
    QRect room; // where the control lets its caption go, in its own coordinates
};

QStringList captionLines(QString text) {
    return text.remove(QLatin1Char('&')).split(QLatin1Char('\n'));
}

QRect buttonContents(const QAbstractButton* b, QStyle::SubElement element) {
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    opt.icon = b->icon();
    opt.iconSize = b->iconSize();
    return b->style()->subElementRect(element, &opt, b);
}

// The caption of a control and the room it has; an empty text for controls without one.
Caption captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) {
        const int m = l->margin();
        return {l->pixmap().isNull() ? l->text() : QString(),
                l->contentsRect().adjusted(m, m, -m, -m)};
    }
    if (auto* c = qobject_cast<QCheckBox*>(w))
        return {c->text(), buttonContents(c, QStyle::SE_CheckBoxContents)};
    if (auto* r = qobject_cast<QRadioButton*>(w))
        return {r->text(), buttonContents(r, QStyle::SE_RadioButtonContents)};
    if (auto* g = qobject_cast<zp::GlyphButton*>(w))
        return {g->text(), g->captionRect()};
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QRect r = buttonContents(b, QStyle::SE_PushButtonContents);
        if (!b->icon().isNull())
            r.setLeft(r.left() + b->iconSize().width() + 4);
        return {b->text(), r};
    }
    return {};
}

// Width and height the text needs: its advance, or its ink where a glyph reaches further.
QSize textNeeds(const QFontMetrics& fm, const QString& text) {
    const QStringList lines = captionLines(text);
    int width = 0;
    for (const QString& line : lines)
        width = std::max({width, fm.horizontalAdvance(line), fm.boundingRect(line).right() + 1});
    return {width, fm.height() * static_cast<int>(lines.size())};
}

// The part of w's rectangle (in its parent) that its parent shows.
bool insideParent(const QWidget* w, const QRect& rectInParent) {
    const QWidget* p = w->parentWidget();
    return !p || p->isWindow() || p->rect().contains(rectInParent);
}

// A later sibling lies on top of w.
const QWidget* coveringSibling(const QWidget* w, const QRect& rectInParent) {
    const QWidget* p = w->parentWidget();
    if (!p)
        return nullptr;
    const QObjectList& siblings = p->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(w)) + 1; i < siblings.size(); ++i) {
        auto* s = qobject_cast<const QWidget*>(siblings.at(i));
        if (s && s->isVisible() && !s->isWindow() && s->geometry().intersects(rectInParent))
            return s;
    }
    return nullptr;
}

// Every visible caption of the window that needs more room than its control gives it, is
// cut by its parent's edge, or lies under another control.
QStringList cutCaptions(QWidget* window) {
    QStringList cut;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->objectName().isEmpty() || w->objectName().startsWith("qt_"))
            continue;
        const Caption c = captionOf(w);
        if (c.text.isEmpty())
            continue;
        const QSize needs = textNeeds(QFontMetrics(w->font()), c.text);
        const QString name = w->objectName();
        if (needs.width() > c.room.width() || needs.height() > c.room.height())
            cut << QStringLiteral("%1 needs %2x%3, has %4x%5")
                       .arg(name)
                       .arg(needs.width())
                       .arg(needs.height())
                       .arg(c.room.width())
                       .arg(c.room.height());
        QRect text(c.room.topLeft(), needs.boundedTo(c.room.size()));
        if (qobject_cast<QLabel*>(w))
            text = QStyle::alignedRect(w->layoutDirection(), static_cast<QLabel*>(w)->alignment(),
                                       text.size(), c.room);
        const QRect inParent = text.translated(w->pos());
        if (!insideParent(w, inParent))
            cut << name + QStringLiteral(" runs past the edge of ") +
                       w->parentWidget()->objectName();
        if (const QWidget* s = coveringSibling(w, inParent))
            cut << name + QStringLiteral(" runs under ") + s->objectName();
    }
    // Tab captions: the bar shows every tab in full, without scroll buttons.
    for (QTabBar* bar : window->findChildren<QTabBar*>()) {
        if (!bar->isVisible())
            continue;
        const QFontMetrics fm(bar->font());
        for (int i = 0; i < bar->count(); ++i)
            if (!bar->rect().contains(bar->tabRect(i)) ||
                textNeeds(fm, bar->tabText(i)).width() > bar->tabRect(i).width())
                cut << QStringLiteral("tab ") + bar->tabText(i);
    }
    return cut;
}

struct View {
    const char* name;
    int page; // -1: settings hidden
    bool selectedPanel;
    bool hiddenOptions;
};

class CaptionsFit : public PolishTest, public ::testing::WithParamInterface<View> {};

TEST_P(CaptionsFit, EveryVisibleCaptionReadsInFull) {
    const View v = GetParam();
    open();
    addRecipient(QStringLiteral("山田 (yamada@example.jp)"), true);
    if (v.hiddenOptions)
        window->runHandler("imgProgramIconClick");
    showPage(v.page);
    if (v.selectedPanel) {
        // Leaving the list for the subject collapses it to the chosen recipients.
        control<QWidget>("chlAddr")->setFocus();
        control<QWidget>("edtTitle")->setFocus();
        QCoreApplication::processEvents();
        ASSERT_TRUE(control<QWidget>("pnlSelectedAddr")->isVisible());
    }
    EXPECT_EQ(cutCaptions(window.get()), QStringList()) << "at scale " << scale();
}

INSTANTIATE_TEST_SUITE_P(
    Views, CaptionsFit,
    ::testing::Values(View{"narrow", -1, false, false}, View{"chosenRecipients", -1, true, false},
                      View{"picturePage", 0, false, false}, View{"sendPage", 1, false, false},
                      View{"serverPage", 2, false, false}, View{"aboutPage", 3, false, false},
                      View{"aboutPageRevealed", 3, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PolishTest, LabelsFollowANewText) {
    open();
    auto* label = control<QLabel>("lblChecked");
    label->setText(QStringLiteral("送信先メールアドレス一覧 (1234567890)"));
    QCoreApplication::processEvents();
    EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));
}

// ---- fonts -----------------------------------------------------------------------------

TEST_F(PolishTest, EveryControlUsesTheDesignFontOrItsStandIn) {
    open();
    const QString family = QFontInfo(window->font()).family();
    const QStringList mono = {"memoBody", "cmbSize"};
    ASSERT_TRUE(family == QStringLiteral("IPAPGothic") ||
                family == QStringLiteral("ＭＳ Ｐゴシック"))
        << family.toStdString();
    for (int page = 0; page < 4; ++page) {
        showPage(page);
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->objectName().isEmpty() || w->objectName().startsWith("qt_"))
                continue;
            const QFontInfo info(w->font());
            if (mono.contains(w->objectName()))
                EXPECT_NE(info.family(), family) << w->objectName().toStdString();
            else
                EXPECT_EQ(info.family(), family) << w->objectName().toStdString();
            EXPECT_EQ(info.pixelSize(), 12) << w->objectName().toStdString();
        }
    }
    for (const char* menu : {"popAddr", "popImgEdit", "popWholeSize"})
        EXPECT_EQ(QFontInfo(control<QMenu>(menu)->font()).family(), family) << menu;
}

TEST_F(PolishTest, LinksAreBlueAndUnderlinedInTheWindowFont) {
    open();
    for (const char* name : {"lblUrl", "lblAutoSendCaution"}) {
        auto* link = control<QLabel>(name);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 0xFF)) << name;
        EXPECT_TRUE(link->font().underline()) << name;
        EXPECT_EQ(link->font().family(), window->font().family()) << name;
    }
    EXPECT_EQ(control<QLabel>("Label3")->palette().color(QPalette::WindowText),
              QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(PolishTest, PasswordBoxShowsAStarPerCharacter) {
    open();
    auto* pwd = control<QLineEdit>("edtPOP3Pwd");
    EXPECT_EQ(pwd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pwd->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pwd), '*');
}

// ---- tab chain -------------------------------------------------------------------------

struct Chain {
    const char* name;
    int page;
    QStringList order;
};

class TabChain : public PolishTest, public ::testing::WithParamInterface<Chain> {};

TEST_P(TabChain, TabVisitsThePageInItsOrder) {
    const Chain c = GetParam();
    open();
    // Everything that a check box can switch off is on, so that the chain is complete.
    for (const char* box : {"chkLimitSize", "chkRot", "chkOutMadeGrp", "chkPOPbSMTP"})
        if (!control<QAbstractButton>(box)->isChecked())
            control<QAbstractButton>(box)->click();
    window->runHandler("imgProgramIconClick");
    if (!control<QAbstractButton>("chkSendCap")->isChecked())
        control<QAbstractButton>("chkSendCap")->click();
    showPage(c.page);
    control<QWidget>(c.order.first().toLatin1().constData())->setFocus(Qt::TabFocusReason);
    QStringList seen;
    for (int i = 0; i < c.order.size(); ++i) {
        QWidget* f = QApplication::focusWidget();
        seen << (f ? f->objectName() : QString());
        QTest::keyClick(f, Qt::Key_Tab);
    }
    EXPECT_EQ(seen, c.order);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, TabChain,
    ::testing::Values(
        Chain{"picture",
              0,
              {"edtQuality", "chkLimitSize", "edtLimitSize", "cmbSize", "edtSizeW", "edtSizeH",
               "chkStretchMiniImg", "chkRot", "radLeftRot", "chkAllowCut", "btnMakeJpeg",
               "chkOutMadeGrp", "edtOutDir", "btnOutDirSelect", "btnOutFolderOpen"}},
        Chain{"send",
              1,
              {"chkAutoSend", "chkFileAutoClear", "chkMailAddrAutoClear", "radLogSave_0",
               "btnDirSelect", "btnFolderOpen", "edtSaveDir", "chkMakeNameDir", "btnAutoAlloc"}},
        Chain{"server",
              2,
              {"edtSMTPHost", "edtSMTPUser", "edtSMTPAddr", "edtSMTPName", "chkPOPbSMTP",
               "edtPOP3Host", "edtPOP3Pwd", "edtReplyTo"}},
        Chain{"about", 3, {"chkSendCap", "edtSendSE", "btnSendSE"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PolishTest, LogFormatGroupIsOneStopAtItsChosenButton) {
    open();
    showPage(1);
    control<QAbstractButton>("radLogSave_2")->click();
    control<QWidget>("chkMailAddrAutoClear")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("radLogSave_2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("btnDirSelect"));
}

TEST_F(PolishTest, ScrollBoxTakesNoKeyboardFocus) {
    open();
    auto* box = control<QWidget>("sbImageScroll");
    EXPECT_EQ(box->focusPolicy(), Qt::NoFocus);
    control<QWidget>("btnExit")->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), box);
    }
}

} // namespace
