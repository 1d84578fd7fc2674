#pragma once

#include "Tolvi/ai/AIHttpSession.h"
#include "TolviCore/ai/AIError.h"

#include <QString>

#include <utility>

namespace tolvi {

// The sentence for a request whose connection failed: it timed out, or it could not connect.
QString connectionFailureDescription(const AITransportError& error);

// What the errors of the AI providers share: the case a request failed with (a closed set of
// each provider's own) and, for a failed connection, the transport's error.
template <typename Case>
class AIRequestError : public AIError {
public:
    Case kind() const { return m_kind; }
    const AITransportError& transportError() const { return m_transportError; }

protected:
    explicit AIRequestError(Case kind, AITransportError transportError = {})
        : m_kind(kind)
        , m_transportError(std::move(transportError))
    {
    }

private:
    Case m_kind;
    AITransportError m_transportError;
};

} // namespace tolvi
