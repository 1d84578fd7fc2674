#pragma once

#include "TolviCore/ai/AIAction.h"
#include "TolviCore/ai/AIProvider.h"
#include "TolviCore/ai/AIResult.h"

#include <QObject>

#include <functional>
#include <memory>

namespace tolvi {

// The one front every window goes through to run an AI action: it trims the text, refuses an
// empty one, hands it to the provider and trims and checks what comes back. It holds no state
// beyond its provider, so several runs may be in flight at once.
class AIService {
public:
    explicit AIService(std::shared_ptr<AIProvider> provider);

    AIProvider& provider() const { return *m_provider; }

    // Runs the action asynchronously. The trimming and the provider's work happen off the
    // calling thread; `done` runs on the thread of `receiver` (or the calling thread when there
    // is no receiver) with the trimmed result, an AIServiceError, or the provider's error
    // unchanged. When the receiver is destroyed first, `done` is not called.
    void run(const AIAction& action, const QString& input, QObject* receiver,
             std::function<void(AIResult)> done) const;

private:
    std::shared_ptr<AIProvider> m_provider;
};

} // namespace tolvi
