#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "TolviCore/ai/AIProvider.h"

#include <QNetworkProxy>

#include <chrono>
#include <optional>
#include <ostream>

QT_BEGIN_NAMESPACE
// Readable test failure output.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tolvi::testing {

// Runs the provider and spins this thread's event loop until the result is back (or a generous
// safety limit passes, which gives nothing).
std::optional<AIResult> performAndWait(AIProvider& provider, const AIAction& action, const QString& input);

// Spins this thread's event loop for a while (lets stray network traffic arrive).
void spinEventLoop(std::chrono::milliseconds duration);

// Loopback sessions never go through a proxy. Limits that no ordinary exchange comes near.
AIHttpSessionConfiguration relaxedSession();
// Limits for the time-out cases, a few hundred milliseconds.
AIHttpSessionConfiguration session(std::chrono::milliseconds request, std::chrono::milliseconds resource);

} // namespace tolvi::testing
