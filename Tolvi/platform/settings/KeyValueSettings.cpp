#include "Tolvi/platform/settings/KeyValueSettings.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tolvi {

namespace {

constexpr qint64 kMaxInteger = std::numeric_limits<qint64>::max();
constexpr qint64 kMinInteger = std::numeric_limits<qint64>::min();

qint64 clampedInteger(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (value >= 9223372036854775808.0)
        return kMaxInteger;
    if (value <= -9223372036854775808.0)
        return kMinInteger;
    return static_cast<qint64>(value);
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qsizetype skipSpace(const QString& text, qsizetype i)
{
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i;
}

// The leading integer of a text, clamped to the 64-bit range; 0 when there is none.
qint64 leadingInteger(const QString& text)
{
    qsizetype i = skipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Accumulate as a negative number so that the minimum value fits.
    qint64 result = 0;
    bool overflow = false;
    for (; i < text.size() && isAsciiDigit(text.at(i)); ++i) {
        const int digit = text.at(i).unicode() - '0';
        if (overflow)
            continue;
        if (result < (kMinInteger + digit) / 10) {
            overflow = true;
            continue;
        }
        result = result * 10 - digit;
    }
    if (overflow)
        return negative ? kMinInteger : kMaxInteger;
    if (negative)
        return result;
    return result == kMinInteger ? kMaxInteger : -result;
}

// The leading decimal number of a text (digits, an optional fraction and exponent); 0 when
// there is none. Values beyond the double range are clamped to the largest finite value.
double leadingDouble(const QString& text)
{
    qsizetype i = skipSpace(text, 0);
    std::string number;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        if (text.at(i) == QLatin1Char('-'))
            number.push_back('-');
        ++i;
    }
    int mantissaDigits = 0;
    for (; i < text.size() && isAsciiDigit(text.at(i)); ++i, ++mantissaDigits)
        number.push_back(static_cast<char>(text.at(i).unicode()));
    if (i < text.size() && text.at(i) == QLatin1Char('.')) {
        number.push_back('.');
        for (++i; i < text.size() && isAsciiDigit(text.at(i)); ++i, ++mantissaDigits)
            number.push_back(static_cast<char>(text.at(i).unicode()));
    }
    if (mantissaDigits == 0)
        return 0.0;
    if (i < text.size() && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-'))) {
            exponent.push_back(static_cast<char>(text.at(j).unicode()));
            ++j;
        }
        if (j < text.size() && isAsciiDigit(text.at(j))) {
            for (; j < text.size() && isAsciiDigit(text.at(j)); ++j)
                exponent.push_back(static_cast<char>(text.at(j).unicode()));
            number += exponent;
        }
    }
    double value = 0.0;
    const char* begin = number.data();
    const char* end = begin + number.size();
    const auto [ptr, error] = std::from_chars(begin, end, value);
    (void)ptr;
    if (error == std::errc::result_out_of_range) {
        // Too large or too small in magnitude: tell the two apart by the exponent's sign.
        const bool tiny = number.find("e-") != std::string::npos;
        const bool negative = !number.empty() && number.front() == '-';
        if (tiny)
            return negative ? -0.0 : 0.0;
        const double largest = std::numeric_limits<double>::max();
        return negative ? -largest : largest;
    }
    if (error != std::errc())
        return 0.0;
    return value;
}

bool isUnsigned(const QVariant& value)
{
    const int type = value.typeId();
    return type == QMetaType::UInt || type == QMetaType::ULong || type == QMetaType::ULongLong
        || type == QMetaType::UShort;
}

// An integer of any width, signed or not, or a floating-point value.
bool isNumber(const QVariant& value)
{
    const int type = value.typeId();
    return isUnsigned(value) || type == QMetaType::Int || type == QMetaType::Long || type == QMetaType::LongLong
        || type == QMetaType::Short || type == QMetaType::Double || type == QMetaType::Float;
}

bool isFloatingPoint(const QVariant& value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

bool textIsTrue(const QString& text)
{
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

bool textIsFalse(const QString& text)
{
    return text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0;
}

} // namespace

namespace settingsvalue {

bool toBoolean(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return isFloatingPoint(value) ? value.toDouble() != 0.0 : (isUnsigned(value) ? value.toULongLong() != 0 : value.toLongLong() != 0);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (textIsTrue(text))
            return true;
        if (textIsFalse(text))
            return false;
        return leadingInteger(text) != 0;
    }
    return false;
}

qint64 toInteger(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    if (isNumber(value)) {
        if (isFloatingPoint(value))
            return clampedInteger(value.toDouble());
        if (isUnsigned(value)) {
            const qulonglong n = value.toULongLong();
            return n > static_cast<qulonglong>(kMaxInteger) ? kMaxInteger : static_cast<qint64>(n);
        }
        return value.toLongLong();
    }
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (textIsTrue(text))
            return 1;
        return leadingInteger(text);
    }
    return 0;
}

double toDouble(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1.0 : 0.0;
    if (isNumber(value))
        return isFloatingPoint(value) ? value.toDouble()
                                      : (isUnsigned(value) ? static_cast<double>(value.toULongLong())
                                                           : static_cast<double>(value.toLongLong()));
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (textIsTrue(text))
            return 1.0;
        return leadingDouble(text);
    }
    return 0.0;
}

std::optional<QString> toString(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (isNumber(value)) {
        if (isFloatingPoint(value))
            return QString::number(value.toDouble(), 'g', 17);
        return value.toString();
    }
    return std::nullopt;
}

} // namespace settingsvalue

std::optional<QString> KeyValueSettings::string(const QString& key) const
{
    return settingsvalue::toString(value(key));
}

bool KeyValueSettings::boolean(const QString& key) const
{
    return settingsvalue::toBoolean(value(key));
}

qint64 KeyValueSettings::integer(const QString& key) const
{
    return settingsvalue::toInteger(value(key));
}

double KeyValueSettings::doubleValue(const QString& key) const
{
    return settingsvalue::toDouble(value(key));
}

std::optional<QByteArray> KeyValueSettings::data(const QString& key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QByteArray)
        return stored.toByteArray();
    return std::nullopt;
}

std::optional<QVariantList> KeyValueSettings::array(const QString& key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QVariantList)
        return stored.toList();
    if (stored.typeId() == QMetaType::QStringList) {
        QVariantList list;
        const QStringList strings = stored.toStringList();
        list.reserve(strings.size());
        for (const QString& s : strings)
            list.append(s);
        return list;
    }
    return std::nullopt;
}

std::optional<QStringList> KeyValueSettings::stringList(const QString& key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList();
    if (stored.typeId() == QMetaType::QVariantList) {
        QStringList strings;
        const QVariantList list = stored.toList();
        strings.reserve(list.size());
        for (const QVariant& element : list) {
            if (element.typeId() != QMetaType::QString)
                return std::nullopt;
            strings.append(element.toString());
        }
        return strings;
    }
    return std::nullopt;
}

void KeyValueSettings::setString(const QString& key, const QString& value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setBoolean(const QString& key, bool value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setInteger(const QString& key, qint64 value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setDouble(const QString& key, double value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setData(const QString& key, const QByteArray& value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setArray(const QString& key, const QVariantList& value)
{
    setValue(key, QVariant(value));
}

void KeyValueSettings::setStringList(const QString& key, const QStringList& value)
{
    setValue(key, QVariant(value));
}

} // namespace tolvi
