#include "TolviCore/text/MediumDate.h"

#include <unicode/udat.h>

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tolvi::MediumDate {

namespace {

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z in seconds since 1970.
constexpr double earliest = -62135596800.0;
constexpr double latest = 253402300799.0;

struct FormatterCache {
    QByteArray localeName;
    QByteArray zoneID;
    std::unique_ptr<UDateFormat, void (*)(UDateFormat*)> formatter{nullptr, udat_close};
};

} // namespace

QString format(double unixSeconds, const QLocale& locale, const QTimeZone& timeZone)
{
    double seconds = std::isnan(unixSeconds) ? earliest : std::clamp(unixSeconds, earliest, latest);

    const QByteArray localeName = locale.name().toLatin1();
    const QByteArray zoneID = timeZone.isValid() ? timeZone.id() : QByteArray("UTC");

    // Opening an ICU formatter is expensive; rows format many dates in one locale and zone.
    thread_local FormatterCache cache;
    if (!cache.formatter || cache.localeName != localeName || cache.zoneID != zoneID) {
        const QString zone = QString::fromLatin1(zoneID);
        UErrorCode status = U_ZERO_ERROR;
        UDateFormat* formatter = udat_open(UDAT_NONE, UDAT_MEDIUM, localeName.constData(),
                                           reinterpret_cast<const UChar*>(zone.utf16()), int32_t(zone.size()),
                                           nullptr, 0, &status);
        if (U_FAILURE(status) || !formatter) {
            if (formatter)
                udat_close(formatter);
            return QLocale(locale).toString(QDateTime::fromSecsSinceEpoch(qint64(seconds), timeZone).date(),
                                            QLocale::ShortFormat);
        }
        cache.formatter.reset(formatter);
        cache.localeName = localeName;
        cache.zoneID = zoneID;
    }

    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = udat_format(cache.formatter.get(), seconds * 1000.0, buffer, 128, nullptr, &status);
    if (U_FAILURE(status))
        return QString();
    return QString(reinterpret_cast<const QChar*>(buffer), length);
}

} // namespace tolvi::MediumDate
