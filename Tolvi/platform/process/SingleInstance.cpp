#include "Tolvi/platform/process/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

namespace {
constexpr int kTimeoutMs = 1000;
const QByteArray kActivate = "activate\n";
} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(socketPath.isEmpty() ? defaultSocketPath() : std::move(socketPath))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() > 64) {
                    socket->abort();
                    return;
                }
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine();
                socket->write("ok\n");
                socket->flush();
                socket->disconnectFromServer();
                if (line == kActivate)
                    emit activationRequested();
            });
        }
    });
}

SingleInstance::~SingleInstance()
{
    m_server.close();
}

QString SingleInstance::defaultSocketPath()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & 0077) == 0)
        return QFile::decodeName(runtime) + QStringLiteral("/tolvi.instance");
    return QDir::tempPath() + QStringLiteral("/tolvi-%1.instance").arg(::getuid());
}

bool SingleInstance::notifyRunningInstance()
{
    // Only a socket of our own user is a running Tolvi: in a shared temporary folder another
    // user could otherwise answer and keep us from starting.
    const QFileInfo info(m_socketPath);
    if (info.exists() && info.ownerId() != ::getuid())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    // The running instance answers once it has taken the request.
    return socket.waitForReadyRead(kTimeoutMs) && socket.readLine() == "ok\n";
}

bool SingleInstance::listen()
{
    if (m_server.listen(m_socketPath))
        return true;
    if (m_server.serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // A socket file nobody answers on is left over from a crash: only then take it over.
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(kTimeoutMs))
        return false;
    const QFileInfo info(m_socketPath);
    if (info.exists() && info.ownerId() != ::getuid())
        return false;
    QLocalServer::removeServer(m_socketPath);
    return m_server.listen(m_socketPath);
}

SingleInstance::Role SingleInstance::claim()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (notifyRunningInstance())
            return Role::Secondary;
        if (listen())
            return Role::Primary;
        // Another launch won the race to listen: hand over to it on the next round.
    }
    return Role::Failed;
}

} // namespace tolvi
