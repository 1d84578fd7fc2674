#include "Tolvi/ai/OpenAIProviderError.h"

#include "Tolvi/ai/TolviAIBackendError.h"

#include <utility>

namespace tolvi {

OpenAIProviderError::OpenAIProviderError(Case kind)
    : m_kind(kind)
{
}

OpenAIProviderError OpenAIProviderError::network(AITransportError error)
{
    OpenAIProviderError result(Case::network);
    result.m_transportError = std::move(error);
    return result;
}

OpenAIProviderError OpenAIProviderError::requestFailed(QString model, QString message)
{
    OpenAIProviderError result(Case::requestFailed);
    result.m_model = std::move(model);
    result.m_message = std::move(message);
    return result;
}

OpenAIProviderError OpenAIProviderError::missingAPIKey()
{
    return OpenAIProviderError(Case::missingAPIKey);
}

OpenAIProviderError OpenAIProviderError::missingOutput()
{
    return OpenAIProviderError(Case::missingOutput);
}

QString OpenAIProviderError::genericFailureMessage()
{
    return QStringLiteral("OpenAI request failed.");
}

QString OpenAIProviderError::requestNotSentMessage()
{
    return QStringLiteral("The OpenAI request could not be sent. No content was sent.");
}

QString OpenAIProviderError::errorDescription() const
{
    switch (m_kind) {
    case Case::network:
        return m_transportError.timedOut ? TolviAIBackendError::timedOutMessage()
                                         : TolviAIBackendError::couldNotConnectMessage();
    case Case::requestFailed: {
        const QString lowered = m_message.toLower();
        if (lowered.contains(QLatin1String("model")) || lowered.contains(QLatin1String("does not exist"))
            || lowered.contains(QLatin1String("unsupported")))
            return QStringLiteral("OpenAI rejected model '") + m_model + QStringLiteral("'. ") + m_message;
        return m_message;
    }
    case Case::missingAPIKey:
        return QStringLiteral("Tolvi AI is not connected in this build. No content was sent.");
    case Case::missingOutput:
        return QStringLiteral("OpenAI returned no text.");
    }
    return {};
}

ResponsesDecodingError::ResponsesDecodingError(QString description)
    : m_description(std::move(description))
{
}

QString ResponsesDecodingError::errorDescription() const
{
    return m_description;
}

} // namespace tolvi
