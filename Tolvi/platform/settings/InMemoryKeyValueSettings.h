#pragma once

#include "Tolvi/platform/settings/KeyValueSettings.h"

#include <QMap>

namespace tolvi {

// Settings kept in memory only, for tests and for a run without a settings file. Values
// keep the type they were stored with; write counts let tests see that a value was saved.
class InMemoryKeyValueSettings final : public KeyValueSettings {
public:
    InMemoryKeyValueSettings() = default;

    QVariant value(const QString& key) const override;
    bool contains(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    QStringList keys() const override;

    // How many times setValue() stored something under the key (removals not counted).
    int writeCount(const QString& key) const;
    int totalWriteCount() const;

private:
    QMap<QString, QVariant> m_values;
    QMap<QString, int> m_writes;
    int m_totalWrites = 0;
};

} // namespace tolvi
