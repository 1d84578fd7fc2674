#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tolvi::test {

// Watches the main thread from a thread of its own while a test drives a window: the main
// thread beats every few milliseconds whenever its event loop turns, and the watchdog keeps the
// longest stretch without a beat (work done in one go between two turns counts whole). A main
// thread that hangs outright ends the test program with a message after `hangSeconds`, so a
// freeze fails the test instead of holding the run until its timeout.
class MainThreadWatchdog {
public:
    explicit MainThreadWatchdog(int hangSeconds = 60) : m_hangLimit(std::chrono::seconds(hangSeconds))
    {
        m_lastBeat.store(Clock::now().time_since_epoch().count());
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
    }

    MainThreadWatchdog(const MainThreadWatchdog&) = delete;
    MainThreadWatchdog& operator=(const MainThreadWatchdog&) = delete;

    // A beat by hand, where the main thread returns from work the test did.
    void beat()
    {
        const auto now = Clock::now().time_since_epoch().count();
        const auto last = m_lastBeat.exchange(now);
        noteGap(now - last);
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
    QTimer m_beat;
    std::atomic<Clock::rep> m_lastBeat{0};
    std::atomic<Clock::rep> m_longest{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace tolvi::test
