#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tolvi {

// The time limits and network settings of one provider's HTTP session.
struct AIHttpSessionConfiguration {
    // Longest wait for the next bytes in either direction (the connection phase included).
    std::chrono::milliseconds requestTimeout{30000};
    // Longest time a whole exchange may take, however steadily data flows.
    std::chrono::milliseconds resourceTimeout{45000};
    // Unset: Qt's own proxy handling. Tests pin QNetworkProxy::NoProxy.
    std::optional<QNetworkProxy> proxy;
    // Trusted beside the system's certificate authorities (tests: their local server's own).
    QList<QSslCertificate> extraTrustedCertificates;

    // The rewrite service: 30 s between bytes, 45 s in all.
    static AIHttpSessionConfiguration rewriteService();
    // The public responses interface: 25 s between bytes, 35 s in all.
    static AIHttpSessionConfiguration responsesInterface();
};

struct AIHttpRequest {
    QUrl url;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The request's own limit between bytes; the shorter of this and the session's applies.
    std::chrono::milliseconds timeout{60000};
};

// Why an exchange failed before a complete HTTP answer arrived.
struct AITransportError {
    QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError;
    bool timedOut = false;
    QString description;
};

// The outcome of one exchange: a complete HTTP answer (status and body), or a transport error.
struct AIHttpResponse {
    std::optional<AITransportError> transportError;
    int statusCode = 0;
    QByteArray body;

    bool isAnswered() const { return !transportError.has_value(); }
};

// One provider's HTTP session: its own network thread with its own QNetworkAccessManager
// (no cache, same-origin redirects only) and the session's time limits, which it enforces
// itself so that a time-out is told apart from a cancellation.
class AIHttpSession {
public:
    using Completion = std::function<void(AIHttpResponse)>;

    explicit AIHttpSession(AIHttpSessionConfiguration configuration);
    ~AIHttpSession();

    AIHttpSession(const AIHttpSession&) = delete;
    AIHttpSession& operator=(const AIHttpSession&) = delete;

    const AIHttpSessionConfiguration& configuration() const { return m_configuration; }

    // POSTs the request; an address other than https:// is answered at once with a transport
    // error and nothing is sent. Safe to call from any thread; the completion runs on the session's
    // network thread. Exchanges still running when the session is destroyed are aborted and
    // their completions dropped. The session must not be destroyed on its own network thread.
    void post(AIHttpRequest request, Completion completion);

private:
    class Worker;

    AIHttpSessionConfiguration m_configuration;
    QThread m_thread;
    Worker* m_worker = nullptr;
};

} // namespace tolvi
