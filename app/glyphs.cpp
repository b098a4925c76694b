#include "glyphs.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>

namespace zp {
namespace {

// The program's colours, those of its icon.
const QColor kInk(40, 40, 60);
const QColor kNavy(70, 90, 140);
const QColor kPaper(255, 250, 220);
const QColor kScreen(235, 245, 255);
const QColor kRed(200, 60, 40);
const QColor kGreen(50, 140, 70);
const QColor kFolder(232, 190, 90);
const QColor kBoard(170, 120, 70);

// Every glyph is drawn on a 16 x 16 grid.
using Draw = void (*)(QPainter&);

void outline(QPainter& p, qreal width = 1.0) {
    p.setPen(QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void sheet(QPainter& p, const QRectF& r) {
    outline(p);
    p.setBrush(kPaper);
    p.drawRect(r);
}

// A small landscape: sky, a hill and a sun, as the pictures the program handles.
void picture(QPainter& p, const QRectF& r) {
    outline(p);
    p.setBrush(kScreen);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    QPainterPath hill;
    hill.moveTo(r.left() + 0.5, r.bottom() - 0.5);
    hill.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.45);
    hill.lineTo(r.right() - 0.5, r.bottom() - 0.5);
    p.drawPath(hill);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(r.right() - r.width() * 0.25, r.top() + r.height() * 0.3),
                  r.width() * 0.11, r.width() * 0.11);
}

void folder(QPainter& p, bool open) {
    outline(p);
    p.setBrush(kFolder.darker(115));
    p.drawPolygon(
        QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {14.5, 5}, {14.5, 13.5}, {1.5, 13.5}}));
    p.setBrush(kFolder);
    if (open)
        p.drawPolygon(QPolygonF({{1.5, 13.5}, {4, 7.5}, {15.5, 7.5}, {13, 13.5}}));
    else
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
}

// An arrow from a to b with a filled head.
void arrow(QPainter& p, QPointF a, QPointF b, const QColor& colour, qreal width = 1.6) {
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    QLineF back(b, a);
    back.setLength(3.2);
    p.drawLine(QLineF(a, back.p2()));
    QLineF side1 = back, side2 = back;
    side1.setAngle(back.angle() + 28);
    side2.setAngle(back.angle() - 28);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({b, side1.p2(), side2.p2()}));
}

void cross(QPainter& p, const QRectF& r, qreal width = 2.2) {
    p.setPen(QPen(kRed, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void check(QPainter& p, const QPointF& at, qreal size) {
    p.setPen(QPen(kGreen, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(
        QPolygonF({at, at + QPointF(size * 0.35, size * 0.4), at + QPointF(size, -size * 0.5)}));
}

void clipboard(QPainter& p) {
    outline(p);
    p.setBrush(kBoard);
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 13), 1.5, 1.5);
    p.setBrush(QColor(200, 200, 210));
    p.drawRoundedRect(QRectF(5.5, 1, 5, 3), 1, 1);
}

void drawAddressMenu(QPainter& p) {
    outline(p);
    p.setBrush(kScreen);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
    p.setBrush(kNavy);
    p.drawEllipse(QRectF(3.5, 5, 3.5, 3.5));
    p.setPen(QPen(kNavy, 1.2));
    for (qreal y : {5.5, 8.0, 10.5})
        p.drawLine(QPointF(8.5, y), QPointF(12.5, y));
    p.drawLine(QPointF(3.5, 10.5), QPointF(7, 10.5));
}

void drawPaste(QPainter& p) {
    clipboard(p);
    picture(p, QRectF(4.5, 5.5, 7, 8));
}

void drawPasteFromVelmaclip(QPainter& p) {
    clipboard(p);
    sheet(p, QRectF(4.5, 5.5, 7, 8));
    // A paper clip over the sheet.
    p.setPen(QPen(kNavy, 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6.5, 4, 3, 8), 1.5, 1.5);
    p.drawRoundedRect(QRectF(7.4, 5.5, 1.2, 5), 0.6, 0.6);
}

void drawSend(QPainter& p) {
    sheet(p, QRectF(0.5, 3.5, 12, 9));
    p.drawPolyline(QPolygonF({{0.5, 3.5}, {6.5, 8.5}, {12.5, 3.5}}));
    arrow(p, QPointF(8, 12.5), QPointF(15.5, 12.5), kRed);
}

void drawClear(QPainter& p) {
    picture(p, QRectF(1.5, 1.5, 10, 10));
    cross(p, QRectF(9, 9, 5.5, 5.5));
}

void drawConfig(QPainter& p) {
    outline(p);
    p.setBrush(kNavy);
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.3, -7.2, 2.6, 3));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5, 5);
    p.setBrush(kScreen);
    p.drawEllipse(QPointF(0, 0), 2, 2);
}

void drawExit(QPainter& p) {
    outline(p);
    p.setBrush(kBoard);
    p.drawRect(QRectF(1.5, 1.5, 8, 13));
    p.setBrush(kFolder);
    p.drawEllipse(QPointF(7.5, 8), 0.8, 0.8);
    arrow(p, QPointF(7, 8), QPointF(15.5, 8), kRed);
}

void drawMakeJpeg(QPainter& p) {
    picture(p, QRectF(1.5, 1.5, 11, 9));
    p.setPen(QPen(kNavy, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(7, 7, 7.5, 7.5), 90 * 16, 270 * 16);
    arrow(p, QPointF(10.75, 7), QPointF(13.5, 7.6), kNavy, 1.5);
}

void drawFolderSelect(QPainter& p) {
    folder(p, false);
    check(p, QPointF(5, 10), 6.5);
}

void drawFolderOpen(QPainter& p) {
    folder(p, true);
}

void drawSortTool(QPainter& p) {
    sheet(p, QRectF(5.5, 0.5, 5, 6));
    for (qreal x : {0.5, 9.5}) {
        outline(p);
        p.setBrush(kFolder);
        p.drawRect(QRectF(x, 10.5, 6, 5));
    }
    arrow(p, QPointF(6.5, 7), QPointF(3.5, 10), kRed, 1.3);
    arrow(p, QPointF(9.5, 7), QPointF(12.5, 10), kRed, 1.3);
}

void drawAdd(QPainter& p) {
    p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
    p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
}

void drawEdit(QPainter& p) {
    p.translate(8, 8);
    p.rotate(45);
    outline(p);
    p.setBrush(kFolder);
    p.drawRect(QRectF(-1.8, -7, 3.6, 10));
    p.setBrush(kPaper);
    p.drawPolygon(QPolygonF({{-1.8, 3}, {1.8, 3}, {0, 6.8}}));
    p.setBrush(kRed);
    p.drawRect(QRectF(-1.8, -7.5, 3.6, 1.8));
}

void drawDelete(QPainter& p) {
    cross(p, QRectF(3, 3, 10, 10), 2.8);
}

void drawSelectAll(QPainter& p) {
    outline(p);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 3.5, 11, 11));
    check(p, QPointF(3.5, 9), 10);
}

void drawCopy(QPainter& p) {
    sheet(p, QRectF(1.5, 1.5, 8, 10));
    sheet(p, QRectF(6.5, 4.5, 8, 10));
}

void drawFlipUpDown(QPainter& p) {
    picture(p, QRectF(1.5, 2.5, 8, 11));
    arrow(p, QPointF(13, 8), QPointF(13, 1.5), kNavy);
    arrow(p, QPointF(13, 8), QPointF(13, 14.5), kNavy);
}

void drawFlipLeftRight(QPainter& p) {
    picture(p, QRectF(2.5, 1.5, 11, 8));
    arrow(p, QPointF(8, 13), QPointF(1.5, 13), kNavy);
    arrow(p, QPointF(8, 13), QPointF(14.5, 13), kNavy);
}

void drawRotate180(QPainter& p) {
    p.setPen(QPen(kNavy, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 0, 180 * 16);
    arrow(p, QPointF(13.5, 7), QPointF(13.5, 11.5), kNavy, 1.8);
    p.setPen(QPen(kRed, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 180 * 16, 90 * 16);
}

// Draws a glyph afresh for every size and pixel density; disabled, the style greys it.
class PaintedIconEngine : public QIconEngine {
public:
    explicit PaintedIconEngine(Draw draw) : m_draw(draw) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        m_draw(*painter);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, QRect(QPoint(0, 0), size), mode, state);
        }
        if (mode == QIcon::Disabled && qApp) {
            QStyleOption opt;
            return QApplication::style()->generatedIconPixmap(QIcon::Disabled, pm, &opt);
        }
        return pm;
    }

    QIconEngine* clone() const override { return new PaintedIconEngine(m_draw); }

private:
    Draw m_draw;
};

Draw drawing(Glyph glyph) {
    switch (glyph) {
    case Glyph::AddressMenu:
        return drawAddressMenu;
    case Glyph::Paste:
        return drawPaste;
    case Glyph::PasteFromVelmaclip:
        return drawPasteFromVelmaclip;
    case Glyph::Send:
        return drawSend;
    case Glyph::Clear:
        return drawClear;
    case Glyph::Config:
        return drawConfig;
    case Glyph::Exit:
        return drawExit;
    case Glyph::MakeJpeg:
        return drawMakeJpeg;
    case Glyph::FolderSelect:
        return drawFolderSelect;
    case Glyph::FolderOpen:
        return drawFolderOpen;
    case Glyph::SortTool:
        return drawSortTool;
    case Glyph::Add:
        return drawAdd;
    case Glyph::Edit:
        return drawEdit;
    case Glyph::Delete:
        return drawDelete;
    case Glyph::SelectAll:
        return drawSelectAll;
    case Glyph::Copy:
        return drawCopy;
    case Glyph::FlipUpDown:
        return drawFlipUpDown;
    case Glyph::FlipLeftRight:
        return drawFlipLeftRight;
    case Glyph::Rotate180:
        return drawRotate180;
    }
    return drawDelete;
}

} // namespace

QIcon glyphIcon(Glyph glyph) {
    return QIcon(new PaintedIconEngine(drawing(glyph)));
}

} // namespace zp
