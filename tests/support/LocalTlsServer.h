#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>

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

} // namespace tolvi::testing
