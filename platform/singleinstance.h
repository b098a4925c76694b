#pragma once
// The one-running-copy rule. The first start listens on a local socket named after the
// executable's file name, in the user's private runtime folder; a later start connects to
// it, asks the running copy to raise its window and ends. A socket left behind by a copy
// that crashed does not block the next start: when nobody answers on it, it is removed and
// taken over. On Unix the socket is a plain AF_UNIX stream socket (what QLocalSocket speaks),
// so that Qt Network and the libraries behind it are not loaded at every start.
// On Windows the rule is the system's own: a named mutex (the executable's file name) marks
// the running copy, and a later start finds it by a message-only window of the class
// "TfrmMain" and asks it, by a window message, to raise its main window.
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace zp {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: usually serverNameFor(the executable's path).
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The server name for an executable: a socket path named after its file name (with
    // extension) in the user's runtime folder; without one, its file name and the user.
    static QString serverNameFor(const QString& executablePath);

    // True when this process is now the running copy. False when another copy runs; that
    // copy has then been asked to raise its window (waiting at most timeoutMs).
    bool claim(int timeoutMs = 2000);

    QString name() const { return m_name; }

signals:
    // A later start asked this copy to bring its window to the front.
    void raiseRequested();

private:
    QString m_name;
#ifdef Q_OS_WIN
    void* m_mutex = nullptr;  // HANDLE
    void* m_window = nullptr; // HWND of the message-only "TfrmMain" window
#else
    bool askRunningCopy(int timeoutMs);
    bool listen(QString& error);
    void onNewConnection();

    int m_listener = -1;
    QSocketNotifier* m_notifier = nullptr;
#endif
};

} // namespace zp
