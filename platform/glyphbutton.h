#pragma once
// A push button that shows its picture (glyph) to the left of its caption, the two centred
// together. The caption may have several lines; the gap between picture and caption is
// small, so a narrow button with a two-line caption still has room for both.
#include <QPushButton>

namespace zp {

class GlyphButton : public QPushButton {
    Q_OBJECT
public:
    // Between the glyph and the caption.
    static constexpr int kGlyphSpacing = 2;

    explicit GlyphButton(QWidget* parent = nullptr);

    // Where the caption goes: the style's contents area (widened to the face's frame when the
    // glyph and caption need more) less the glyph and its gap.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect contentsArea() const;
    QSize captionSize() const;
};

} // namespace zp
