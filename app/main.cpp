// Process start: the one-running-copy rule, the main window, and the ways the program is
// asked to end from outside (session end, SIGTERM, SIGHUP, SIGINT).
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "zoripost1.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace {

// The path the program was started by; a link keeps its own name (and so its own
// settings file and its own running-copy name), unlike the resolved executable.
QString startedPath(int argc, char** argv) {
    if (argc > 0 && std::strchr(argv[0], '/'))
        return QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    return QCoreApplication::applicationFilePath();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zoripost"));
    const QString exe = startedPath(argc, argv);

    zp::SingleInstance single(zp::SingleInstance::serverNameFor(exe));
    if (!single.claim()) {
        // The running copy has been brought to the front; this start's argument is ignored.
        return 0;
    }
    zp::TerminationSignals ending;

    TfrmMain window(exe);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1)
        window.setCommandLineFile(args.at(1));
    QObject::connect(&single, &zp::SingleInstance::raiseRequested, &window, [&window] {
        qInfo("zoripost: raise request from a second start");
        window.bringToFront();
    });
    QObject::connect(&ending, &zp::TerminationSignals::endRequested, &window, [&window] {
        // A message box still open is answered as cancelled; then the window closes as
        // by its close box, which saves the settings once.
        for (int i = 0; i < 16; ++i) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->close())
                break;
        }
        window.close();
    });
    window.show();
    return QApplication::exec();
}
