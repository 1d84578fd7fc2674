#include "Tolvi/platform/shell/BundleInfo.h"

namespace tolvi {

QString BundleInfo::value(const QString& key, const QString& fallback) const
{
    return value(key).value_or(fallback);
}

QString tolviBundleIdentifier()
{
    return QStringLiteral("Tolvi");
}

CompiledBundleInfo::CompiledBundleInfo()
    : CompiledBundleInfo(buildBundleTable())
{
}

CompiledBundleInfo::CompiledBundleInfo(const QList<std::pair<QString, QString>>& table)
{
    for (const auto& [key, value] : table)
        m_values.insert(key, value);
}

std::optional<QString> CompiledBundleInfo::value(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

QString CompiledBundleInfo::bundleIdentifier() const
{
    return tolviBundleIdentifier();
}

InMemoryBundleInfo::InMemoryBundleInfo(QMap<QString, QString> values, QString bundleIdentifier)
    : m_values(std::move(values))
    , m_bundleIdentifier(std::move(bundleIdentifier))
{
}

std::optional<QString> InMemoryBundleInfo::value(const QString& key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace tolvi
