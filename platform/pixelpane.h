#pragma once
// A picture pane that draws its picture pixel for pixel: on a scaled screen each picture
// pixel becomes a block of screen pixels, never a blend of its neighbours, so the preview
// shows exactly what the phone will show, only larger.
#include <QLabel>

namespace zp {

class PixelPane : public QLabel {
    Q_OBJECT
public:
    explicit PixelPane(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zp
