#include "singleinstance.h"

#include "filelocations.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace zp {

namespace {

constexpr char kRaiseRequest[] = "raise\n";
// sockaddr_un holds 108 bytes with the terminating zero; some systems hold 104.
constexpr qsizetype kMaxSocketPath = 104;

QString userName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user;
}

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_name(name) {}

SingleInstance::~SingleInstance() = default;

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
    // Nobody answered: whatever socket file is there belongs to a copy that has ended.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A copy that started at the same moment won the race: defer to it.
        if (askRunningCopy(timeoutMs))
            return false;
        qWarning("single instance: cannot listen on %s: %s", qPrintable(m_name),
                 qPrintable(m_server->errorString()));
        return true;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

bool SingleInstance::askRunningCopy(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRaiseRequest);
    socket.flush();
    socket.waitForBytesWritten(timeoutMs);
    // The running copy closes the connection once it has read the request.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readRequest = [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(64);
            socket->disconnectFromServer();
            if (line == kRaiseRequest)
                emit raiseRequested();
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        readRequest();
    }
}

} // namespace zp
