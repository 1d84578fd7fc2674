#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

#include "LocalTlsServer.h"
#include <QUrl>

#include <chrono>
#include <optional>

class QTcpSocket;

namespace tolvi::testing {

// One request as the server received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray path;
    // Header names as sent; values exactly as they followed the colon (leading space included).
    QList<QPair<QByteArray, QByteArray>> rawHeaders;
    QByteArray body;

    // The value of the (first) header of that name, case-insensitively, with the surrounding
    // optional white space removed; nothing when the header is absent.
    std::optional<QByteArray> header(const QByteArray& name) const;
    // The value exactly as it followed the colon.
    std::optional<QByteArray> rawHeader(const QByteArray& name) const;
    bool hasHeaderLike(const QByteArray& nameFragment) const;
};

// What the server does once a request has arrived.
struct ScriptedReply {
    enum class Kind { respond, hang, closeWithoutReply, drip };

    Kind kind = Kind::respond;
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // drip: the body goes out `dripChunk` bytes at a time, one chunk every `dripInterval`.
    std::chrono::milliseconds dripInterval{0};
    int dripChunk = 1;

    static ScriptedReply json(int status, const QByteArray& body);
    static ScriptedReply withBody(int status, const QByteArray& contentType, const QByteArray& body);
    static ScriptedReply hang();
    static ScriptedReply closeWithoutReply();
    static ScriptedReply drip(int status, const QByteArray& body, std::chrono::milliseconds interval, int chunk);
};

// A small HTTP/1.1 server over TLS on 127.0.0.1 (a free port) that records every request and
// answers each with the scripted reply; clients trust it through testSessionConfiguration() or
// LocalTlsIdentity. It runs on the thread that creates it, so the test thread must
// spin its event loop while a client waits.
class ScriptedHttpServer : public QObject {
public:
    ScriptedHttpServer();
    ~ScriptedHttpServer() override;

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path) const;

    void setReply(ScriptedReply reply) { m_reply = std::move(reply); }

    const QList<RecordedRequest>& requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket);

    LocalTlsServer m_server;
    ScriptedReply m_reply;
    QList<RecordedRequest> m_requests;
    int m_connections = 0;
};

// A loopback https URL on which nothing listens (a port that was bound, then closed).
QUrl unreachableURL(const QString& path);

} // namespace tolvi::testing
