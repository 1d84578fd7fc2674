#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "TolviCore/ai/AIError.h"

#include <QString>

namespace tolvi {

// Every way a request to the public responses interface can fail, with the sentence the user
// sees.
class OpenAIProviderError final : public AIError {
public:
    enum class Case { network, requestFailed, missingAPIKey, missingOutput };

    static OpenAIProviderError network(AITransportError error);
    static OpenAIProviderError requestFailed(QString model, QString message);
    static OpenAIProviderError missingAPIKey();
    static OpenAIProviderError missingOutput();

    Case kind() const { return m_kind; }
    const AITransportError& transportError() const { return m_transportError; }
    const QString& model() const { return m_model; }
    const QString& message() const { return m_message; }

    QString errorDescription() const override;

    // The message of an unsuccessful answer that carries none (or only blanks).
    static QString genericFailureMessage();
    // What requestFailed carries when a request cannot be put together.
    static QString requestNotSentMessage();

private:
    explicit OpenAIProviderError(Case kind);

    Case m_kind;
    AITransportError m_transportError;
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
