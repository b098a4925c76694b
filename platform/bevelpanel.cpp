#include "bevelpanel.h"

#include <QPainter>

namespace zp {

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    updateMargins();
}

void BevelPanel::setOuterBevel(QFrame::Shadow bevel) {
    m_outer = bevel;
    updateMargins();
    update();
}

void BevelPanel::setInnerBevel(QFrame::Shadow bevel) {
    m_inner = bevel;
    updateMargins();
    update();
}

void BevelPanel::updateMargins() {
    const int m = (m_outer != QFrame::Plain) + (m_inner != QFrame::Plain);
    setContentsMargins(m, m, m, m);
}

void BevelPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    QRect r = rect();
    for (QFrame::Shadow bevel : {m_outer, m_inner}) {
        if (bevel == QFrame::Plain)
            continue;
        // Filled one-pixel strips rather than lines: on a scaled screen a strip grows with
        // the window, where a cosmetic line would stay one device pixel thin.
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Dark);
        const QColor topLeft = bevel == QFrame::Raised ? light : dark;
        const QColor bottomRight = bevel == QFrame::Raised ? dark : light;
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        p.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), bottomRight);
        r.adjust(1, 1, -1, -1);
    }
}

} // namespace zp
