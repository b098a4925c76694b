#pragma once
// A label that works as a link: the mouse clicks it as any label (its click handler is
// hooked with onClick), and the keyboard reaches it with Tab, shows the focus around its
// text and clicks it with Enter or Space, so that the link is not for mouse users only.
#include <QLabel>

namespace zp {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace zp
