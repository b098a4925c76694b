#pragma once
// How the main window looks, beyond what its form says: the design fonts, the colours of
// links and hints, the password character, the status bar's height, list rows, the
// pictures of buttons and menus, the tab chain, and captions that fit their text.
class QMainWindow;
struct MainMenus;

namespace Ui {
class TfrmMain;
}

namespace zp {

// Run once, after the form and the context menus have been built.
void applyWindowLook(QMainWindow* window, Ui::TfrmMain& form, const MainMenus& menus);

} // namespace zp
