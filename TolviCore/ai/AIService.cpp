#include "TolviCore/ai/AIService.h"

#include "TolviCore/ai/AIResultDelivery.h"
#include "TolviCore/ai/AIServiceError.h"
#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QThreadPool>

#include <utility>

namespace tolvi {

AIService::AIService(std::shared_ptr<AIProvider> provider)
    : m_provider(std::move(provider))
{
    Q_ASSERT(m_provider);
}

void AIService::run(const AIAction& action, const QString& input, QObject* receiver,
                    std::function<void(AIResult)> done) const
{
    AICompletion deliver = deliverOnThread(receiver, std::move(done));
    waitingWorkPool().start([provider = m_provider, action, input, deliver]() {
        const QString trimmedInput = input.trimmed();
        if (trimmedInput.isEmpty()) {
            deliver(AIResult::failure(std::make_shared<AIServiceError>(AIServiceError::Case::emptyInput)));
            return;
        }
        provider->perform(action, trimmedInput, [deliver](AIResult result) {
            if (!result.isSuccess()) {
                deliver(std::move(result));
                return;
            }
            const QString output = result.text().trimmed();
            if (output.isEmpty())
                deliver(AIResult::failure(std::make_shared<AIServiceError>(AIServiceError::Case::emptyOutput)));
            else
                deliver(AIResult::success(output));
        });
    });
}

} // namespace tolvi
