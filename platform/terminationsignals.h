#pragma once
// Turns the ways a session ends the program from outside into one signal on the event
// loop: the desktop session's end (log-off, shutdown) and the POSIX signals SIGTERM,
// SIGHUP and SIGINT. Signal handlers only write a byte to a pipe; the event loop reads it.
// On Windows the console's control events (Ctrl+C, Ctrl+Break, closing the console
// window, log-off, shutdown) take the place of the signals; they arrive on a thread of
// their own and are passed to the event loop as a queued call.
#include <QObject>

class QSocketNotifier;
class QWidget;

namespace zp {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one object per process.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    // The session or the system wants the program to end.
    void endRequested();

private:
#ifndef _WIN32
    void onPipeReadable();

    QSocketNotifier* m_notifier = nullptr;
#endif
};

// What the program does on endRequested: nobody is there to answer a box any more (a failed
// save, for one, is written to standard error); a box or dialog still open is closed as
// cancelled, then the window closes as by its close box, which saves the settings once, and
// the application's loop ends.
void endUnattended(QWidget& window);

} // namespace zp
