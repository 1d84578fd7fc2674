#include "ScriptedHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace tolvi::testing {

std::optional<QByteArray> RecordedRequest::rawHeader(const QByteArray& name) const
{
    for (const auto& [headerName, value] : rawHeaders) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

std::optional<QByteArray> RecordedRequest::header(const QByteArray& name) const
{
    const auto raw = rawHeader(name);
    if (!raw)
        return std::nullopt;
    return raw->trimmed();
}

bool RecordedRequest::hasHeaderLike(const QByteArray& nameFragment) const
{
    for (const auto& header : rawHeaders) {
        if (header.first.toLower().contains(nameFragment.toLower()))
            return true;
    }
    return false;
}

ScriptedReply ScriptedReply::json(int status, const QByteArray& body)
{
    return withBody(status, "application/json", body);
}

ScriptedReply ScriptedReply::withBody(int status, const QByteArray& contentType, const QByteArray& body)
{
    ScriptedReply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", contentType}};
    reply.body = body;
    return reply;
}

ScriptedReply ScriptedReply::hang()
{
    ScriptedReply reply;
    reply.kind = Kind::hang;
    return reply;
}

ScriptedReply ScriptedReply::closeWithoutReply()
{
    ScriptedReply reply;
    reply.kind = Kind::closeWithoutReply;
    return reply;
}

ScriptedReply ScriptedReply::drip(int status, const QByteArray& body, std::chrono::milliseconds interval, int chunk)
{
    ScriptedReply reply = json(status, body);
    reply.kind = Kind::drip;
    reply.dripInterval = interval;
    reply.dripChunk = chunk;
    return reply;
}

namespace {

struct PendingRequest {
    QByteArray buffer;
};

const char* kPendingProperty = "tolviPendingBuffer";

QByteArray statusLine(int status)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\n";
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    // Connections are handed over once their handshake is done.
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this]() { onNewConnection(); });
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    m_server.close();
}

QUrl ScriptedHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port()).arg(path));
}

void ScriptedHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void ScriptedHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray buffer = socket->property(kPendingProperty).toByteArray() + socket->readAll();
    socket->setProperty(kPendingProperty, buffer);

    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    RecordedRequest request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype index = 1; index < lines.size(); ++index) {
        QByteArray line = lines.at(index);
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1);
        request.rawHeaders.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            contentLength = value.trimmed().toLongLong();
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < contentLength)
        return;
    request.body = buffer.mid(bodyStart, contentLength);
    socket->setProperty(kPendingProperty, QByteArray());
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    m_requests.append(request);
    answer(socket);
}

void ScriptedHttpServer::answer(QTcpSocket* socket)
{
    const ScriptedReply reply = m_reply;
    switch (reply.kind) {
    case ScriptedReply::Kind::hang:
        return;
    case ScriptedReply::Kind::closeWithoutReply:
        socket->abort();
        return;
    case ScriptedReply::Kind::respond:
    case ScriptedReply::Kind::drip:
        break;
    }

    QByteArray head = statusLine(reply.status);
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";

    if (reply.kind == ScriptedReply::Kind::respond) {
        socket->write(head + reply.body);
        socket->disconnectFromHost();
        return;
    }

    socket->write(head);
    auto* timer = new QTimer(socket);
    auto offset = std::make_shared<qsizetype>(0);
    QPointer<QTcpSocket> guard(socket);
    connect(timer, &QTimer::timeout, socket, [guard, timer, offset, reply]() {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        guard->write(reply.body.mid(*offset, reply.dripChunk));
        *offset += reply.dripChunk;
        if (*offset >= reply.body.size()) {
            timer->stop();
            guard->disconnectFromHost();
        }
    });
    timer->start(static_cast<int>(reply.dripInterval.count()));
}

QUrl unreachableURL(const QString& path)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path));
}

} // namespace tolvi::testing
