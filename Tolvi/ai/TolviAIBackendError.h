#pragma once

#include "Tolvi/ai/AIRequestError.h"
#include "TolviCore/ai/AIError.h"

#include <QString>

#include <optional>

namespace tolvi {

// Every way a request to the rewrite service can fail, with the sentence the user sees.
enum class TolviAIBackendErrorCase { network, requestFailed, http, missingAccessToken, emptyOutput };

class TolviAIBackendError final : public AIRequestError<TolviAIBackendErrorCase> {
public:
    using Case = TolviAIBackendErrorCase;

    static TolviAIBackendError network(AITransportError error)
    {
        return TolviAIBackendError(Case::network, std::move(error));
    }
    static TolviAIBackendError requestFailed(QString message);
    // A blank message counts as none: the status's own sentence is shown instead.
    static TolviAIBackendError http(int statusCode, std::optional<QString> message);
    static TolviAIBackendError missingAccessToken() { return TolviAIBackendError(Case::missingAccessToken); }
    static TolviAIBackendError emptyOutput() { return TolviAIBackendError(Case::emptyOutput); }

    // The message of requestFailed, or the service's message of http (when it sent one).
    const std::optional<QString>& message() const { return m_message; }
    int statusCode() const { return m_statusCode; }

    QString errorDescription() const override;

    static QString accessRefusedMessage();
    static QString missingAccessTokenMessage();
    // What requestFailed carries when a request cannot be put together.
    static QString requestNotSentMessage();

private:
    explicit TolviAIBackendError(Case kind, AITransportError transportError = {},
                                 std::optional<QString> message = std::nullopt, int statusCode = 0);

    std::optional<QString> m_message;
    int m_statusCode = 0;
};

} // namespace tolvi
