#include "Tolvi/ai/AIRequestError.h"

namespace tolvi {

QString connectionFailureDescription(const AITransportError& error)
{
    return error.timedOut ? QStringLiteral("Tolvi AI timed out. No clip was saved or pasted.")
                          : QStringLiteral("Tolvi AI could not connect. No clip was saved or pasted.");
}

} // namespace tolvi
