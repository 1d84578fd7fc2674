#pragma once

// Work that runs later on a background thread: the OCR client's deadlines and the delayed
// SIGKILL of a retired worker. Injected so that tests can fire the work by hand.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvi {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
SteadyClock systemSteadyClock();

// A scheduled piece of work; cancel() keeps it from running if it has not started yet.
class ScheduledWork {
public:
    explicit ScheduledWork(std::function<void()> work) : m_work(std::move(work)) {}
    void cancel();
    bool isCancelled() const;
    // Runs the work unless it was cancelled; runs it at most once.
    void run();

private:
    mutable std::mutex m_lock;
    std::function<void()> m_work;
    bool m_cancelled = false;
};

class DelayedExecutor {
public:
    virtual ~DelayedExecutor() = default;
    virtual std::shared_ptr<ScheduledWork> schedule(std::chrono::nanoseconds delay, std::function<void()> work) = 0;
};

// One background thread that runs scheduled work in due order ("utility" priority work: it
// only signals processes and decides deadlines).
class UtilityQueue final : public DelayedExecutor {
public:
    UtilityQueue();
    ~UtilityQueue() override;

    std::shared_ptr<ScheduledWork> schedule(std::chrono::nanoseconds delay, std::function<void()> work) override;

    // The program-wide queue; lives as long as the program.
    static UtilityQueue& shared();

private:
    struct Entry {
        std::chrono::steady_clock::time_point due;
        unsigned long long order;
        std::shared_ptr<ScheduledWork> work;
    };
    void loop();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Entry> m_entries; // a heap, earliest first
    unsigned long long m_nextOrder = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tolvi
