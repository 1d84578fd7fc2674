#include "Tolvi/ai/TolviAIBackendError.h"

#include <utility>

namespace tolvi {

TolviAIBackendError::TolviAIBackendError(Case kind)
    : m_kind(kind)
{
}

TolviAIBackendError TolviAIBackendError::network(AITransportError error)
{
    TolviAIBackendError result(Case::network);
    result.m_transportError = std::move(error);
    return result;
}

TolviAIBackendError TolviAIBackendError::requestFailed(QString message)
{
    TolviAIBackendError result(Case::requestFailed);
    result.m_message = std::move(message);
    return result;
}

TolviAIBackendError TolviAIBackendError::http(int statusCode, std::optional<QString> message)
{
    TolviAIBackendError result(Case::http);
    result.m_statusCode = statusCode;
    if (message && !message->trimmed().isEmpty())
        result.m_message = std::move(message);
    return result;
}

TolviAIBackendError TolviAIBackendError::missingAccessToken()
{
    return TolviAIBackendError(Case::missingAccessToken);
}

TolviAIBackendError TolviAIBackendError::emptyOutput()
{
    return TolviAIBackendError(Case::emptyOutput);
}

QString TolviAIBackendError::timedOutMessage()
{
    return QStringLiteral("Tolvi AI timed out. No clip was saved or pasted.");
}

QString TolviAIBackendError::couldNotConnectMessage()
{
    return QStringLiteral("Tolvi AI could not connect. No clip was saved or pasted.");
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
    switch (m_kind) {
    case Case::network:
        return m_transportError.timedOut ? timedOutMessage() : couldNotConnectMessage();
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
