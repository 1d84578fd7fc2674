#pragma once

#include <QList>
#include <QObject>

#include <functional>
#include <map>
#include <memory>

namespace tolvi {

// Timers for the services, so that tests can run them by hand.
class Scheduler {
public:
    using TimerId = quint64;
    virtual ~Scheduler();

    // Runs work every interval until cancelled; the first run is one interval from now.
    virtual TimerId scheduleRepeating(double intervalSeconds, std::function<void()> work) = 0;
    // Runs work once after the delay.
    virtual TimerId scheduleOnce(double delaySeconds, std::function<void()> work) = 0;
    // Stops a timer; unknown or finished timers are ignored.
    virtual void cancel(TimerId id) = 0;
};

// Timers on the Qt event loop of the thread that owns the scheduler.
class QtScheduler final : public QObject, public Scheduler {
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    TimerId scheduleRepeating(double intervalSeconds, std::function<void()> work) override;
    TimerId scheduleOnce(double delaySeconds, std::function<void()> work) override;
    void cancel(TimerId id) override;

private:
    TimerId add(double seconds, bool repeating, std::function<void()> work);
    struct Timer;
    std::map<TimerId, std::unique_ptr<Timer>> timers_;
    TimerId nextId_ = 1;
};

// A clock the test moves: advance() runs everything that falls due, in time order.
class ManualScheduler final : public Scheduler {
public:
    TimerId scheduleRepeating(double intervalSeconds, std::function<void()> work) override;
    TimerId scheduleOnce(double delaySeconds, std::function<void()> work) override;
    void cancel(TimerId id) override;

    void advance(double seconds);
    // Runs the earliest pending timer at once (moving the clock to it); false when none.
    bool runNext();
    double now() const { return now_; }
    int activeRepeatingCount() const;
    int pendingOnceCount() const;
    // Delays of the one-shot timers scheduled so far, in order.
    const QList<double>& onceDelays() const { return onceDelays_; }

private:
    struct Entry {
        double due;
        double interval;
        bool repeating;
        std::function<void()> work;
    };
    std::map<TimerId, Entry> entries_;
    QList<double> onceDelays_;
    TimerId nextId_ = 1;
    double now_ = 0;
};

} // namespace tolvi
