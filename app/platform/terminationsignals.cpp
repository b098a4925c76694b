#include "terminationsignals.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zp {

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
    const char byte = 1;
    // Nothing else is safe in a signal handler; a full pipe already holds a request.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[0], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
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
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The session is ending for real when the manager asks to save data; the program
        // closes its window (which saves the settings).
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { emit endRequested(); });
    }
}

TerminationSignals::~TerminationSignals() {
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
}

void TerminationSignals::onPipeReadable() {
    char buf[64];
    bool any = false;
    while (::read(g_pipe[1], buf, sizeof buf) > 0)
        any = true;
    if (any)
        emit endRequested();
}

} // namespace zp
