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

// The socket's folder must be the user's own and closed to everyone else, so that nobody else can
// put a socket there first. The per-user folder of the fallback is made when it is missing.
bool isPrivateFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) == 0)
        ::chmod(native.constData(), 0700);
    struct stat info {};
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()
           && (info.st_mode & 0077) == 0;
}
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
    return QDir::tempPath() + QStringLiteral("/Tolvi-%1/tolvi.instance").arg(::getuid());
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
    // A socket file nobody answers on is left over from a crash: only then take it over. This is
    // checked first because listening with access options renames a new socket over the name,
    // which would take it from a program that is only slow to answer.
    const QFileInfo info(m_socketPath);
    if (info.exists() || info.isSymLink()) {
        QLocalSocket probe;
        probe.connectToServer(m_socketPath);
        if (probe.waitForConnected(kTimeoutMs) || info.ownerId() != ::getuid())
            return false;
        QLocalServer::removeServer(m_socketPath);
    }
    return m_server.listen(m_socketPath);
}

SingleInstance::Role SingleInstance::claim()
{
    if (!isPrivateFolder(QFileInfo(m_socketPath).absolutePath()))
        return Role::Failed;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (notifyRunningInstance())
            return Role::Secondary;
        if (listen())
            return Role::Primary;
        // Another launch won the race to listen: hand over to it on the next round.
    }
    return Role::Failed;
}

bool SingleInstance::handOver()
{
    m_server.close();
    return notifyRunningInstance();
}

} // namespace tolvi
