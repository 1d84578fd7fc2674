#include "Tolvi/platform/settings/QtKeyValueSettings.h"

namespace tolvi {

namespace {

// Lists are always written as variant lists: Qt writes a one-element string list as the bare
// text, which would read back as a text rather than a list.
QVariant storableForm(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList) {
        QVariantList list;
        const QStringList strings = value.toStringList();
        list.reserve(strings.size());
        for (const QString& s : strings)
            list.append(s);
        return QVariant(list);
    }
    return value;
}

} // namespace

QtKeyValueSettings::QtKeyValueSettings()
    : m_settings(std::make_unique<QSettings>())
{
}

QtKeyValueSettings::QtKeyValueSettings(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

QtKeyValueSettings::~QtKeyValueSettings()
{
    m_settings->sync();
}

QVariant QtKeyValueSettings::value(const QString& key) const
{
    QVariant stored = m_settings->value(key);
    if (!stored.isValid() && m_settings->contains(key))
        return QVariant(QVariantList());  // "@Invalid()": how Qt writes an empty list
    return stored;
}

bool QtKeyValueSettings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void QtKeyValueSettings::setValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        m_settings->remove(key);
        return;
    }
    m_settings->setValue(key, storableForm(value));
}

void QtKeyValueSettings::remove(const QString& key)
{
    // QSettings::remove("") would remove every key.
    if (key.isEmpty())
        return;
    m_settings->remove(key);
}

QStringList QtKeyValueSettings::keys() const
{
    QStringList all = m_settings->allKeys();
    all.sort();
    return all;
}

void QtKeyValueSettings::sync()
{
    m_settings->sync();
}

QString QtKeyValueSettings::fileName() const
{
    return m_settings->fileName();
}

bool QtKeyValueSettings::isWritable() const
{
    return m_settings->isWritable();
}

} // namespace tolvi
