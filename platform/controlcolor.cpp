#include "controlcolor.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionTabWidgetFrame>
#include <QTabWidget>
#include <QWidget>

namespace zp {

void setControlColor(QWidget* control, bool on) {
    QPalette pal = control->palette();
    const QColor colour = on ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC0, 0xC0, 0xC0);
    // Every colour group, so that a disabled control shows the colour too.
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, colour);
    // The styles' pale disabled grey (#bebebe) all but vanishes on silver (1.02 : 1); this dark
    // grey reads at 5.7 : 1 there, where a classic disabled grey (#808080) gives only 2.2 : 1.
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x40, 0x40, 0x40));
    control->setPalette(pal);
}

void fillWithPageColour(QWidget* control) {
    QColor page = control->palette().color(QPalette::Window);
    QWidget* w = control->parentWidget();
    while (w && !qobject_cast<QTabWidget*>(w))
        w = w->parentWidget();
    if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
        // The pages have no background of their own: the style's frame of the page control
        // shows through them. Its middle is the page's colour.
        QStyleOptionTabWidgetFrame opt;
        opt.initFrom(tabs);
        opt.rect = QRect(0, 0, 32, 32);
        QImage frame(opt.rect.size(), QImage::Format_RGB32);
        frame.fill(page);
        QPainter painter(&frame);
        tabs->style()->drawPrimitive(QStyle::PE_FrameTabWidget, &opt, &painter, tabs);
        painter.end();
        page = frame.pixelColor(16, 16);
    }
    // A button's background role is Button, not Window.
    QPalette pal = control->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, control->backgroundRole(), page);
    control->setPalette(pal);
    control->setAutoFillBackground(true);
}

} // namespace zp
