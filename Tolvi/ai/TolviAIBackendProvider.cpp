#include "Tolvi/ai/TolviAIBackendProvider.h"

#include "Tolvi/ai/AIRequestChecks.h"
#include "Tolvi/ai/TolviAIBackendError.h"
#include "Tolvi/ai/TolviAIBackendMessages.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QThreadPool>

#include <utility>

namespace tolvi {

struct TolviAIBackendProvider::State {
    explicit State(Options options)
        : options(std::move(options))
        , session(this->options.sessionConfiguration)
    {
    }

    Options options;
    AIHttpSession session;
};

namespace {

AIResult failure(TolviAIBackendError error)
{
    return AIResult::failure(std::make_shared<TolviAIBackendError>(std::move(error)));
}

// Qt drops a header whose value is a null byte array; an empty version is still sent.
QByteArray nonNull(QByteArray value)
{
    return value.isNull() ? QByteArray("", 0) : value;
}

AIResult interpretResponse(const AIHttpResponse& response)
{
    if (response.transportError)
        return failure(TolviAIBackendError::network(*response.transportError));

    const std::optional<BackendAIResponse> decoded = BackendAIResponse::decode(response.body);
    if (response.statusCode < 200 || response.statusCode > 299)
        return failure(TolviAIBackendError::http(response.statusCode, decoded ? decoded->error : std::nullopt));

    if (decoded && decoded->output) {
        const QString output = decoded->output->trimmed();
        if (!output.isEmpty())
            return AIResult::success(output);
    }
    return failure(TolviAIBackendError::emptyOutput());
}

} // namespace

TolviAIBackendProvider::TolviAIBackendProvider(Options options)
    : m_state(std::make_shared<State>(std::move(options)))
{
}

TolviAIBackendProvider::~TolviAIBackendProvider() = default;

QUrl TolviAIBackendProvider::endpoint() const
{
    return m_state->options.endpoint;
}

const AIHttpSessionConfiguration& TolviAIBackendProvider::sessionConfiguration() const
{
    return m_state->session.configuration();
}

void TolviAIBackendProvider::perform(const AIAction& action, const QString& input, AICompletion completion)
{
    // The token source may block, so it runs with the other waiting work rather than on the caller's
    // thread or the session's network thread.
    waitingWorkPool().start([state = m_state, actionID = action.id, input, completion]() {
        const std::optional<QString> token =
            state->options.accessTokenProvider ? state->options.accessTokenProvider() : std::nullopt;
        const QString trimmedToken = token ? token->trimmed() : QString();
        if (trimmedToken.isEmpty() || containsControlCharacter(trimmedToken)) {
            completion(failure(TolviAIBackendError::missingAccessToken()));
            return;
        }
        const QString& version = state->options.appVersion;
        if (!isSendableEndpoint(state->options.endpoint) || containsControlCharacter(version)) {
            completion(failure(TolviAIBackendError::requestFailed(TolviAIBackendError::requestNotSentMessage())));
            return;
        }

        AIHttpRequest request;
        request.url = state->options.endpoint;
        request.timeout = state->options.requestTimeout;
        request.headers = {
            {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
            {QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + trimmedToken.toUtf8()},
            {QByteArrayLiteral("X-Tolvi-Version"), nonNull(version.toUtf8())},
        };
        request.body = BackendAIRequest{actionID, input, trimmedToken}.toJson();
        state->session.post(std::move(request), [completion](AIHttpResponse response) {
            completion(interpretResponse(response));
        });
    });
}

} // namespace tolvi
