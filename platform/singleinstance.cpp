#include "singleinstance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace zp {

namespace {

constexpr char kRaiseRequest[] = "raise\n";

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
    QString name = QFileInfo(executablePath).fileName() + QLatin1Char('-') + userName();
    // The name becomes a file name in the temporary folder.
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
