#include "windowlook.h"

#include "glyphs.h"
#include "platform/captionfit.h"
#include "platform/controlcolor.h"
#include "platform/fixedrows.h"
#include "platform/windowhost.h"
#include "tabchain.h"
#include "ui_zoripost1.h"
#include "zoripost1.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QProxyStyle>
#include <QStatusBar>
#include <QStyleFactory>
#include <QToolTip>

namespace zp {
namespace {

// The fonts carried in the program's own fonts/ folder (a Windows copy carries the IPA fonts
// there for a system without the design's fonts), added once, when first needed.
void addCarriedFonts() {
    static const bool added = [] {
        const QDir folder(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
        const QStringList files =
            folder.entryList({QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files);
        for (const QString& file : files)
            QFontDatabase::addApplicationFont(folder.absoluteFilePath(file));
        return true;
    }();
    Q_UNUSED(added);
}

// The design's fonts, or the first installed stand-in (the IPA fonts, the system's or the
// ones the program carries).
QString firstFamily(std::initializer_list<const char16_t*> families) {
    for (int pass = 0; pass < 2; ++pass) {
        const QStringList installed = QFontDatabase::families();
        for (const char16_t* f : families)
            if (installed.contains(QString::fromUtf16(f), Qt::CaseInsensitive))
                return QString::fromUtf16(f);
        addCarriedFonts();
    }
    return QString::fromUtf16(*families.begin());
}

QFont windowFont() {
    QFont f(firstFamily({u"ＭＳ Ｐゴシック", u"IPAPGothic"}));
    f.setPixelSize(12);
    return f;
}

void applyFonts(QMainWindow* w, Ui::TfrmMain& form) {
    const QFont f = windowFont();
    w->setFont(f);
    QToolTip::setFont(f);
    // The context menus are windows of their own and take no font from the main window.
    for (QMenu* menu : w->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        menu->setFont(f);
    QFont mono(firstFamily({u"ＭＳ ゴシック", u"IPAGothic"}));
    mono.setPixelSize(12);
    form.memoBody->setFont(mono);
    form.cmbSize->setFont(mono);
}

void setTextColour(QWidget* control, const QColor& colour) {
    QPalette pal = control->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        pal.setColor(group, QPalette::WindowText, colour);
    control->setPalette(pal);
}

// Colours by palette and underlining by a font that sets nothing else, so that the
// controls keep the window's font (a style sheet would replace it).
void applyColours(Ui::TfrmMain& form) {
    for (QLabel* link : std::initializer_list<QLabel*>{form.lblUrl, form.lblAutoSendCaution}) {
        setTextColour(link, QColor(0, 0, 0xFF));
        QFont underline;
        underline.setUnderline(true);
        link->setFont(underline);
    }
    setTextColour(form.Label3, QColor(0xC0, 0xC0, 0xC0));
    QWidget* panel = form.pnlSelectedAddr;
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    fillWithPageColour(form.chkPOPbSMTP);
}

// The password box shows "*" for every character.
class PasswordStyle : public QProxyStyle {
public:
    PasswordStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void applyPasswordCharacter(QMainWindow* w, Ui::TfrmMain& form) {
    auto* style = new PasswordStyle;
    // Deleted with the window, after the box, which is one of its descendants.
    style->setParent(w);
    form.edtPOP3Pwd->setStyle(style);
}

void applyGlyphs(Ui::TfrmMain& form, const MainMenus& m) {
    const std::pair<QAbstractButton*, Glyph> buttons[] = {
        {form.btnAddrMenu, Glyph::AddressMenu},
        {form.btnPaste, Glyph::Paste},
        {form.btnPasteFromVelmaclip, Glyph::PasteFromVelmaclip},
        {form.btnSend, Glyph::Send},
        {form.btnClear, Glyph::Clear},
        {form.btnConfig, Glyph::Config},
        {form.btnExit, Glyph::Exit},
        {form.btnMakeJpeg, Glyph::MakeJpeg},
        {form.btnOutDirSelect, Glyph::FolderSelect},
        {form.btnOutFolderOpen, Glyph::FolderOpen},
        {form.btnDirSelect, Glyph::FolderSelect},
        {form.btnFolderOpen, Glyph::FolderOpen},
        {form.btnAutoAlloc, Glyph::SortTool}};
    for (const auto& [button, glyph] : buttons)
        button->setIcon(glyphIcon(glyph));
    const std::pair<QAction*, Glyph> items[] = {{m.popAddr_Add, Glyph::Add},
                                                {m.popAddr_Edit, Glyph::Edit},
                                                {m.popAddr_Del, Glyph::Delete},
                                                {m.popAddr_SelectOrClear, Glyph::SelectAll},
                                                {m.popAddr_Import, Glyph::FolderOpen},
                                                {m.popAddr_Export, Glyph::FolderSelect},
                                                {m.popImgEdit_Copy, Glyph::Copy},
                                                {m.popImgEdit_Paste, Glyph::Paste},
                                                {m.popImgEdit_Delete, Glyph::Clear},
                                                {m.popImgEdit_UD, Glyph::FlipUpDown},
                                                {m.popImgEdit_LR, Glyph::FlipLeftRight},
                                                {m.popImgEdit_Rot180, Glyph::Rotate180}};
    for (const auto& [a, glyph] : items) {
        a->setIcon(glyphIcon(glyph));
        a->setIconVisibleInMenu(true);
    }
}

} // namespace

void applyWindowFont(QMainWindow* w) {
    w->setFont(windowFont());
}

void applyWindowLook(QMainWindow* w, Ui::TfrmMain& form, const MainMenus& menus) {
    applyFonts(w, form);
    applyColours(form);
    applyPasswordCharacter(w, form);
    w->statusBar()->setFixedHeight(19);
    setFixedRowHeight(form.chlAddr, 12);
    setFixedRowHeight(form.lstSelectedAddr, 12);
    applyGlyphs(form, menus);
    placeTabChain(form);
    fitCaptions(w);
}

} // namespace zp
