#include "singleinstance.h"

#include "filelocations.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifndef Q_OS_WIN
#include <QDir>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zp {

namespace {

#ifndef Q_OS_WIN

constexpr char kRaiseRequest[] = "raise\n";
// sockaddr_un holds 108 bytes with the terminating zero; some systems hold 104.
constexpr qsizetype kMaxSocketPath = 104;

QString userName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user;
}

// Where QLocalSocket looks for a server: the name itself when it is a path, else in the
// temporary folder.
QByteArray socketPath(const QString& name) {
    return QFile::encodeName(
        QDir::isAbsolutePath(name) ? name : QDir::tempPath() + QLatin1Char('/') + name);
}

bool toAddress(const QString& name, sockaddr_un& address) {
    const QByteArray path = socketPath(name);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

int newSocket(bool nonBlocking) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (nonBlocking)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return fd;
}

// One connection of a later start: its request line is read as it arrives, and the
// connection is closed once the line is whole (or the peer has gone), which tells the later
// start that it has been heard.
class RequestReader : public QObject {
public:
    RequestReader(int fd, std::function<void(const QByteArray&)> done, QObject* parent)
        : QObject(parent), m_fd(fd), m_notifier(fd, QSocketNotifier::Read, this),
          m_done(std::move(done)) {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { read(); });
    }
    ~RequestReader() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    void read() {
        char buffer[64];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n > 0)
            m_line.append(buffer, n);
        const qsizetype end = m_line.indexOf('\n');
        if (n > 0 && end < 0 && m_line.size() < 64)
            return;
        m_notifier.setEnabled(false);
        ::close(m_fd);
        m_fd = -1;
        deleteLater();
        m_done(end >= 0 ? m_line.left(end + 1) : QByteArray());
    }

    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void(const QByteArray&)> m_done;
    QByteArray m_line;
};

#endif

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_name(name) {}

#ifndef Q_OS_WIN

SingleInstance::~SingleInstance() {
    if (m_listener >= 0) {
        delete m_notifier;
        ::close(m_listener);
        ::unlink(socketPath(m_name).constData());
    }
}

QString SingleInstance::serverNameFor(const QString& executablePath) {
    const QString file = QFileInfo(executablePath).fileName();
    // The socket lives in the user's private folder, which no other user can fill with a
    // socket of that name and which does not change with TMPDIR, so that every copy of
    // this name finds it, wherever that copy keeps its settings.
    const QString folder = userRuntimeFolder();
    if (!folder.isEmpty()) {
        const QString path = folder + QLatin1Char('/') + file + QLatin1String(".instance");
        if (QFile::encodeName(path).size() < kMaxSocketPath)
            return path;
    }
    // Without such a folder (or with one too deep for a socket path): a name in the
    // temporary folder, with the user in it.
    QString name = file + QLatin1Char('-') + userName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return name;
}

bool SingleInstance::claim(int timeoutMs) {
    if (askRunningCopy(timeoutMs))
        return false;
    QString error;
    if (!listen(error)) {
        // A copy that started at the same moment won the race: defer to it.
        if (askRunningCopy(timeoutMs))
            return false;
        qWarning("single instance: cannot listen on %s: %s", qPrintable(m_name), qPrintable(error));
    }
    return true;
}

bool SingleInstance::listen(QString& error) {
    sockaddr_un address;
    if (!toAddress(m_name, address)) {
        error = QStringLiteral("the socket path is too long");
        return false;
    }
    // Nobody answered: whatever socket file is there belongs to a copy that has ended.
    ::unlink(address.sun_path);
    m_listener = newSocket(true);
    const bool listening =
        m_listener >= 0 &&
        ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_listener, 16) == 0;
    if (!listening) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
        return false;
    }
    // Only this user may connect (the runtime folder is the user's own as well).
    ::chmod(address.sun_path, S_IRUSR | S_IWUSR);
    m_notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
    return true;
}

bool SingleInstance::askRunningCopy(int timeoutMs) {
    sockaddr_un address;
    if (!toAddress(m_name, address))
        return false;
    const int fd = newSocket(false);
    if (fd < 0)
        return false;
    // A connection waits for room in the listener's queue at most this long.
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    ::send(fd, kRaiseRequest, sizeof kRaiseRequest - 1, MSG_NOSIGNAL);
    // The running copy closes the connection once it has read the request.
    pollfd p{fd, POLLIN, 0};
    char byte;
    while (::poll(&p, 1, timeoutMs) > 0 && ::recv(fd, &byte, 1, 0) > 0) {
    }
    ::close(fd);
    return true;
}

void SingleInstance::onNewConnection() {
    for (;;) {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: every waiting connection is taken
        }
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        new RequestReader(
            fd,
            [this](const QByteArray& line) {
                if (line == kRaiseRequest)
                    emit raiseRequested();
            },
            this);
    }
}

#endif

} // namespace zp
