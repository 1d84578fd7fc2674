#include "Tolvi/ai/OpenAIEnvironment.h"

#include <QtGlobal>

#include <utility>

namespace tolvi {

OpenAIEnvironment::OpenAIEnvironment(Lookup lookup)
    : m_lookup(std::move(lookup))
{
}

OpenAIEnvironment OpenAIEnvironment::process()
{
    return OpenAIEnvironment([](const QString& name) -> std::optional<QString> {
        const QByteArray key = name.toLocal8Bit();
        if (!qEnvironmentVariableIsSet(key.constData()))
            return std::nullopt;
        return qEnvironmentVariable(key.constData());
    });
}

std::optional<QString> OpenAIEnvironment::value(const QString& name) const
{
    if (!m_lookup)
        return std::nullopt;
    std::optional<QString> raw = m_lookup(name);
    if (!raw || raw->trimmed().isEmpty())
        return std::nullopt;
    return raw;
}

} // namespace tolvi
