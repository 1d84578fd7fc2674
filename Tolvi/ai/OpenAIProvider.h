#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "Tolvi/ai/OpenAIEnvironment.h"
#include "TolviCore/ai/AIProvider.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tolvi {

// Runs AI actions directly against OpenAI's public Responses interface with a developer's own
// key (development builds only): the action's prompt is the instructions, the text the input.
class OpenAIProvider final : public AIProvider {
public:
    using APIKeyProvider = std::function<std::optional<QString>()>;
    using ModelProvider = std::function<QString()>;

    struct Options {
        // Called once per request, off the main thread.
        APIKeyProvider apiKeyProvider;
        ModelProvider modelProvider;
        QUrl endpoint = QUrl(defaultEndpointURL());
        AIHttpSessionConfiguration sessionConfiguration = AIHttpSessionConfiguration::responsesInterface();
        // The request's own limit between bytes.
        std::chrono::milliseconds requestTimeout{60000};
    };

    static QString defaultEndpointURL();
    static QString defaultModel();
    // The key from "OPENAI_API_KEY".
    static APIKeyProvider defaultAPIKeyProvider(OpenAIEnvironment environment);
    // "TOLVI_OPENAI_MODEL", or the default model when it is unset or blank.
    static ModelProvider defaultModelProvider(OpenAIEnvironment environment);
    // Both sources read from the environment, the public endpoint, the interface's time limits.
    static Options defaultOptions(OpenAIEnvironment environment = OpenAIEnvironment::process());

    explicit OpenAIProvider(Options options);
    ~OpenAIProvider() override;

    QUrl endpoint() const;
    const AIHttpSessionConfiguration& sessionConfiguration() const;
    // The model name the next request uses.
    QString configuredModel() const;

    void perform(const AIAction& action, const QString& input, AICompletion completion) override;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace tolvi
