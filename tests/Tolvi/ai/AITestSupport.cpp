#include "AITestSupport.h"

#include "LocalTlsServer.h"

#include "TolviCore/ai/AIResultDelivery.h"

#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace tolvi::testing {

std::optional<AIResult> performAndWait(AIProvider& provider, const AIAction& action, const QString& input)
{
    struct Shared {
        std::optional<AIResult> result;
        QEventLoop loop;
    };
    auto shared = std::make_shared<Shared>();
    std::weak_ptr<Shared> weak = shared;
    provider.perform(action, input, deliverOnThread(nullptr, [weak](AIResult result) {
                         if (auto state = weak.lock()) {
                             state->result = std::move(result);
                             state->loop.quit();
                         }
                     }));
    QTimer::singleShot(15000, &shared->loop, &QEventLoop::quit);
    if (!shared->result)
        shared->loop.exec();
    return shared->result;
}

void spinEventLoop(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(duration.count()), &loop, &QEventLoop::quit);
    loop.exec();
}

AIHttpSessionConfiguration relaxedSession()
{
    using namespace std::chrono_literals;
    return session(20s, 30s);
}

AIHttpSessionConfiguration session(std::chrono::milliseconds request, std::chrono::milliseconds resource)
{
    AIHttpSessionConfiguration configuration;
    configuration.requestTimeout = request;
    configuration.resourceTimeout = resource;
    configuration.proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    // The local servers speak TLS with an identity of their own.
    configuration.extraTrustedCertificates = {LocalTlsIdentity::shared().certificate()};
    return configuration;
}

} // namespace tolvi::testing
