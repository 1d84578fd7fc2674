#pragma once

#include "Tolvi/ai/AIRequestError.h"
#include "TolviCore/ai/AIError.h"

#include <QString>

namespace tolvi {

// Every way a request to the public responses interface can fail, with the sentence the user
// sees.
enum class OpenAIProviderErrorCase { network, requestFailed, missingAPIKey, missingOutput };

class OpenAIProviderError final : public AIRequestError<OpenAIProviderErrorCase> {
public:
    using Case = OpenAIProviderErrorCase;

    static OpenAIProviderError network(AITransportError error)
    {
        return OpenAIProviderError(Case::network, std::move(error));
    }
    static OpenAIProviderError requestFailed(QString model, QString message);
    static OpenAIProviderError missingAPIKey() { return OpenAIProviderError(Case::missingAPIKey); }
    static OpenAIProviderError missingOutput() { return OpenAIProviderError(Case::missingOutput); }

    const QString& model() const { return m_model; }
    const QString& message() const { return m_message; }

    QString errorDescription() const override;

    // The message of an unsuccessful answer that carries none (or only blanks).
    static QString genericFailureMessage();
    // What requestFailed carries when a request cannot be put together.
    static QString requestNotSentMessage();

private:
    explicit OpenAIProviderError(Case kind, AITransportError transportError = {}, QString model = {},
                                 QString message = {});

    QString m_model;
    QString m_message;
};

// A successful answer whose body could not be read; its description says why.
class ResponsesDecodingError final : public AIError {
public:
    explicit ResponsesDecodingError(QString description);
    QString errorDescription() const override;

private:
    QString m_description;
};

} // namespace tolvi
