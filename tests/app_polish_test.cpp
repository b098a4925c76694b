// The window as it looks: every caption reads in full, the design fonts everywhere, the
// tab chain of each settings page, list rows, the about page's bevel, the disabled output
// folder, the status bar, the pictures of buttons and menus, and the JPEG drawn pixel for
// pixel. CTest runs this binary at 100 % and again with QT_SCALE_FACTOR at 125, 150 and
// 200 %, where the same checks hold.
#include "addressbook/ui/inputaddr.h"
#include "app/about.h"
#include "app/zoripost1.h"
#include "app_support.h"
#include "logtool/ui/logfolder.h"
#include "mail/ui/serversecurity.h"
#include "picture/ui/intake.h"
#include "platform/glyphbutton.h"
#include "platform/radiogroup.h"

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
#include <QStyleOptionComboBox>
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
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        // Every item must read in full when chosen: the widest one against the box's field.
        QString widest;
        const QFontMetrics fm(box->font());
        for (int i = 0; i < box->count(); ++i)
            if (fm.horizontalAdvance(box->itemText(i)) > fm.horizontalAdvance(widest))
                widest = box->itemText(i);
        QStyleOptionComboBox opt;
        opt.initFrom(box);
        opt.currentText = widest;
        return {widest, box->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                     QStyle::SC_ComboBoxEditField, box)};
    }
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

// A visible label beside a check box or radio button that the control reaches into.
const QWidget* labelRunInto(const QWidget* w) {
    if (!qobject_cast<const QCheckBox*>(w) && !qobject_cast<const QRadioButton*>(w))
        return nullptr;
    for (const QLabel* l : w->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
        if (l->isVisible() && l->geometry().intersects(w->geometry()))
            return l;
    return nullptr;
}

// Every visible caption of the window that needs more room than its control gives it, is
// cut by its parent's edge, or lies under another control; and every check box or radio
// button that has grown into a label beside it.
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
        if (const QWidget* l = labelRunInto(w))
            cut << name + QStringLiteral(" runs into ") + l->objectName();
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

void PrintTo(const View& v, std::ostream* os) {
    *os << v.name;
}

class CaptionsFit : public PolishTest, public ::testing::WithParamInterface<View> {};

TEST_P(CaptionsFit, EveryVisibleCaptionReadsInFull) {
    const View v = GetParam();
    open();
    addRecipient(QStringLiteral("山田 (yamada@example.jp)"), true);
    if (v.hiddenOptions)
        window->aboutPage()->imgProgramIconClick();
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

// The dialogs the window opens: their captions read in full too, in the window's font.
struct DialogCase {
    const char* name;
    QDialog* (*make)(QWidget* window);
    // The window's font family while the dialog is made; null for the design font. IPAGothic
    // gives every kana a full-width advance, as some desktops' stand-ins for the design font do.
    const char* family = nullptr;
};

void PrintTo(const DialogCase& c, std::ostream* os) {
    *os << c.name;
}

QDialog* makeAddressDialog(QWidget* window) {
    return new zp::TfrmInputAddr(window);
}

QDialog* makeServerDialog(QWidget* window) {
    return new zp::ServerSecurityDialog(zp::MailPorts{}, window);
}

class DialogCaptionsFit : public PolishTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(DialogCaptionsFit, EveryVisibleCaptionReadsInFull) {
    open();
    if (const char* family = GetParam().family) {
        QFont wide(QString::fromLatin1(family));
        wide.setPixelSize(12);
        window->setFont(wide);
        ASSERT_EQ(QFontInfo(window->font()).family(), QString::fromLatin1(family));
    }
    std::unique_ptr<QDialog> dialog(GetParam().make(window.get()));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_EQ(QFontInfo(dialog->font()).family(), QFontInfo(window->font()).family());
    EXPECT_EQ(cutCaptions(dialog.get()), QStringList()) << "at scale " << scale();
    for (QLineEdit* box : dialog->findChildren<QLineEdit*>())
        EXPECT_TRUE(dialog->rect().contains(box->geometry())) << box->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, DialogCaptionsFit,
    ::testing::Values(DialogCase{"address", &makeAddressDialog},
                      DialogCase{"addressFullWidthKana", &makeAddressDialog, "IPAGothic"},
                      DialogCase{"serverSecurity", &makeServerDialog},
                      DialogCase{"serverSecurityFullWidthKana", &makeServerDialog, "IPAGothic"}),
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
    int page; // -1: the settings pane hidden
    QStringList order;
    bool backward = false; // Shift+Tab
};

void PrintTo(const Chain& c, std::ostream* os) {
    *os << c.name;
}

class TabChain : public PolishTest, public ::testing::WithParamInterface<Chain> {};

TEST_P(TabChain, TabVisitsThePageInItsOrder) {
    const Chain c = GetParam();
    open();
    // Everything that a check box can switch off is on, so that the chain is complete.
    for (const char* box : {"chkLimitSize", "chkRot", "chkOutMadeGrp", "chkPOPbSMTP"})
        if (!control<QAbstractButton>(box)->isChecked())
            control<QAbstractButton>(box)->click();
    // The log folder controls are on only while a log is kept.
    control<zp::RadioGroup>("radLogSave")->setItemIndex(1);
    window->logFolder()->radLogSaveClick();
    window->aboutPage()->imgProgramIconClick();
    if (!control<QAbstractButton>("chkSendCap")->isChecked())
        control<QAbstractButton>("chkSendCap")->click();
    showPage(c.page);
    control<QWidget>(c.order.first().toLatin1().constData())->setFocus(Qt::TabFocusReason);
    QStringList seen;
    for (int i = 0; i < c.order.size(); ++i) {
        QWidget* f = QApplication::focusWidget();
        seen << (f ? f->objectName() : QString());
        QTest::keyClick(f, c.backward ? Qt::Key_Backtab : Qt::Key_Tab,
                        c.backward ? Qt::ShiftModifier : Qt::NoModifier);
    }
    EXPECT_EQ(seen, c.order);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, TabChain,
    ::testing::Values(
        Chain{"picture",
              0,
              {"edtQuality", "chkLimitSize", "edtLimitSize", "cmbSize", "edtSizeW", "edtSizeH",
               "chkStretchMiniImg", "chkRot", "radLeftRot", "chkAllowCut", "chkFineQuality",
               "btnMakeJpeg", "chkOutMadeGrp", "edtOutDir", "btnOutDirSelect", "btnOutFolderOpen"}},
        Chain{"send",
              1,
              {"chkAutoSend", "chkFileAutoClear", "chkMailAddrAutoClear", "radLogSave_1",
               "btnDirSelect", "btnFolderOpen", "edtSaveDir", "chkMakeNameDir", "cmbCharset",
               "btnAutoAlloc"}},
        Chain{"server",
              2,
              {"edtSMTPHost", "btnServerSecurity", "edtSMTPUser", "edtSMTPAddr", "edtSMTPName",
               "chkPOPbSMTP", "edtPOP3Host", "edtPOP3Pwd", "chkKeyring", "edtReplyTo"}},
        Chain{"about", 3, {"lblUrl", "chkSendCap", "edtSendSE", "btnSendSE"}},
        Chain{
            "mail_area_round",
            -1,
            {"btnSend", "btnClear", "btnConfig", "btnExit", "btnAddrMenu", "chlAddr", "edtTitle"}},
        Chain{"mail_area_into_pane",
              2,
              {"btnConfig", "btnExit", "qt_tabwidget_tabbar", "edtSMTPHost", "btnServerSecurity",
               "edtSMTPUser", "edtSMTPAddr", "edtSMTPName", "chkPOPbSMTP", "edtPOP3Host",
               "edtPOP3Pwd", "chkKeyring", "edtReplyTo", "btnAddrMenu", "chlAddr"}},
        Chain{"pane_end_to_mail_area", 3, {"btnSendSE", "btnAddrMenu", "chlAddr", "edtTitle"}},
        Chain{"shift_tab_mirror",
              2,
              {"btnAddrMenu", "edtReplyTo", "chkKeyring", "edtPOP3Pwd", "edtPOP3Host",
               "chkPOPbSMTP", "edtSMTPName", "edtSMTPAddr", "edtSMTPUser", "btnServerSecurity",
               "edtSMTPHost", "qt_tabwidget_tabbar", "btnExit"},
              true}),
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

// ---- rows, bevels, colours, status bar ------------------------------------------------

TEST_F(PolishTest, RecipientListsHaveRowsOfTwelvePixels) {
    open();
    addRecipient(QStringLiteral("山田 (yamada@example.jp)"), true);
    addRecipient(QStringLiteral("gyoza@example.jp"), false);
    addRecipient(QStringLiteral("佐藤 (sato@example.jp)"), true);
    auto* list = control<QListWidget>("chlAddr");
    for (int i = 0; i < list->count(); ++i)
        EXPECT_EQ(list->visualItemRect(list->item(i)),
                  QRect(0, 12 * i, list->viewport()->width(), 12))
            << i;
    // The check box of a row fits in the row.
    EXPECT_LE(list->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, list), 12);
    control<QWidget>("chlAddr")->setFocus();
    control<QWidget>("edtTitle")->setFocus();
    QCoreApplication::processEvents();
    auto* chosen = control<QListWidget>("lstSelectedAddr");
    ASSERT_EQ(chosen->count(), 2);
    EXPECT_EQ(chosen->visualItemRect(chosen->item(1)).top(), 12);
    EXPECT_EQ(chosen->visualItemRect(chosen->item(1)).height(), 12);
}

// The colour of the window's pixel at a point given in a widget's own (logical) pixels.
QColor pixelAt(const QImage& shot, qreal scale, int x, int y) {
    return shot.pixelColor(static_cast<int>((x + 0.5) * scale),
                           static_cast<int>((y + 0.5) * scale));
}

TEST_F(PolishTest, AboutPanelHasALoweredOuterAndARaisedInnerBevel) {
    open();
    showPage(3);
    auto* panel = control<QWidget>("pnlAbout");
    const QImage shot = panel->grab().toImage();
    const QColor light(panel->palette().color(QPalette::Light).rgb());
    const QColor dark(panel->palette().color(QPalette::Dark).rgb());
    const int w = panel->width(), h = panel->height();
    const struct {
        int x, y;
        QColor colour;
    } rows[] = {{w / 2, 0, dark},      {w / 2, 1, light},     {0, h / 2, dark},
                {1, h / 2, light},     {w / 2, h - 1, light}, {w / 2, h - 2, dark},
                {w - 1, h / 2, light}, {w - 2, h / 2, dark}};
    for (const auto& r : rows)
        EXPECT_EQ(pixelAt(shot, scale(), r.x, r.y), r.colour) << r.x << "," << r.y;
}

TEST_F(PolishTest, OutputFolderIsSilverAndItsButtonsOffUntilSwitchedOn) {
    open();
    showPage(0);
    auto* on = control<QAbstractButton>("chkOutMadeGrp");
    ASSERT_FALSE(on->isChecked());
    auto* box = control<QLineEdit>("edtOutDir");
    const QPoint middle(box->width() / 2, box->height() / 2);
    const auto boxColour = [&] {
        return pixelAt(box->grab().toImage(), scale(), middle.x(), middle.y());
    };
    const QStringList buttons = {"btnOutDirSelect", "btnOutFolderOpen"};
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(boxColour(), QColor(0xC0, 0xC0, 0xC0));
    for (const QString& b : buttons)
        EXPECT_FALSE(control<QWidget>(b.toLatin1().constData())->isEnabled()) << b.toStdString();
    on->click();
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(boxColour(), QColor(0xFF, 0xFF, 0xFF));
    for (const QString& b : buttons)
        EXPECT_TRUE(control<QWidget>(b.toLatin1().constData())->isEnabled()) << b.toStdString();
}

TEST_F(PolishTest, PopBeforeSmtpBoxOnTheGroupsEdgeShowsThePage) {
    open();
    showPage(2);
    auto* box = control<QWidget>("chkPOPbSMTP");
    auto* group = control<QWidget>("GroupBox3");
    ASSERT_EQ(box->parentWidget(), group);
    const QImage shot = window->grab().toImage();
    const auto at = [&](const QWidget* w, int x, int y) {
        const QPoint p = w->mapTo(window.get(), QPoint(x, y));
        return pixelAt(shot, scale(), p.x(), p.y());
    };
    // Over the group's top edge, the box shows the page beside the group, not a band.
    const QColor page = at(group, -3, 8);
    for (int x : {box->width() / 2, box->width() - 2})
        EXPECT_EQ(at(box, x, 0), page) << x;
}

// The contrast ratio of two colours, from their relative luminance (as WCAG defines both).
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(PolishTest, SwitchedOffBoxShowsItsTextReadablyOnSilver) {
    open();
    showPage(0);
    // A preset locks the size boxes, showing its size in them.
    auto* presets = control<QComboBox>("cmbSize");
    presets->setCurrentIndex(1);
    emit presets->activated(1);
    auto* box = control<QLineEdit>("edtSizeW");
    ASSERT_FALSE(box->isEnabled());
    ASSERT_EQ(box->text(), QStringLiteral("240"));
    const QImage shot = box->grab().toImage();
    const QColor silver(0xC0, 0xC0, 0xC0);
    EXPECT_EQ(pixelAt(shot, scale(), box->width() - 4, box->height() / 2), silver);
    // The darkest of the screen's pixels inside the frame is the text's own colour.
    QColor darkest = silver;
    const int frame = qCeil(3 * scale());
    for (int y = frame; y < shot.height() - frame; ++y)
        for (int x = frame; x < shot.width() - frame; ++x)
            if (const QColor c = shot.pixelColor(x, y); c.lightness() < darkest.lightness())
                darkest = c;
    EXPECT_GE(contrast(darkest, silver), 3.0)
        << darkest.name().toStdString() << " at scale " << scale();
}

TEST_F(PolishTest, StatusBarIsNineteenPixelsAcrossTheBottomAtBothWidths) {
    open();
    for (int page : {-1, 0}) {
        showPage(page);
        EXPECT_EQ(window->statusBar()->geometry(), QRect(0, 334, window->width(), 19)) << page;
    }
}

// ---- pictures --------------------------------------------------------------------------

class ButtonGlyph : public PolishTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ButtonGlyph, ShowsItsPictureSharpAtTheWindowsScale) {
    open();
    showPage(0);
    window->aboutPage()->imgProgramIconClick();
    auto* button = control<QAbstractButton>(GetParam());
    ASSERT_FALSE(button->icon().isNull());
    const QSize device = button->icon().pixmap(button->iconSize(), scale()).size();
    EXPECT_EQ(device, button->iconSize() * scale());
    // The picture is drawn: the button looks different without it.
    const QIcon glyph = button->icon();
    const QImage with = button->grab().toImage();
    button->setIcon(QIcon());
    const QImage without = button->grab().toImage();
    button->setIcon(glyph);
    EXPECT_NE(with, without);
}

INSTANTIATE_TEST_SUITE_P(Buttons, ButtonGlyph,
                         ::testing::Values("btnAddrMenu", "btnPaste", "btnPasteFromVelmaclip",
                                           "btnSend", "btnClear", "btnConfig", "btnExit",
                                           "btnMakeJpeg", "btnOutDirSelect", "btnOutFolderOpen",
                                           "btnDirSelect", "btnFolderOpen", "btnAutoAlloc"));

TEST_F(PolishTest, AddressAndEditMenusShowSmallIcons) {
    open();
    for (const char* menu : {"popAddr", "popImgEdit"})
        for (QAction* a : control<QMenu>(menu)->actions())
            if (!a->isSeparator()) {
                EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
            }
}

// Noise, so that any smoothing between neighbouring pixels would show.
QImage noisePicture(int width, int height) {
    QImage noise(width, height, QImage::Format_RGB32);
    QRandomGenerator random(14);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, 0xFF000000u | (random.generate() & 0xFFFFFFu));
    return noise;
}

TEST_F(PolishTest, PreviewDrawsTheJpegPixelForPixelAtTheWindowsScale) {
    open();
    const QImage noise = noisePicture(132, 176);
    const QString file = dir.filePath(QStringLiteral("noise.png"));
    ASSERT_TRUE(noise.save(file));
    window->findChild<zp::Intake*>()->openPictureFile(file, false);
    auto* pane = control<QLabel>("imgJPEGnized");
    ASSERT_TRUE(pane->isVisible());
    const QImage jpeg = pane->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(jpeg.size(), noise.size());
    const QImage shown = pane->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect at = QStyle::alignedRect(pane->layoutDirection(), pane->alignment(), jpeg.size(),
                                         pane->contentsRect());
    const qreal s = scale();
    int exact = 0, total = 0, foreign = 0;
    for (int y = qCeil(at.top() * s); y < qFloor((at.bottom() + 1) * s); ++y) {
        for (int x = qCeil(at.left() * s); x < qFloor((at.right() + 1) * s); ++x) {
            const int sx = static_cast<int>((x + 0.5) / s) - at.left();
            const int sy = static_cast<int>((y + 0.5) / s) - at.top();
            const QRgb p = shown.pixel(x, y);
            ++total;
            if (p == jpeg.pixel(sx, sy)) {
                ++exact;
                continue;
            }
            // At a fractional scale a device pixel may fall to the next source pixel.
            bool neighbour = false;
            for (int dy = -1; dy <= 1 && !neighbour; ++dy)
                for (int dx = -1; dx <= 1 && !neighbour; ++dx)
                    neighbour =
                        jpeg.rect().contains(sx + dx, sy + dy) && p == jpeg.pixel(sx + dx, sy + dy);
            foreign += !neighbour;
        }
    }
    EXPECT_EQ(foreign, 0) << "of " << total << " device pixels at scale " << s;
    // At a whole-number scale each picture pixel is a square block of screen pixels.
    if (s == std::floor(s)) {
        EXPECT_EQ(exact, total);
    }
}

TEST_F(PolishTest, OverviewIsDrawnInTheScreensPixels) {
    open();
    // A frame larger than the preview area, which gets its overview.
    control<QLineEdit>("edtSizeW")->setText(QStringLiteral("480"));
    control<QLineEdit>("edtSizeH")->setText(QStringLiteral("640"));
    const QString file = dir.filePath(QStringLiteral("noise.png"));
    ASSERT_TRUE(noisePicture(480, 640).save(file));
    window->findChild<zp::Intake*>()->openPictureFile(file, false);
    auto* panel = control<QWidget>("pnlWhole");
    ASSERT_TRUE(panel->isVisible());
    const QPixmap overview = control<QLabel>("imgWhole")->pixmap();
    EXPECT_EQ(overview.size(), panel->size() * scale());
    EXPECT_EQ(overview.devicePixelRatio(), scale());
}

// The README's pictures: both widths and each settings page. With ZP_SCREENSHOT_DIR set
// they are kept there, named with the scale when it is not 100 %.
TEST_F(PolishTest, DrawsTheReadmePictures) {
    open();
    addRecipient(QStringLiteral("山田 (yamada@example.jp)"), true);
    control<QLineEdit>("edtTitle")->setText(QStringLiteral("旅行の写真"));
    control<QPlainTextEdit>("memoBody")->setPlainText(QStringLiteral("昨日の写真です。\n見てね。"));
    window->reportStatus(QStringLiteral("ファイルドロップ：/home/user/写真/旅行.jpg"),
                         zp::MsgKind::None);
    const QString keep = qEnvironmentVariable("ZP_SCREENSHOT_DIR");
    const int percent = qRound(scale() * 100);
    const QString suffix = percent == 100 ? QString() : QStringLiteral("-%1").arg(percent);
    const struct {
        int page;
        const char* file;
    } rows[] = {{-1, "window-narrow"},
                {0, "window-wide"},
                {1, "window-send"},
                {2, "window-server"},
                {3, "window-about"}};
    for (const auto& r : rows) {
        showPage(r.page);
        const QImage shot = window->grab().toImage();
        EXPECT_EQ(shot.size(), window->size() * scale()) << r.file;
        EXPECT_EQ(cutCaptions(window.get()), QStringList()) << r.file;
        if (!keep.isEmpty()) {
            EXPECT_TRUE(shot.save(QDir(keep).filePath(QLatin1String(r.file) + suffix + ".png")));
        }
    }
}

} // namespace
