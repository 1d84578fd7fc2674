#pragma once

#include "Tolvi/shell/UsageMetricEvent.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>

#include <optional>

namespace tolvi {

class Clock;
class KeyValueSettings;

// Local usage counters: how often a few things happened, when the latest was counted and when
// the counters were last reset. Kept in the settings, never sent anywhere. Main thread only.
//
// Counts are 64-bit and stop at the largest value: the settings file is user-editable, and a
// huge stored count must not wrap around (or overflow) when one more is added.
class UsageMetricsStore : public QObject {
    Q_OBJECT

public:
    static QString countKey(UsageMetricEvent event);
    static inline const QString lastRecordedAtKey = QStringLiteral("tolvi.usage.lastRecordedAt");
    static inline const QString lastResetAtKey = QStringLiteral("tolvi.usage.lastResetAt");

    // The settings and the clock must outlive the store.
    UsageMetricsStore(KeyValueSettings& settings, const Clock& clock, QObject* parent = nullptr);

    // Counts one occurrence and notes the time.
    void record(UsageMetricEvent event);
    // Records the event, then its "first ..." milestone when that has not been counted yet.
    void recordWithMilestone(UsageMetricEvent event);
    // Clears every count and notes the time of the reset.
    void reset();

    // Counted events only; an absent event counts 0.
    const QMap<UsageMetricEvent, qint64>& counts() const { return m_counts; }
    qint64 count(UsageMetricEvent event) const { return m_counts.value(event, 0); }
    // Every event in case order, 0 for those never counted.
    QList<UsageMetricCounter> counters() const;
    // The sum of all counts (stopping at the largest value).
    qint64 totalCount() const;
    std::optional<QDateTime> lastRecordedAt() const { return m_lastRecordedAt; }
    std::optional<QDateTime> lastResetAt() const { return m_lastResetAt; }

Q_SIGNALS:
    void countsChanged();
    void lastRecordedAtChanged();
    void lastResetAtChanged();

private:
    std::optional<QDateTime> readDate(const QString& key) const;

    KeyValueSettings& m_settings;
    const Clock& m_clock;
    QMap<UsageMetricEvent, qint64> m_counts;
    std::optional<QDateTime> m_lastRecordedAt;
    std::optional<QDateTime> m_lastResetAt;
};

} // namespace tolvi
