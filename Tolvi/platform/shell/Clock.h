#pragma once

#include <QDateTime>

namespace tolvi {

// The current time, replaceable in tests.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

// A clock that stands still until told otherwise.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime::fromSecsSinceEpoch(1'780'000'000, Qt::UTC));

    QDateTime now() const override { return m_now; }
    void set(const QDateTime& time) { m_now = time; }
    void advance(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }

private:
    QDateTime m_now;
};

} // namespace tolvi
