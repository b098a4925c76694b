#pragma once
// A panel with two one-pixel bevels, an outer and an inner one, each raised, lowered
// (QFrame::Sunken) or absent (QFrame::Plain), like the platform's panels.
#include <QFrame>

namespace zp {

class BevelPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QFrame::Shadow outerBevel READ outerBevel WRITE setOuterBevel)
    Q_PROPERTY(QFrame::Shadow innerBevel READ innerBevel WRITE setInnerBevel)
public:
    explicit BevelPanel(QWidget* parent = nullptr);

    QFrame::Shadow outerBevel() const { return m_outer; }
    void setOuterBevel(QFrame::Shadow bevel);
    QFrame::Shadow innerBevel() const { return m_inner; }
    void setInnerBevel(QFrame::Shadow bevel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateMargins();

    QFrame::Shadow m_outer = QFrame::Raised;
    QFrame::Shadow m_inner = QFrame::Plain;
};

} // namespace zp
