#pragma once
// Pictures the window draws for itself: the program icon and the placeholder background
// of the preview panes.
#include <QIcon>
#include <QPixmap>

namespace zp {

// A phone with a letter on its screen.
QPixmap programIconPixmap(int size);
QIcon programIcon();
// The background shown behind the preview before a picture is taken in.
QPixmap placeholderPicture(int width, int height);

} // namespace zp
