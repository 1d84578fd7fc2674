#include "TolviCore/ai/AIServiceError.h"

#include <QHashFunctions>

namespace tolvi {

AIServiceError::AIServiceError(Case kind)
    : m_kind(kind)
{
}

QString AIServiceError::message(Case kind)
{
    switch (kind) {
    case Case::emptyInput: return QStringLiteral("Add text before running AI.");
    case Case::emptyOutput: return QStringLiteral("AI returned an empty result.");
    }
    return {};
}

QString AIServiceError::errorDescription() const
{
    return message(m_kind);
}

size_t qHash(const AIServiceError& error, size_t seed)
{
    return ::qHash(static_cast<int>(error.kind()), seed);
}

} // namespace tolvi
