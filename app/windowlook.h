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

// The design font of the window, set before the form is built: the controls are made in
// it, and no caption is measured twice (in the platform's font first, then in this one).
void applyWindowFont(QMainWindow* window);
// Run once, after the form and the context menus have been built.
void applyWindowLook(QMainWindow* window, Ui::TfrmMain& form, const MainMenus& menus);

} // namespace zp
