#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace zp {

QPixmap programIconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // The phone body.
    p.setPen(QPen(QColor(40, 40, 60), 1.2));
    p.setBrush(QColor(70, 90, 140));
    p.drawRoundedRect(QRectF(8, 1.5, 16, 29), 3, 3);
    p.setBrush(QColor(235, 245, 255));
    p.drawRect(QRectF(10, 5, 12, 16));
    // The letter on its screen.
    p.setPen(QPen(QColor(200, 60, 40), 1.1));
    p.setBrush(QColor(255, 250, 220));
    p.drawRect(QRectF(11.5, 9, 9, 7));
    QPainterPath flap;
    flap.moveTo(11.5, 9);
    flap.lineTo(16, 13);
    flap.lineTo(20.5, 9);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    // The key.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 210, 230));
    p.drawEllipse(QPointF(16, 25.5), 2.2, 2.2);
    return pm;
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
