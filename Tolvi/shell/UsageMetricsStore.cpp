#include "Tolvi/shell/UsageMetricsStore.h"

#include "Tolvi/platform/settings/KeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"

#include <cmath>
#include <limits>

namespace tolvi {

namespace {

constexpr qint64 kLargestCount = std::numeric_limits<qint64>::max();

qint64 saturatingAdd(qint64 a, qint64 b)
{
    // Counts are never negative here.
    return a > kLargestCount - b ? kLargestCount : a + b;
}

double secondsSince1970(const QDateTime& time)
{
    return static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0;
}

} // namespace

QString UsageMetricsStore::countKey(UsageMetricEvent event)
{
    return QStringLiteral("tolvi.usage.count.") + usagemetric::rawValue(event);
}

UsageMetricsStore::UsageMetricsStore(KeyValueSettings& settings, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(clock)
{
    for (UsageMetricEvent event : usagemetric::allCases) {
        const qint64 stored = m_settings.integer(countKey(event));
        if (stored >= 1)
            m_counts.insert(event, stored);
    }
    m_lastRecordedAt = readDate(lastRecordedAtKey);
    m_lastResetAt = readDate(lastResetAtKey);
}

std::optional<QDateTime> UsageMetricsStore::readDate(const QString& key) const
{
    const double seconds = m_settings.doubleValue(key);
    if (!(seconds > 0.0))
        return std::nullopt;
    // Beyond what a date can hold: treat as unreadable rather than as a wrong date.
    const double milliseconds = std::round(seconds * 1000.0);
    if (milliseconds > 253402300799000.0)  // 9999-12-31T23:59:59Z
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), Qt::UTC);
}

void UsageMetricsStore::record(UsageMetricEvent event)
{
    const qint64 next = saturatingAdd(count(event), 1);
    m_counts.insert(event, next);
    Q_EMIT countsChanged();
    m_settings.setInteger(countKey(event), next);

    const QDateTime now = m_clock.now();
    m_lastRecordedAt = now;
    Q_EMIT lastRecordedAtChanged();
    m_settings.setDouble(lastRecordedAtKey, secondsSince1970(now));
}

void UsageMetricsStore::recordWithMilestone(UsageMetricEvent event)
{
    record(event);
    if (const auto first = usagemetric::milestone(event); first && count(*first) <= 0)
        record(*first);
}

void UsageMetricsStore::reset()
{
    for (UsageMetricEvent event : usagemetric::allCases)
        m_settings.remove(countKey(event));
    m_counts.clear();
    Q_EMIT countsChanged();

    m_lastRecordedAt.reset();
    Q_EMIT lastRecordedAtChanged();
    m_settings.remove(lastRecordedAtKey);

    const QDateTime now = m_clock.now();
    m_lastResetAt = now;
    Q_EMIT lastResetAtChanged();
    m_settings.setDouble(lastResetAtKey, secondsSince1970(now));
}

QList<UsageMetricCounter> UsageMetricsStore::counters() const
{
    QList<UsageMetricCounter> result;
    result.reserve(static_cast<qsizetype>(usagemetric::allCases.size()));
    for (UsageMetricEvent event : usagemetric::allCases)
        result.append({event, count(event)});
    return result;
}

qint64 UsageMetricsStore::totalCount() const
{
    qint64 total = 0;
    for (qint64 value : m_counts)
        total = saturatingAdd(total, value);
    return total;
}

} // namespace tolvi
