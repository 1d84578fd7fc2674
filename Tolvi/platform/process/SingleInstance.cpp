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
constexpr qsizetype kMaximumTokenBytes = 512;
// A command word, a space and a token, and the line end.
constexpr qsizetype kMaximumLineBytes = kMaximumTokenBytes + 16;
constexpr int kListenWatchMs = 5000;

const QList<std::pair<SingleInstance::Command, QByteArray>>& commandWords()
{
    static const QList<std::pair<SingleInstance::Command, QByteArray>> words{
        {SingleInstance::Command::reopen, "activate"},
        {SingleInstance::Command::history, "history"},
        {SingleInstance::Command::compact, "compact"},
        {SingleInstance::Command::settings, "settings"},
    };
    return words;
}

bool isValidToken(const QByteArray& token)
{
    if (token.isEmpty() || token.size() > kMaximumTokenBytes)
        return false;
    for (const char c : token) {
        if (c < 0x21 || c > 0x7e)
            return false;
    }
    return true;
}

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
        while (QLocalSocket* socket = m_server.nextPendingConnection())
            accept(socket);
        keepListening();
    });
    m_listenWatch.setInterval(kListenWatchMs);
    connect(&m_listenWatch, &QTimer::timeout, this, &SingleInstance::keepListening);
}

void SingleInstance::accept(QLocalSocket* socket)
{
    if (m_connections.size() >= kMaximumOpenConnections)
        dropConnection(m_connections.first());
    m_connections.append(socket);
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.removeOne(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLine(socket); });
    QTimer::singleShot(kLineDeadlineMs, socket, [this, socket] {
        if (m_connections.contains(socket))
            dropConnection(socket);
    });
    // The line may have arrived with the connection.
    if (socket->bytesAvailable() > 0)
        readLine(socket);
}

void SingleInstance::readLine(QLocalSocket* socket)
{
    if (!m_connections.contains(socket))
        return;
    if (socket->bytesAvailable() > kMaximumLineBytes) {
        dropConnection(socket);
        return;
    }
    if (!socket->canReadLine())
        return;
    const std::optional<Request> request = decode(socket->readLine());
    if (!request) {
        dropConnection(socket);
        return;
    }
    m_connections.removeOne(socket);
    socket->write("ok\n");
    socket->flush();
    socket->disconnectFromServer();
    // A launch that went away before reading the answer leaves the socket connected in name only.
    QTimer::singleShot(kLineDeadlineMs, socket, &QObject::deleteLater);
    if (request->command == Command::reopen)
        emit activationRequested();
    else
        emit requestReceived(*request);
}

void SingleInstance::dropConnection(QLocalSocket* socket)
{
    m_connections.removeOne(socket);
    // Closes the descriptor now; the object goes once its signals are delivered.
    socket->abort();
    socket->deleteLater();
}

void SingleInstance::keepListening()
{
    if (!m_listenWatch.isActive() || m_server.isListening())
        return;
    qWarning("Tolvi: the instance socket stopped listening (%s); listening again",
             qPrintable(m_server.errorString()));
    if (listen())
        return;
    // Another launch took the socket in the meantime: it is the running instance now.
    if (QFileInfo::exists(m_socketPath)) {
        qWarning("Tolvi: another instance answers on the instance socket now");
        m_listenWatch.stop();
        return;
    }
    qWarning("Tolvi: the instance socket could not listen again; will retry");
}

SingleInstance::~SingleInstance()
{
    m_listenWatch.stop();
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
    socket.write(encode(m_request));
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    // The running instance answers once it has taken the request.
    return socket.waitForReadyRead(kTimeoutMs) && socket.readLine() == "ok\n";
}

QByteArray SingleInstance::encode(const Request& request)
{
    QByteArray line;
    for (const auto& [command, word] : commandWords()) {
        if (command == request.command)
            line = word;
    }
    if (isValidToken(request.activationToken))
        line += ' ' + request.activationToken;
    return line + '\n';
}

std::optional<SingleInstance::Request> SingleInstance::decode(const QByteArray& line)
{
    if (!line.endsWith('\n') || line.size() > kMaximumLineBytes)
        return std::nullopt;
    const QByteArray body = line.chopped(1);
    const qsizetype space = body.indexOf(' ');
    const QByteArray word = space < 0 ? body : body.left(space);
    Request request;
    bool known = false;
    for (const auto& [command, name] : commandWords()) {
        if (name == word) {
            request.command = command;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;
    if (space >= 0) {
        request.activationToken = body.mid(space + 1);
        if (!isValidToken(request.activationToken))
            return std::nullopt;
    }
    return request;
}

SingleInstance::Request SingleInstance::requestFromEnvironment(Command command)
{
    Request request;
    request.command = command;
    // A Wayland launcher's token first; X11 launchers hand a startup id.
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QByteArray value = qgetenv(name);
        if (isValidToken(value)) {
            request.activationToken = value;
            break;
        }
    }
    return request;
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
        if (listen()) {
            m_listenWatch.start();
            return Role::Primary;
        }
        // Another launch won the race to listen: hand over to it on the next round.
    }
    return Role::Failed;
}

bool SingleInstance::handOver()
{
    m_listenWatch.stop();
    m_server.close();
    return notifyRunningInstance();
}

} // namespace tolvi
