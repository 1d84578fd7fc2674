#include "Tolvi/ai/AIHttpSession.h"

#include "Tolvi/ai/AIRequestChecks.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

namespace tolvi {

AIHttpSessionConfiguration AIHttpSessionConfiguration::rewriteService()
{
    using namespace std::chrono_literals;
    return AIHttpSessionConfiguration{30s, 45s, std::nullopt};
}

AIHttpSessionConfiguration AIHttpSessionConfiguration::responsesInterface()
{
    using namespace std::chrono_literals;
    return AIHttpSessionConfiguration{25s, 35s, std::nullopt};
}

namespace {

int clampedMilliseconds(std::chrono::milliseconds value)
{
    return static_cast<int>(std::clamp<long long>(value.count(), 1, std::numeric_limits<int>::max()));
}

// Errors of the connection itself (and of a proxy). A reply that ends with one of them is
// incomplete, even when a status line had already arrived. A redirect that is not followed is
// an answer in its own right, and so is any other status (Qt reports a redirect without a
// location as a protocol error).
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    if (error == QNetworkReply::InsecureRedirectError || error == QNetworkReply::TooManyRedirectsError)
        return false;
    const int code = static_cast<int>(error);
    return code >= 1 && code < 200;
}

} // namespace

class AIHttpSession::Worker : public QObject {
public:
    explicit Worker(AIHttpSessionConfiguration configuration)
        : m_configuration(std::move(configuration))
    {
    }

    void send(const AIHttpRequest& request, const Completion& completion)
    {
        if (m_shuttingDown)
            return;
        // The user's text goes nowhere in clear, whatever the caller checked before.
        if (!isSendableEndpoint(request.url)) {
            AIHttpResponse refused;
            refused.transportError = AITransportError{QNetworkReply::ProtocolUnknownError, false,
                                                      QStringLiteral("Only https:// addresses are used.")};
            completion(std::move(refused));
            return;
        }
        QNetworkAccessManager& manager = accessManager();

        QNetworkRequest networkRequest(request.url);
        if (!m_configuration.extraTrustedCertificates.isEmpty()) {
            QSslConfiguration tls = networkRequest.sslConfiguration();
            tls.addCaCertificates(m_configuration.extraTrustedCertificates);
            networkRequest.setSslConfiguration(tls);
        }
        for (const auto& [name, value] : request.headers)
            networkRequest.setRawHeader(name, value);
        networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                    QNetworkRequest::SameOriginRedirectPolicy);
        // The time limits below are our own; Qt's reports a time-out as a cancellation.
        networkRequest.setTransferTimeout(0);

        QNetworkReply* reply = manager.post(networkRequest, request.body);

        auto timedOut = std::make_shared<bool>(false);
        auto* idleTimer = new QTimer(reply);
        idleTimer->setSingleShot(true);
        idleTimer->setInterval(clampedMilliseconds(std::min(m_configuration.requestTimeout, request.timeout)));
        auto* totalTimer = new QTimer(reply);
        totalTimer->setSingleShot(true);
        totalTimer->setInterval(clampedMilliseconds(m_configuration.resourceTimeout));

        const auto expire = [reply, timedOut]() {
            *timedOut = true;
            reply->abort();
        };
        QObject::connect(idleTimer, &QTimer::timeout, reply, expire);
        QObject::connect(totalTimer, &QTimer::timeout, reply, expire);

        const auto progressed = [idleTimer](qint64 done, qint64) {
            if (done > 0)
                idleTimer->start();
        };
        QObject::connect(reply, &QNetworkReply::uploadProgress, idleTimer, progressed);
        QObject::connect(reply, &QNetworkReply::downloadProgress, idleTimer, progressed);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, idleTimer, [idleTimer]() { idleTimer->start(); });

        QObject::connect(reply, &QNetworkReply::finished, this,
                         [reply, idleTimer, totalTimer, timedOut, completion]() {
                             idleTimer->stop();
                             totalTimer->stop();
                             AIHttpResponse response = interpret(*reply, *timedOut);
                             reply->deleteLater();
                             completion(std::move(response));
                         });
        idleTimer->start();
        totalTimer->start();
    }

    void shutDown()
    {
        m_shuttingDown = true;
        if (!m_manager)
            return;
        const auto replies = m_manager->findChildren<QNetworkReply*>();
        for (QNetworkReply* reply : replies) {
            reply->disconnect(this);
            reply->abort();
        }
        delete m_manager;
        m_manager = nullptr;
    }

private:
    QNetworkAccessManager& accessManager()
    {
        if (!m_manager) {
            m_manager = new QNetworkAccessManager(this);
            m_manager->setCache(nullptr);
            m_manager->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
            if (m_configuration.proxy)
                m_manager->setProxy(*m_configuration.proxy);
        }
        return *m_manager;
    }

    static AIHttpResponse interpret(QNetworkReply& reply, bool timedOut)
    {
        AIHttpResponse response;
        const QNetworkReply::NetworkError error = reply.error();
        if (timedOut || error == QNetworkReply::TimeoutError) {
            response.transportError = AITransportError{QNetworkReply::TimeoutError, true, reply.errorString()};
            return response;
        }
        // Qt turns an HTTP error status into an error code of its own (a 429 becomes
        // UnknownContentError): the status decides, unless the connection itself failed.
        const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && !isTransportFailure(error)) {
            response.statusCode = status.toInt();
            response.body = reply.readAll();
            return response;
        }
        const QNetworkReply::NetworkError code =
            error == QNetworkReply::NoError ? QNetworkReply::UnknownNetworkError : error;
        response.transportError = AITransportError{code, false, reply.errorString()};
        return response;
    }

    AIHttpSessionConfiguration m_configuration;
    QNetworkAccessManager* m_manager = nullptr;
    bool m_shuttingDown = false;
};

AIHttpSession::AIHttpSession(AIHttpSessionConfiguration configuration)
    : m_configuration(std::move(configuration))
{
    m_worker = new Worker(m_configuration);
    m_worker->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("TolviAIHttp"));
    m_thread.start();
}

AIHttpSession::~AIHttpSession()
{
    Q_ASSERT(QThread::currentThread() != &m_thread);
    Worker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker]() {
            worker->shutDown();
            delete worker;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void AIHttpSession::post(AIHttpRequest request, Completion completion)
{
    Worker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, request = std::move(request), completion = std::move(completion)]() {
            worker->send(request, completion);
        },
        Qt::QueuedConnection);
}

} // namespace tolvi
