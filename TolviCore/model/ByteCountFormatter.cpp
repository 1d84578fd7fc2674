#include "TolviCore/model/ByteCountFormatter.h"

#include <array>
#include <cmath>

namespace tolvi::ByteCountFormatter {

QString fileStyle(qint64 byteCount, const QLocale& locale)
{
    if (byteCount == 0)
        return QStringLiteral("Zero KB");
    const bool negative = byteCount < 0;
    const double magnitude = std::fabs(static_cast<double>(byteCount));
    const QString sign = negative ? locale.negativeSign() : QString();
    if (magnitude < 1000.0) {
        const qint64 n = negative ? -byteCount : byteCount;
        return sign + locale.toString(n) + (n == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }

    static const std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static const std::array<int, 6> decimals = {0, 1, 2, 2, 2, 2};
    std::size_t unit = 0;
    double value = magnitude / 1000.0;
    while (unit + 1 < units.size()) {
        // Move up a unit when the value, rounded as it will be shown, reaches 1,000.
        const double scale = std::pow(10.0, decimals[unit]);
        if (std::round(value * scale) / scale < 1000.0)
            break;
        value /= 1000.0;
        ++unit;
    }
    const double scale = std::pow(10.0, decimals[unit]);
    const double rounded = std::round(value * scale) / scale;
    QString number = locale.toString(rounded, 'f', decimals[unit]);
    if (decimals[unit] > 0) {
        const QString point = locale.decimalPoint();
        if (number.contains(point)) {
            while (number.endsWith(locale.zeroDigit()))
                number.chop(locale.zeroDigit().size());
            if (number.endsWith(point))
                number.chop(point.size());
        }
    }
    return sign + number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace tolvi::ByteCountFormatter
