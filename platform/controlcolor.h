#pragma once
// Input controls that are off are shown with a silver background (C0C0C0), on with white; the
// text of one that is off stays readable on the silver.
class QWidget;

namespace zp {

void setControlColor(QWidget* control, bool on);

// A control laid over a frame's edge (a check box standing as a group box's caption) hides
// the edge with the colour of the page it stands on, which a style may draw lighter than the
// window's own colour.
void fillWithPageColour(QWidget* control);

} // namespace zp
