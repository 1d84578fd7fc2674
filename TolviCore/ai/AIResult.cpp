#include "TolviCore/ai/AIResult.h"

#include <utility>

namespace tolvi {

AIResult::AIResult(std::variant<QString, AIErrorPtr> value)
    : m_value(std::move(value))
{
}

AIResult AIResult::success(QString text)
{
    return AIResult(std::variant<QString, AIErrorPtr>(std::in_place_index<0>, std::move(text)));
}

AIResult AIResult::failure(AIErrorPtr error)
{
    Q_ASSERT(error);
    return AIResult(std::variant<QString, AIErrorPtr>(std::in_place_index<1>, std::move(error)));
}

bool AIResult::isSuccess() const
{
    return m_value.index() == 0;
}

QString AIResult::text() const
{
    if (const auto* text = std::get_if<QString>(&m_value))
        return *text;
    return {};
}

AIErrorPtr AIResult::error() const
{
    if (const auto* error = std::get_if<AIErrorPtr>(&m_value))
        return *error;
    return nullptr;
}

} // namespace tolvi
