#include "Tolvi/ai/TolviAIBackendError.h"

#include <utility>

namespace tolvi {

TolviAIBackendError::TolviAIBackendError(Case kind, AITransportError transportError, std::optional<QString> message,
                                         int statusCode)
    : AIRequestError(kind, std::move(transportError))
    , m_message(std::move(message))
    , m_statusCode(statusCode)
{
}

TolviAIBackendError TolviAIBackendError::requestFailed(QString message)
{
    return TolviAIBackendError(Case::requestFailed, {}, std::move(message));
}

TolviAIBackendError TolviAIBackendError::http(int statusCode, std::optional<QString> message)
{
    if (message && message->trimmed().isEmpty())
        message.reset();
    return TolviAIBackendError(Case::http, {}, std::move(message), statusCode);
}

QString TolviAIBackendError::accessRefusedMessage()
{
    return QStringLiteral("Tolvi AI refused access from this computer. No clip was saved or pasted.");
}

QString TolviAIBackendError::missingAccessTokenMessage()
{
    return QStringLiteral("Tolvi AI needs a valid access token first. No content was sent.");
}

QString TolviAIBackendError::requestNotSentMessage()
{
    return QStringLiteral("Tolvi AI could not send this request. No content was sent.");
}

QString TolviAIBackendError::errorDescription() const
{
    switch (kind()) {
    case Case::network:
        return connectionFailureDescription(transportError());
    case Case::requestFailed:
        return m_message.value_or(QString());
    case Case::http:
        if (m_message && !m_message->isEmpty())
            return *m_message;
        switch (m_statusCode) {
        case 413: return QStringLiteral("That clip is too large for Tolvi AI.");
        case 429: return QStringLiteral("AI limit reached. Try again later.");
        case 501:
        case 503:
            return QStringLiteral(
                "Tolvi AI is unavailable. Your request reached Tolvi, but no result was saved or pasted.");
        case 401:
        case 402:
        case 403:
            return accessRefusedMessage();
        default:
            return QStringLiteral("Tolvi AI failed. No clip was saved or pasted.");
        }
    case Case::missingAccessToken:
        return missingAccessTokenMessage();
    case Case::emptyOutput:
        return QStringLiteral("AI returned an empty result.");
    }
    return {};
}

} // namespace tolvi
