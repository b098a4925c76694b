#include "terminationsignals.h"

#include "dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#ifdef _WIN32
#include <windows.h>

#include <mutex>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zp {

namespace {

#ifdef _WIN32
// How long a console that is being closed, or a session that is ending, waits for the
// window to close (and save); the system ends the process after about five seconds.
constexpr DWORD kCloseWaitMs = 4000;

std::mutex g_mutex;
TerminationSignals* g_instance = nullptr; // guarded by g_mutex

// Set once the event loop has passed a request on. Never closed: a handler thread may
// still wait on it while the program ends.
HANDLE handledEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onConsoleEvent(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    const HANDLE handled = handledEvent();
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_instance)
            return FALSE;
        if (handled)
            ResetEvent(handled);
        TerminationSignals* target = g_instance;
        QMetaObject::invokeMethod(
            target,
            [target, handled] {
                emit target->endRequested();
                if (handled)
                    SetEvent(handled);
            },
            Qt::QueuedConnection);
    }
    // After the close, log-off and shutdown events the system ends the process as soon
    // as this returns, so the window gets its time to close first.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && handled)
        WaitForSingleObject(handled, kCloseWaitMs);
    return TRUE;
}
#else
int g_pipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe already holds a request.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[0], &byte, 1);
}
#endif

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
#ifdef _WIN32
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_instance = this;
    }
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE))
        qWarning("termination signals: SetConsoleCtrlHandler failed");
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) {
        qWarning("termination signals: socketpair failed");
    } else {
        for (int fd : g_pipe)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onPipeReadable);
        struct sigaction sa = {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGHUP, SIGINT})
            ::sigaction(sig, &sa, nullptr);
    }
#endif
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session is ending for real when the manager asks to save data; the program
        // closes its window (which saves the settings).
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { emit endRequested(); });
    }
}

TerminationSignals::~TerminationSignals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_instance = nullptr;
#else
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(sig, &sa, nullptr);
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#endif
}

#ifndef _WIN32
void TerminationSignals::onPipeReadable() {
    char buf[64];
    bool any = false;
    while (::read(g_pipe[1], buf, sizeof buf) > 0)
        any = true;
    if (any)
        emit endRequested();
}
#endif

void endUnattended(QWidget& window) {
    answerUnattended();
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->close())
            break;
    }
    window.close();
    // The program ends even when the window closed inside a loop of its own (a progress
    // dialog's), where closing the last window does not end it; that loop is left too.
    QCoreApplication::quit();
}

} // namespace zp
