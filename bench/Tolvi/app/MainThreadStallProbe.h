#pragma once
// How long the main thread kept its event loop waiting: a timer of a millisecond or two notes the
// longest gap between two of its ticks, and when that gap ended. Main thread.
#include <QElapsedTimer>
#include <QTimer>

namespace tolvi::bench {

class MainThreadStallProbe {
public:
    explicit MainThreadStallProbe(int intervalMs)
    {
        m_clock.start();
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 at = m_clock.elapsed();
            if (at - m_last > m_longest) {
                m_longest = at - m_last;
                m_longestEndedAt = at;
            }
            m_last = at;
        });
        m_timer.start();
    }

    // Milliseconds since the probe started.
    qint64 elapsed() const { return m_clock.elapsed(); }
    qint64 longest() const { return m_longest; }
    qint64 longestEndedAt() const { return m_longestEndedAt; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_longestEndedAt = 0;
};

} // namespace tolvi::bench
