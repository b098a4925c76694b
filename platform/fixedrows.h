#pragma once
// Lists with rows of a fixed height, like the platform's owner-drawn lists: every row is
// that high whatever the font, and a check box in a row is made small enough to fit it.
class QListView;

namespace zp {

void setFixedRowHeight(QListView* list, int height);

} // namespace zp
