#include "glyphbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace zp {

namespace {
// The face's raised frame: the caption never runs over it.
constexpr int kFaceFrame = 2;
} // namespace

GlyphButton::GlyphButton(QWidget* parent) : QPushButton(parent) {
    setIconSize(QSize(16, 16));
}

QRect GlyphButton::contentsArea() const {
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    // A style with wide margins (the Windows one) or a font with wider letters leaves the
    // picture and caption too little room: they take the margins, up to the face's frame.
    const int glyphWidth = icon().isNull() ? 0 : iconSize().width() + kGlyphSpacing;
    if (glyphWidth + captionSize().width() > area.width())
        return QRect(kFaceFrame, area.top(), width() - 2 * kFaceFrame, area.height());
    return area;
}

QSize GlyphButton::captionSize() const {
    const QFontMetrics fm = fontMetrics();
    const QStringList lines = QString(text()).remove(QLatin1Char('&')).split(QLatin1Char('\n'));
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, fm.horizontalAdvance(line));
    return {width, fm.height() * static_cast<int>(lines.size())};
}

QRect GlyphButton::captionRect() const {
    QRect r = contentsArea();
    if (!icon().isNull())
        r.setLeft(r.left() + iconSize().width() + kGlyphSpacing);
    return r;
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    const QIcon glyph = opt.icon;
    // The style draws the face and the focus frame; the picture and caption are ours.
    opt.text.clear();
    opt.icon = QIcon();
    p.drawControl(QStyle::CE_PushButton, opt);

    const QRect area = contentsArea();
    const QSize text = captionSize();
    const int glyphWidth = glyph.isNull() ? 0 : iconSize().width() + kGlyphSpacing;
    const int left = area.left() + std::max(0, (area.width() - glyphWidth - text.width()) / 2);
    if (!glyph.isNull()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QPixmap pm = glyph.pixmap(iconSize(), devicePixelRatio(), mode);
        const int top = area.top() + (area.height() - iconSize().height()) / 2;
        p.drawPixmap(left, top, pm);
    }
    const QRect textRect(left + glyphWidth, area.top(), area.right() - left - glyphWidth + 1,
                         area.height());
    style()->drawItemText(&p, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                          palette(), isEnabled(), caption, QPalette::ButtonText);
}

} // namespace zp
