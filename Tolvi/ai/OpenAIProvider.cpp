#include "Tolvi/ai/OpenAIProvider.h"

#include "Tolvi/ai/AIRequestChecks.h"
#include "Tolvi/ai/OpenAIProviderError.h"
#include "Tolvi/ai/OpenAIResponsesMessages.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QThreadPool>

#include <utility>

namespace tolvi {

struct OpenAIProvider::State {
    explicit State(Options options)
        : options(std::move(options))
        , session(this->options.sessionConfiguration)
    {
    }

    QString configuredModel() const
    {
        const QString model = options.modelProvider ? options.modelProvider().trimmed() : QString();
        return model.isEmpty() ? OpenAIProvider::defaultModel() : model;
    }

    Options options;
    AIHttpSession session;
};

namespace {

template <typename Error>
AIResult failure(Error error)
{
    return AIResult::failure(std::make_shared<Error>(std::move(error)));
}

AIResult interpretResponse(const AIHttpResponse& response, const QString& model)
{
    if (response.transportError)
        return failure(OpenAIProviderError::network(*response.transportError));

    if (response.statusCode < 200 || response.statusCode > 299) {
        // A blank message would leave the user with nothing to read.
        std::optional<QString> message;
        if (const std::optional<ResponsesErrorEnvelope> envelope = ResponsesErrorEnvelope::decode(response.body))
            message = envelope->error.message;
        if (!message || message->trimmed().isEmpty())
            message = OpenAIProviderError::genericFailureMessage();
        return failure(OpenAIProviderError::requestFailed(model, *message));
    }

    auto decoded = ResponsesResponse::decode(response.body);
    if (const auto* decodingFailure = std::get_if<ResponsesDecodingFailure>(&decoded))
        return failure(ResponsesDecodingError(decodingFailure->description));
    const std::optional<QString> text = std::get<ResponsesResponse>(decoded).outputTextValue();
    if (!text)
        return failure(OpenAIProviderError::missingOutput());
    return AIResult::success(*text);
}

} // namespace

QString OpenAIProvider::defaultEndpointURL()
{
    return QStringLiteral("https://api.openai.com/v1/responses");
}

QString OpenAIProvider::defaultModel()
{
    return QStringLiteral("gpt-5-mini");
}

OpenAIProvider::APIKeyProvider OpenAIProvider::defaultAPIKeyProvider(OpenAIEnvironment environment)
{
    return [environment = std::move(environment)]() {
        return environment.value(QStringLiteral("OPENAI_API_KEY"));
    };
}

OpenAIProvider::ModelProvider OpenAIProvider::defaultModelProvider(OpenAIEnvironment environment)
{
    return [environment = std::move(environment)]() {
        return environment.value(QStringLiteral("TOLVI_OPENAI_MODEL")).value_or(defaultModel());
    };
}

OpenAIProvider::Options OpenAIProvider::defaultOptions(OpenAIEnvironment environment)
{
    Options options;
    options.apiKeyProvider = defaultAPIKeyProvider(environment);
    options.modelProvider = defaultModelProvider(environment);
    return options;
}

OpenAIProvider::OpenAIProvider(Options options)
    : m_state(std::make_shared<State>(std::move(options)))
{
}

OpenAIProvider::~OpenAIProvider() = default;

QUrl OpenAIProvider::endpoint() const
{
    return m_state->options.endpoint;
}

const AIHttpSessionConfiguration& OpenAIProvider::sessionConfiguration() const
{
    return m_state->session.configuration();
}

QString OpenAIProvider::configuredModel() const
{
    return m_state->configuredModel();
}

void OpenAIProvider::perform(const AIAction& action, const QString& input, AICompletion completion)
{
    // The key and model sources may block, so they run with the other waiting work.
    waitingWorkPool().start([state = m_state, instructions = action.promptTemplate, input, completion]() {
        const std::optional<QString> key = state->options.apiKeyProvider ? state->options.apiKeyProvider()
                                                                         : std::nullopt;
        // The key goes into the header exactly as given; only the blankness test trims.
        if (!key || key->trimmed().isEmpty() || containsControlCharacter(*key)) {
            completion(failure(OpenAIProviderError::missingAPIKey()));
            return;
        }
        const QString model = state->configuredModel();
        if (!isSendableEndpoint(state->options.endpoint)) {
            completion(failure(OpenAIProviderError::requestFailed(model, OpenAIProviderError::requestNotSentMessage())));
            return;
        }

        AIHttpRequest request;
        request.url = state->options.endpoint;
        request.timeout = state->options.requestTimeout;
        request.headers = {
            {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
            {QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + key->toUtf8()},
        };
        request.body = ResponsesRequest{model, false, instructions, input}.toJson();
        state->session.post(std::move(request), [completion, model](AIHttpResponse response) {
            completion(interpretResponse(response, model));
        });
    });
}

} // namespace tolvi
