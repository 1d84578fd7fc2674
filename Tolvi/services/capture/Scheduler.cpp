#include "Tolvi/services/capture/Scheduler.h"

#include <QTimer>

#include <cmath>

namespace tolvi {

Scheduler::~Scheduler() = default;

struct QtScheduler::Timer {
    QTimer timer;
    std::function<void()> work;
};

QtScheduler::QtScheduler(QObject* parent) : QObject(parent) {}

QtScheduler::~QtScheduler() = default;

Scheduler::TimerId QtScheduler::add(double seconds, bool repeating, std::function<void()> work)
{
    const TimerId id = nextId_++;
    auto timer = std::make_unique<Timer>();
    timer->work = std::move(work);
    timer->timer.setSingleShot(!repeating);
    timer->timer.setTimerType(Qt::PreciseTimer);
    timer->timer.setInterval(int(std::lround(std::max(0.0, seconds) * 1000)));
    QObject::connect(&timer->timer, &QTimer::timeout, this, [this, id, repeating] {
        const auto found = timers_.find(id);
        if (found == timers_.end())
            return;
        // The work may cancel this or other timers: keep it alive while it runs.
        std::function<void()> work = found->second->work;
        if (!repeating)
            timers_.erase(found);
        work();
    });
    timer->timer.start();
    timers_.emplace(id, std::move(timer));
    return id;
}

Scheduler::TimerId QtScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> work)
{
    return add(intervalSeconds, true, std::move(work));
}

Scheduler::TimerId QtScheduler::scheduleOnce(double delaySeconds, std::function<void()> work)
{
    return add(delaySeconds, false, std::move(work));
}

void QtScheduler::cancel(TimerId id)
{
    const auto found = timers_.find(id);
    if (found == timers_.end())
        return;
    // Deleting a QTimer from inside its own timeout is fine once the signal has been delivered,
    // but a later deletion is safer: hand it to the event loop.
    Timer* timer = found->second.release();
    timers_.erase(found);
    timer->timer.stop();
    QObject::disconnect(&timer->timer, nullptr, this, nullptr);
    QTimer::singleShot(0, this, [timer] { delete timer; });
}

Scheduler::TimerId ManualScheduler::scheduleRepeating(double intervalSeconds, std::function<void()> work)
{
    const TimerId id = nextId_++;
    entries_.emplace(id, Entry{now_ + intervalSeconds, intervalSeconds, true, std::move(work)});
    return id;
}

Scheduler::TimerId ManualScheduler::scheduleOnce(double delaySeconds, std::function<void()> work)
{
    const TimerId id = nextId_++;
    onceDelays_.append(delaySeconds);
    entries_.emplace(id, Entry{now_ + delaySeconds, 0, false, std::move(work)});
    return id;
}

void ManualScheduler::cancel(TimerId id)
{
    entries_.erase(id);
}

bool ManualScheduler::runNext()
{
    if (entries_.empty())
        return false;
    auto earliest = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.due < earliest->second.due)
            earliest = it;
    }
    now_ = std::max(now_, earliest->second.due);
    std::function<void()> work = earliest->second.work;
    if (earliest->second.repeating)
        earliest->second.due += std::max(earliest->second.interval, 1e-9);
    else
        entries_.erase(earliest);
    work();
    return true;
}

void ManualScheduler::advance(double seconds)
{
    const double target = now_ + seconds;
    for (;;) {
        auto earliest = entries_.end();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.due <= target + 1e-9 && (earliest == entries_.end() || it->second.due < earliest->second.due))
                earliest = it;
        }
        if (earliest == entries_.end())
            break;
        runNext();
    }
    now_ = target;
}

int ManualScheduler::activeRepeatingCount() const
{
    int count = 0;
    for (const auto& [id, entry] : entries_)
        count += entry.repeating ? 1 : 0;
    return count;
}

int ManualScheduler::pendingOnceCount() const
{
    int count = 0;
    for (const auto& [id, entry] : entries_)
        count += entry.repeating ? 0 : 1;
    return count;
}

} // namespace tolvi
