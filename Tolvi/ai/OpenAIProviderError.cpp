#include "Tolvi/ai/OpenAIProviderError.h"

#include <utility>

namespace tolvi {

OpenAIProviderError::OpenAIProviderError(Case kind, AITransportError transportError, QString model, QString message)
    : AIRequestError(kind, std::move(transportError))
    , m_model(std::move(model))
    , m_message(std::move(message))
{
}

OpenAIProviderError OpenAIProviderError::requestFailed(QString model, QString message)
{
    return OpenAIProviderError(Case::requestFailed, {}, std::move(model), std::move(message));
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
    switch (kind()) {
    case Case::network:
        return connectionFailureDescription(transportError());
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
