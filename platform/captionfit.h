#pragma once
// Captions that always read in full, whatever font the platform puts in place of the
// design font: labels size themselves to their text (the design's labels are auto-size),
// and check boxes and radio buttons widen to what their caption needs. Nothing else moves;
// only a label that would run past its parent's inner edge moves back inside it.
class QWidget;

namespace zp {

// Fits every label, check box and radio button under window that is not hidden now, the
// others when they are shown, and each again whenever a label's text or a control's font
// changes.
void fitCaptions(QWidget* window);

} // namespace zp
