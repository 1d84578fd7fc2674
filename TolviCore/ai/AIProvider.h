#pragma once

#include "TolviCore/ai/AIAction.h"
#include "TolviCore/ai/AIResult.h"

#include <QString>

namespace tolvi {

// One way of running an AI action on a text (the rewrite service, or the public responses
// interface in development builds).
class AIProvider {
public:
    virtual ~AIProvider() = default;

    // Runs the action on the input and hands back the model's text or the provider's own error.
    // Returns at once; the completion is called exactly once, on a thread of the provider's
    // choosing (never synchronously from inside perform), unless the provider is destroyed
    // before it has an answer, in which case the completion is dropped.
    // May be called from any thread, and several calls may be in flight at once.
    virtual void perform(const AIAction& action, const QString& input, AICompletion completion) = 0;
};

} // namespace tolvi
