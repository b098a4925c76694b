#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace zp {

namespace {

// The program icon on a 32 x 32 grid, as a list of shapes, so that the window's pixmaps
// and the installed vector icon are drawn from one description.
struct IconShape {
    enum Kind { RoundedRect, Rect, Polyline, Ellipse } kind;
    QRectF box;            // the rectangle, or the ellipse's bounding box
    QList<QPointF> points; // Polyline only
    QColor pen;            // invalid: no outline
    qreal penWidth;
    QColor brush; // invalid: not filled
};

const QList<IconShape>& iconShapes() {
    static const QList<IconShape> shapes = {
        // The phone body and its screen.
        {IconShape::RoundedRect,
         {8, 1.5, 16, 29},
         {},
         QColor(40, 40, 60),
         1.2,
         QColor(70, 90, 140)},
        {IconShape::Rect, {10, 5, 12, 16}, {}, QColor(40, 40, 60), 1.2, QColor(235, 245, 255)},
        // The letter on the screen, with its flap.
        {IconShape::Rect, {11.5, 9, 9, 7}, {}, QColor(200, 60, 40), 1.1, QColor(255, 250, 220)},
        {IconShape::Polyline,
         {},
         {{11.5, 9}, {16, 13}, {20.5, 9}},
         QColor(200, 60, 40),
         1.1,
         QColor()},
        // The key.
        {IconShape::Ellipse, {13.8, 23.3, 4.4, 4.4}, {}, QColor(), 0, QColor(200, 210, 230)},
    };
    return shapes;
}

constexpr qreal kIconRadius = 3;

QString svgColor(const QColor& c) {
    return c.isValid() ? c.name() : QStringLiteral("none");
}

} // namespace

void paintProgramIcon(QPainter& p, qreal size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    for (const IconShape& s : iconShapes()) {
        p.setPen(s.pen.isValid() ? QPen(s.pen, s.penWidth) : QPen(Qt::NoPen));
        p.setBrush(s.brush.isValid() ? QBrush(s.brush) : QBrush(Qt::NoBrush));
        switch (s.kind) {
        case IconShape::RoundedRect:
            p.drawRoundedRect(s.box, kIconRadius, kIconRadius);
            break;
        case IconShape::Rect:
            p.drawRect(s.box);
            break;
        case IconShape::Polyline:
            p.drawPolyline(s.points.data(), int(s.points.size()));
            break;
        case IconShape::Ellipse:
            p.drawEllipse(s.box);
            break;
        }
    }
    p.restore();
}

QPixmap programIconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    paintProgramIcon(p, size);
    return pm;
}

QByteArray programIconSvg() {
    QString out =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                       "viewBox=\"0 0 32 32\">\n");
    const auto n = [](qreal v) { return QString::number(v, 'g', 6); };
    for (const IconShape& s : iconShapes()) {
        // The painter's outlines: square caps and bevelled joins.
        QString style =
            QStringLiteral("fill=\"%1\" stroke=\"%2\"").arg(svgColor(s.brush), svgColor(s.pen));
        if (s.pen.isValid())
            style += QStringLiteral(" stroke-width=\"%1\" stroke-linecap=\"square\" "
                                    "stroke-linejoin=\"bevel\"")
                         .arg(n(s.penWidth));
        const QRectF& b = s.box;
        switch (s.kind) {
        case IconShape::RoundedRect:
        case IconShape::Rect: {
            const qreal r = s.kind == IconShape::RoundedRect ? kIconRadius : 0;
            out += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                  "rx=\"%5\" %6/>\n")
                       .arg(n(b.x()), n(b.y()), n(b.width()), n(b.height()), n(r), style);
            break;
        }
        case IconShape::Polyline: {
            QStringList pts;
            for (const QPointF& pt : s.points)
                pts << n(pt.x()) + QLatin1Char(',') + n(pt.y());
            out += QStringLiteral("  <polyline points=\"%1\" %2/>\n")
                       .arg(pts.join(QLatin1Char(' ')), style);
            break;
        }
        case IconShape::Ellipse:
            out += QStringLiteral("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" %5/>\n")
                       .arg(n(b.center().x()), n(b.center().y()), n(b.width() / 2),
                            n(b.height() / 2), style);
            break;
        }
    }
    out += QStringLiteral("</svg>\n");
    return out.toUtf8();
}

QIcon programIcon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64})
        icon.addPixmap(programIconPixmap(s));
    return icon;
}

QPixmap placeholderPicture(int width, int height) {
    QPixmap pm(std::max(width, 1), std::max(height, 1));
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, pm.height());
    g.setColorAt(0, QColor(224, 232, 244));
    g.setColorAt(1, QColor(176, 190, 214));
    p.fillRect(pm.rect(), g);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    for (int x = -pm.height(); x < pm.width(); x += 12)
        p.drawLine(x, pm.height(), x + pm.height(), 0);
    return pm;
}

} // namespace zp
