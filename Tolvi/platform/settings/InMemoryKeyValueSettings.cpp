#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"

namespace tolvi {

QVariant InMemoryKeyValueSettings::value(const QString& key) const
{
    return m_values.value(key);
}

bool InMemoryKeyValueSettings::contains(const QString& key) const
{
    return m_values.contains(key);
}

void InMemoryKeyValueSettings::setValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        m_values.remove(key);
        return;
    }
    m_values.insert(key, value);
    ++m_writes[key];
    ++m_totalWrites;
}

void InMemoryKeyValueSettings::remove(const QString& key)
{
    m_values.remove(key);
}

QStringList InMemoryKeyValueSettings::keys() const
{
    return m_values.keys();
}

int InMemoryKeyValueSettings::writeCount(const QString& key) const
{
    return m_writes.value(key, 0);
}

int InMemoryKeyValueSettings::totalWriteCount() const
{
    return m_totalWrites;
}

} // namespace tolvi
