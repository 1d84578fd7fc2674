#pragma once

#include "TolviCore/ai/AIError.h"

namespace tolvi {

// The AI service's own refusals.
class AIServiceError final : public AIError {
public:
    enum class Case { emptyInput, emptyOutput };

    explicit AIServiceError(Case kind);

    Case kind() const { return m_kind; }
    QString errorDescription() const override;
    static QString message(Case kind);

    friend bool operator==(const AIServiceError& lhs, const AIServiceError& rhs) { return lhs.m_kind == rhs.m_kind; }

private:
    Case m_kind;
};

size_t qHash(const AIServiceError& error, size_t seed = 0);

} // namespace tolvi
