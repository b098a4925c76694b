#include "controlcolor.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace zp {

void setControlColor(QWidget* control, bool on) {
    QPalette pal = control->palette();
    const QColor colour = on ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC0, 0xC0, 0xC0);
    // Every colour group, so that a disabled control shows the colour too.
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, colour);
    control->setPalette(pal);
}

} // namespace zp
