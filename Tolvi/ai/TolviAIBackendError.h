#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "TolviCore/ai/AIError.h"

#include <QString>

#include <optional>

namespace tolvi {

// Every way a request to the rewrite service can fail, with the sentence the user sees.
class TolviAIBackendError final : public AIError {
public:
    enum class Case { network, requestFailed, http, missingAccessToken, emptyOutput };

    static TolviAIBackendError network(AITransportError error);
    static TolviAIBackendError requestFailed(QString message);
    // A blank message counts as none: the status's own sentence is shown instead.
    static TolviAIBackendError http(int statusCode, std::optional<QString> message);
    static TolviAIBackendError missingAccessToken();
    static TolviAIBackendError emptyOutput();

    Case kind() const { return m_kind; }
    const AITransportError& transportError() const { return m_transportError; }
    // The message of requestFailed, or the service's message of http (when it sent one).
    const std::optional<QString>& message() const { return m_message; }
    int statusCode() const { return m_statusCode; }

    QString errorDescription() const override;

    static QString timedOutMessage();
    static QString couldNotConnectMessage();
    static QString accessRefusedMessage();
    static QString missingAccessTokenMessage();
    // What requestFailed carries when a request cannot be put together.
    static QString requestNotSentMessage();

private:
    explicit TolviAIBackendError(Case kind);

    Case m_kind;
    AITransportError m_transportError;
    std::optional<QString> m_message;
    int m_statusCode = 0;
};

} // namespace tolvi
