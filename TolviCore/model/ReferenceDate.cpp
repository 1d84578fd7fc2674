#include "TolviCore/model/ReferenceDate.h"

#include <chrono>
#include <cmath>

namespace tolvi::ReferenceDate {

double now()
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    return fromUnixSeconds(static_cast<double>(micros) / 1e6);
}

double fromUnixSeconds(double unixSeconds)
{
    return unixSeconds - unixOffset;
}

double toUnixSeconds(double referenceSeconds)
{
    return referenceSeconds + unixOffset;
}

QDateTime toDateTime(double referenceSeconds)
{
    const double ms = std::floor(toUnixSeconds(referenceSeconds) * 1000.0);
    // Dates read from files can be anything: a value with no instant in time gives no date,
    // rather than a cast the language leaves undefined.
    constexpr double limit = 9.2e18;
    if (!std::isfinite(ms) || ms > limit || ms < -limit)
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC);
}

double fromDateTime(const QDateTime& dateTime)
{
    return fromUnixSeconds(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

} // namespace tolvi::ReferenceDate
