#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QUrl>

namespace tolvi::testing {

// A TLS identity for 127.0.0.1 made when first asked for (a fresh P-256 key and a self-signed
// certificate valid from a day ago), so that tests talk to their local servers over https as
// the program does to real ones. Clients trust it through certificate().
class LocalTlsIdentity {
public:
    static const LocalTlsIdentity& shared();

    const QSslCertificate& certificate() const { return m_certificate; }
    // The configuration of a server that presents this identity.
    QSslConfiguration serverConfiguration() const;

private:
    LocalTlsIdentity();
    QSslCertificate m_certificate;
    QSslKey m_key;
};

// A QSslServer presenting the shared identity.
class LocalTlsServer : public QSslServer {
public:
    explicit LocalTlsServer(QObject* parent = nullptr);
};

// A plain TCP listener on 127.0.0.1 that only counts the connections made to it: where nothing
// may ever be sent in clear.
class PlainListener {
public:
    PlainListener();
    // http://127.0.0.1:<port><path>
    QUrl url(const QString& path) const;
    bool isListening() const { return m_server.isListening(); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    int m_connections = 0;
};

} // namespace tolvi::testing
