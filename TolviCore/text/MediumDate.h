#pragma once

#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace tolvi {

// A date in the locale's medium style without a time ("Dec 8, 2026" in English), the form that
// every window uses for dates older than a week.
namespace MediumDate {

// `unixSeconds` is clamped to the years 1 to 9999; a value that is not a number gives the
// earliest date.
QString format(double unixSeconds, const QLocale& locale = QLocale(),
               const QTimeZone& timeZone = QTimeZone::systemTimeZone());

} // namespace MediumDate
} // namespace tolvi
