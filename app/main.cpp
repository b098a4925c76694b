// Process start: the one-running-copy rule, the main window, and the ways the program is
// asked to end from outside (session end, SIGTERM, SIGHUP, SIGINT).
#include "platform/inputcontext.h"
#include "platform/qttranslation.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "zoripost1.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

// The path the program was started by; a link keeps its own name (and so its own
// settings file and its own running-copy name), unlike the resolved executable.
QString startedPath(int argc, char** argv) {
    if (argc > 0 && std::strchr(argv[0], '/'))
        return QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    return QCoreApplication::applicationFilePath();
}

constexpr char kUsage[] =
    "usage: zoripost [FILE]\n"
    "Mails pictures to mobile phones. FILE (a picture, or any file to be mailed as an\n"
    "attachment) is taken in when the window opens; it is never sent automatically.\n"
    "Only one copy runs at a time: a second start brings the running window to the front\n"
    "and ignores its FILE.\n"
    "\n"
    "  -h, --help     this text\n"
    "      --version  the version\n"
    "\n"
    "The settings file and the working picture live beside the program when its folder is\n"
    "writable and it is not installed; otherwise in $XDG_CONFIG_HOME/zoripost/ and\n"
    "$XDG_RUNTIME_DIR/zoripost/ (or $XDG_CACHE_HOME/zoripost/). See zoripost(1).\n";

// The options a desktop user may try from a terminal, answered before any window
// exists (and so without a display). -1 when the program is to start.
int answerOption(int argc, char** argv) {
    if (argc < 2)
        return -1;
    if (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("zoripost %s\n", ZP_VERSION_TEXT);
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int status = answerOption(argc, argv); status >= 0)
        return status;
    // Qt reads the input method once, while the application object is made.
    zp::chooseInputContextForDesktop();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zoripost"));
    // Lets the desktop match the window to its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zoripost"));
    const QString exe = startedPath(argc, argv);
    zp::installQtTranslation(app, QCoreApplication::applicationDirPath());

    // The end signals are caught before this copy answers as the running one, so a signal
    // sent to a copy that answers is never taken by the default action (an end without
    // saving); one that comes before the window exists waits in the event loop.
    zp::TerminationSignals ending;
    zp::SingleInstance single(zp::SingleInstance::serverNameFor(exe));
    if (!single.claim()) {
        // The running copy has been brought to the front; this start's argument is ignored.
        return 0;
    }

    TfrmMain window(exe);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1)
        window.setCommandLineFile(args.at(1));
    QObject::connect(&single, &zp::SingleInstance::raiseRequested, &window, [&window] {
        qInfo("zoripost: raise request from a second start");
        window.bringToFront();
    });
    QObject::connect(&ending, &zp::TerminationSignals::endRequested, &window,
                     [&window] { zp::endUnattended(window); });
    window.show();
    return QApplication::exec();
}
