#include "Tolvi/platform/shell/Clock.h"

namespace tolvi {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

FakeClock::FakeClock(QDateTime start)
    : m_now(std::move(start))
{
}

} // namespace tolvi
