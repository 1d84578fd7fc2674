#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace tolvi::test {

// Watches the main thread from a thread of its own while a test drives a window: the main
// thread beats every few milliseconds whenever its event loop turns, and the watchdog keeps the
// longest stretch without a beat (work done in one go between two turns counts whole). A main
// thread that hangs outright ends the test program with a message after `hangSeconds`, so a
// freeze fails the test instead of holding the run until its timeout.
//
// A stretch counts the time the main thread ran or waited for something (a file, a lock, another
// process), not the time it stood ready while other programs had every processor: the kernel's
// scheduler statistics of the thread say how long that was. So a busy machine does not make a
// quick view look frozen, while a view that blocks still does.
class MainThreadWatchdog {
public:
    explicit MainThreadWatchdog(int hangSeconds = 60)
        : m_hangLimit(std::chrono::seconds(hangSeconds)),
          m_schedstat(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC))
    {
        m_lastBeat.store(Clock::now().time_since_epoch().count());
        m_lastQueued = queuedNanoseconds();
        m_beat.setInterval(2);
        QObject::connect(&m_beat, &QTimer::timeout, [this] { beat(); });
        m_beat.start();
        m_thread = std::thread([this] { watch(); });
    }

    ~MainThreadWatchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
        if (m_schedstat >= 0)
            ::close(m_schedstat);
    }

    MainThreadWatchdog(const MainThreadWatchdog&) = delete;
    MainThreadWatchdog& operator=(const MainThreadWatchdog&) = delete;

    // A beat by hand, where the main thread returns from work the test did.
    void beat()
    {
        const auto now = Clock::now().time_since_epoch().count();
        const auto last = m_lastBeat.exchange(now);
        const std::int64_t queued = queuedNanoseconds();
        const std::int64_t waitedForAProcessor = queued - m_lastQueued;
        m_lastQueued = queued;
        noteGap(std::max<Clock::rep>(0, now - last - waitedForAProcessor));
    }

    // The longest stretch without a beat since the last call, in milliseconds.
    double takeLongestStallMilliseconds()
    {
        beat();
        return double(m_longest.exchange(0)) / 1e6;
    }

    // Turns the event loop for a while, beating as it goes.
    void pump(int milliseconds)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
        while (Clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            beat();
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    // How long the main thread has stood ready to run without a processor, in all (the second
    // figure of its schedstat); 0 where the kernel does not say.
    std::int64_t queuedNanoseconds() const
    {
        if (m_schedstat < 0)
            return 0;
        char buffer[96];
        const ssize_t read = ::pread(m_schedstat, buffer, sizeof buffer - 1, 0);
        if (read <= 0)
            return 0;
        buffer[read] = '\0';
        std::int64_t running = 0;
        std::int64_t queued = 0;
        if (std::sscanf(buffer, "%" SCNd64 " %" SCNd64, &running, &queued) != 2)
            return 0;
        return queued;
    }

    void noteGap(Clock::rep gap)
    {
        auto longest = m_longest.load();
        while (gap > longest && !m_longest.compare_exchange_weak(longest, gap)) {
        }
    }

    void watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            m_wake.wait_for(lock, std::chrono::milliseconds(100));
            const auto silent = Clock::now().time_since_epoch().count() - m_lastBeat.load();
            if (silent > std::chrono::duration_cast<Clock::duration>(m_hangLimit).count()) {
                std::fprintf(stderr, "MainThreadWatchdog: the main thread has not answered for %lld s\n",
                             static_cast<long long>(silent / 1'000'000'000));
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::chrono::seconds m_hangLimit;
    int m_schedstat = -1;
    std::int64_t m_lastQueued = 0;
    QTimer m_beat;
    std::atomic<Clock::rep> m_lastBeat{0};
    std::atomic<Clock::rep> m_longest{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tolvi::test
