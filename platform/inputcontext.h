#pragma once
// The input method for Japanese typing. Qt picks its input context from QT_IM_MODULE
// only; a desktop that runs ibus or fcitx often announces it just to X11 and GTK programs
// (XMODIFIERS, GTK_IM_MODULE), and Qt then loads its compose context, with which no
// Japanese can be typed. QT_IM_MODULE may also name a module that Qt 6 has no plugin for
// ("uim"; "xim", which Qt 6 quietly maps to compose): Japanese typing then fails without a
// word. The choice has to be made before the application object exists.
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace zp {

// The input context to put into QT_IM_MODULE, or empty to leave Qt's own choice alone.
// "ibus" or "fcitx" when XMODIFIERS ("@im=ibus", "@im=fcitx") or else GTK_IM_MODULE names
// one whose Qt plugin is installed, and QT_IM_MODULE is unset, empty, "xim", or a name that
// `installed` (the keys of the input context plugins Qt can load) does not hold.
QString chooseInputContext(const QProcessEnvironment& env, const QStringList& installed);

// The line for standard error when QT_IM_MODULE named a module Qt cannot load: which one
// is used instead (`chosen`), or that Japanese typing will not work. Empty otherwise.
QString inputContextNotice(const QProcessEnvironment& env, const QStringList& installed,
                           const QString& chosen);

// The keys (lower case) of the input context plugins Qt can load, "compose" and "ibus"
// among them on most systems.
QStringList installedInputContexts();

// Sets QT_IM_MODULE from the process environment when the desktop named one elsewhere, or
// when the one named cannot be loaded; says so once on standard error in the second case.
void chooseInputContextForDesktop();

} // namespace zp
