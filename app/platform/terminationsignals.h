#pragma once
// Turns the ways a session ends the program from outside into one signal on the event
// loop: the desktop session's end (log-off, shutdown) and the POSIX signals SIGTERM,
// SIGHUP and SIGINT. Signal handlers only write a byte to a pipe; the event loop reads it.
#include <QObject>

class QSocketNotifier;

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
    void onPipeReadable();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace zp
