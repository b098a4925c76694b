#include "linklabel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace zp {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space) {
        QLabel::keyPressEvent(event);
        return;
    }
    // The click handlers watch the left button's release; the key gives them one in the
    // middle of the label, as a mouse click there would.
    const QPointF middle = QRectF(rect()).center();
    QMouseEvent release(QEvent::MouseButtonRelease, middle, mapToGlobal(middle), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &release);
    event->accept();
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    const int textWidth = fontMetrics().horizontalAdvance(text()) + 2;
    option.rect = QRect(0, 0, std::min(width(), textWidth), height());
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

} // namespace zp
