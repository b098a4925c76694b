#pragma once
// Input controls that are off are shown with a silver background (C0C0C0), on with white.
class QWidget;

namespace zp {

void setControlColor(QWidget* control, bool on);

} // namespace zp
