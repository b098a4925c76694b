#pragma once
// The keyboard's way through the window: the mail area in its order, then the settings
// pane when it is shown (its page tabs, then the page's controls), and round again; and
// the names a screen reader gives the page tabs.
namespace Ui {
class TfrmMain;
}

namespace zp {

// Run once, after the form has been built.
void placeTabChain(Ui::TfrmMain& form);

} // namespace zp
