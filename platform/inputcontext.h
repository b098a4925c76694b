#pragma once
// The input method for Japanese typing. Qt picks its input context from QT_IM_MODULE
// only; a desktop that runs ibus or fcitx often announces it just to X11 and GTK programs
// (XMODIFIERS, GTK_IM_MODULE), and Qt then loads its compose context, with which no
// Japanese can be typed. The choice has to be made before the application object exists.
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zp {

// The input context to put into QT_IM_MODULE: "ibus" or "fcitx" when QT_IM_MODULE is
// unset or empty and XMODIFIERS ("@im=ibus", "@im=fcitx") or else GTK_IM_MODULE names
// one whose Qt plugin is installed (`installed` holds "ibus" and/or "fcitx"); empty to
// leave Qt's own choice alone.
QString chooseInputContext(const QProcessEnvironment& env, const QStringList& installed);

// The input contexts among "ibus" and "fcitx" whose plugins Qt can load.
QStringList installedInputContexts();

// Sets QT_IM_MODULE from the process environment when the desktop named one elsewhere.
void chooseInputContextForDesktop();

} // namespace zp
