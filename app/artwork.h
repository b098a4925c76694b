#pragma once
// Pictures the window draws for itself: the program icon and the placeholder background
// of the preview panes.
#include <QByteArray>
#include <QIcon>
#include <QPixmap>

class QPainter;

namespace zp {

// A phone with a letter on its screen, painted into a size x size square.
void paintProgramIcon(QPainter& painter, qreal size);
QPixmap programIconPixmap(int size);
// The same icon as an SVG document (32 x 32 user units), for the desktop's icon theme.
QByteArray programIconSvg();
QIcon programIcon();
// The background shown behind the preview before a picture is taken in.
QPixmap placeholderPicture(int width, int height);

} // namespace zp
