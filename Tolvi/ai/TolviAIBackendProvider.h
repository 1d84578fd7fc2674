#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "TolviCore/ai/AIProvider.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tolvi {

// The host's source of the current access token: nothing when it has none. Called once per
// request, off the main thread, so it must be safe to call from any thread.
using AccessTokenProvider = std::function<std::optional<QString>()>;

// Runs AI actions through the rewrite service: sends the action's identifier and the text with
// the access token, and returns the service's text. Every failure is a TolviAIBackendError.
class TolviAIBackendProvider final : public AIProvider {
public:
    struct Options {
        QUrl endpoint;
        // Sent as "X-Tolvi-Version".
        QString appVersion;
        AccessTokenProvider accessTokenProvider;
        AIHttpSessionConfiguration sessionConfiguration = AIHttpSessionConfiguration::rewriteService();
        // The request's own limit between bytes.
        std::chrono::milliseconds requestTimeout{60000};
    };

    explicit TolviAIBackendProvider(Options options);
    ~TolviAIBackendProvider() override;

    QUrl endpoint() const;
    const AIHttpSessionConfiguration& sessionConfiguration() const;

    void perform(const AIAction& action, const QString& input, AICompletion completion) override;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace tolvi
