#include "pixelpane.h"

#include <QPainter>
#include <QStyle>

namespace zp {

PixelPane::PixelPane(QWidget* parent) : QLabel(parent) {}

void PixelPane::paintEvent(QPaintEvent* event) {
    const QPixmap picture = pixmap();
    if (picture.isNull() || hasScaledContents()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    // The painter of a scaled screen smooths scaled pictures unless told otherwise.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRect at = QStyle::alignedRect(layoutDirection(), alignment(),
                                         picture.deviceIndependentSize().toSize(), contentsRect());
    p.drawPixmap(at, picture);
}

} // namespace zp
