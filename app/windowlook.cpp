#include "windowlook.h"

#include "glyphs.h"
#include "platform/captionfit.h"
#include "platform/controlcolor.h"
#include "platform/fixedrows.h"
#include "platform/windowhost.h"
#include "tabchain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
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

// The design's fonts, or the first installed stand-in (Debian's IPA fonts).
QString firstFamily(std::initializer_list<const char16_t*> families) {
    const QStringList installed = QFontDatabase::families();
    for (const char16_t* f : families)
        if (installed.contains(QString::fromUtf16(f), Qt::CaseInsensitive))
            return QString::fromUtf16(f);
    return QString::fromUtf16(*families.begin());
}

void applyFonts(QMainWindow* w) {
    QFont f(firstFamily({u"ＭＳ Ｐゴシック", u"IPAPGothic"}));
    f.setPixelSize(12);
    w->setFont(f);
    QToolTip::setFont(f);
    // The context menus are windows of their own and take no font from the main window.
    for (QMenu* menu : w->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        menu->setFont(f);
    QFont mono(firstFamily({u"ＭＳ ゴシック", u"IPAGothic"}));
    mono.setPixelSize(12);
    findControl<QWidget>(w, "memoBody")->setFont(mono);
    findControl<QWidget>(w, "cmbSize")->setFont(mono);
}

void setTextColour(QWidget* control, const QColor& colour) {
    QPalette pal = control->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        pal.setColor(group, QPalette::WindowText, colour);
    control->setPalette(pal);
}

// Colours by palette and underlining by a font that sets nothing else, so that the
// controls keep the window's font (a style sheet would replace it).
void applyColours(QMainWindow* w) {
    for (const char* name : {"lblUrl", "lblAutoSendCaution"}) {
        QWidget* link = findControl<QWidget>(w, name);
        setTextColour(link, QColor(0, 0, 0xFF));
        QFont underline;
        underline.setUnderline(true);
        link->setFont(underline);
    }
    setTextColour(findControl<QWidget>(w, "Label3"), QColor(0xC0, 0xC0, 0xC0));
    QWidget* panel = findControl<QWidget>(w, "pnlSelectedAddr");
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    fillWithPageColour(findControl<QWidget>(w, "chkPOPbSMTP"));
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

void applyPasswordCharacter(QMainWindow* w) {
    auto* style = new PasswordStyle;
    // Deleted with the window, after the box, which is one of its descendants.
    style->setParent(w);
    findControl<QLineEdit>(w, "edtPOP3Pwd")->setStyle(style);
}

void applyGlyphs(QMainWindow* w) {
    const std::pair<const char*, Glyph> buttons[] = {
        {"btnAddrMenu", Glyph::AddressMenu},
        {"btnPaste", Glyph::Paste},
        {"btnPasteFromVelmaclip", Glyph::PasteFromVelmaclip},
        {"btnSend", Glyph::Send},
        {"btnClear", Glyph::Clear},
        {"btnConfig", Glyph::Config},
        {"btnExit", Glyph::Exit},
        {"btnMakeJpeg", Glyph::MakeJpeg},
        {"btnOutDirSelect", Glyph::FolderSelect},
        {"btnOutFolderOpen", Glyph::FolderOpen},
        {"btnDirSelect", Glyph::FolderSelect},
        {"btnFolderOpen", Glyph::FolderOpen},
        {"btnAutoAlloc", Glyph::SortTool}};
    for (const auto& [name, glyph] : buttons)
        findControl<QAbstractButton>(w, name)->setIcon(glyphIcon(glyph));
    const std::pair<const char*, Glyph> items[] = {{"popAddr_Add", Glyph::Add},
                                                   {"popAddr_Edit", Glyph::Edit},
                                                   {"popAddr_Del", Glyph::Delete},
                                                   {"popAddr_SelectOrClear", Glyph::SelectAll},
                                                   {"popImgEdit_Copy", Glyph::Copy},
                                                   {"popImgEdit_Paste", Glyph::Paste},
                                                   {"popImgEdit_Delete", Glyph::Clear},
                                                   {"popImgEdit_UD", Glyph::FlipUpDown},
                                                   {"popImgEdit_LR", Glyph::FlipLeftRight},
                                                   {"popImgEdit_Rot180", Glyph::Rotate180}};
    for (const auto& [name, glyph] : items) {
        QAction* a = w->findChild<QAction*>(QLatin1String(name));
        if (!a)
            qFatal("menu item %s missing from the main window", name);
        a->setIcon(glyphIcon(glyph));
        a->setIconVisibleInMenu(true);
    }
}

} // namespace

void applyWindowLook(QMainWindow* w) {
    applyFonts(w);
    applyColours(w);
    applyPasswordCharacter(w);
    w->statusBar()->setFixedHeight(19);
    setFixedRowHeight(findControl<QListView>(w, "chlAddr"), 12);
    setFixedRowHeight(findControl<QListView>(w, "lstSelectedAddr"), 12);
    applyGlyphs(w);
    placeTabChain(w);
    fitCaptions(w);
}

} // namespace zp
