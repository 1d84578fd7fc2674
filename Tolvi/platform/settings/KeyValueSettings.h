#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace tolvi {

// The app's persistent user settings: a flat store of values under dotted keys such as
// "tolvi.preferences.historyLimit".
//
// Implementations only store and return raw values. The typed readers below interpret a
// stored value the same way whatever its stored type, because the settings file is plain
// text the user may edit and it does not keep types: a Boolean saved as true comes back as
// the text "true", a number as its decimal text.
//
// Reading rules (absent and present are always distinct through contains()):
// - boolean(): a Boolean is itself; a number is true when not zero; a text is true for
//   "true" or "yes" and false for "false" or "no" (any letter case), otherwise true when
//   its leading integer is not zero ("abc" and "" are false, "1" and "7 days" are true);
//   anything else, or an absent key, is false.
// - integer(): a number (fractions cut towards zero, clamped to the 64-bit range, NaN is
//   0); a Boolean is 1 or 0; a text reads its leading integer after white space and an
//   optional sign ("42abc" is 42, "abc" is 0), clamped to the 64-bit range; "true"/"yes"
//   read 1. Anything else, or absent, is 0.
// - doubleValue(): like integer() but with the leading decimal number of a text ("3.5x"
//   is 3.5); infinities and NaN are never produced from text.
// - string(): a text is itself; a number is its decimal text; a Boolean is "true" or
//   "false"; anything else, or absent, is nothing.
// - data(): only a stored byte array; anything else is nothing.
// - array() and stringList(): only a stored list (stringList() also needs every element to
//   be a text); anything else is nothing.
//
// Not thread-safe: use one instance from the main thread.
class KeyValueSettings {
public:
    virtual ~KeyValueSettings() = default;

    // The raw stored value, or an invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    virtual bool contains(const QString& key) const = 0;
    // Stores a value. Supported types: QString, bool, integers, double, QByteArray,
    // QStringList and QVariantList (of the same types). Storing an invalid QVariant removes the key.
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
    // Every stored key, sorted.
    virtual QStringList keys() const = 0;
    // Writes pending changes to permanent storage. Changes are also written on their own later.
    virtual void sync() {}

    std::optional<QString> string(const QString& key) const;
    bool boolean(const QString& key) const;
    qint64 integer(const QString& key) const;
    double doubleValue(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QVariantList> array(const QString& key) const;
    std::optional<QStringList> stringList(const QString& key) const;

    void setString(const QString& key, const QString& value);
    void setBoolean(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setDouble(const QString& key, double value);
    void setData(const QString& key, const QByteArray& value);
    void setArray(const QString& key, const QVariantList& value);
    void setStringList(const QString& key, const QStringList& value);
};

// The conversions used by the typed readers, for a value already read.
namespace settingsvalue {
bool toBoolean(const QVariant& value);
qint64 toInteger(const QVariant& value);
double toDouble(const QVariant& value);
std::optional<QString> toString(const QVariant& value);
} // namespace settingsvalue

} // namespace tolvi
