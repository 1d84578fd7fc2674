#pragma once

#include <QDateTime>

namespace tolvi {

// Clip and board times are doubles of seconds since 2001-01-01 00:00:00 UTC, kept exactly as
// stored: a round trip through QDateTime would cut them to milliseconds and change equality.
namespace ReferenceDate {

// Seconds between 1970-01-01 and 2001-01-01 (UTC).
inline constexpr double unixOffset = 978307200.0;

// The current time, with microsecond resolution.
double now();

double fromUnixSeconds(double unixSeconds);
double toUnixSeconds(double referenceSeconds);

QDateTime toDateTime(double referenceSeconds);
double fromDateTime(const QDateTime& dateTime);

} // namespace ReferenceDate
} // namespace tolvi
