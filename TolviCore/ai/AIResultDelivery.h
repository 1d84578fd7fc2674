#pragma once

#include "TolviCore/ai/AIResult.h"

#include <QObject>

namespace tolvi {

// Wraps a callback so that it can be completed from any thread and still runs on the thread of
// `receiver` (or, without a receiver, on the thread that called this function), through that
// thread's event loop. When the receiver is destroyed before the result arrives, the callback is
// dropped. The returned completion must be called at most once.
AICompletion deliverOnThread(QObject* receiver, std::function<void(AIResult)> callback);

} // namespace tolvi
