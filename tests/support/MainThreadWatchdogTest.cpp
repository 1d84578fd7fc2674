// The watchdog counts a main thread that works or waits without turning its event loop, and
// leaves out the time the thread only stood waiting for a processor on a busy machine.
#include "MainThreadWatchdog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include <sched.h>
#include <time.h>

using namespace tolvi::test;

namespace {

// Works for this long of the thread's own processor time, however busy the machine is.
void work(std::chrono::milliseconds length)
{
    const auto cpu = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    const auto end = cpu() + length;
    volatile unsigned sink = 0;
    while (cpu() < end)
        sink = sink + 1;
}

// Runs for this long on the wall clock.
void spin(std::chrono::milliseconds length)
{
    const auto end = std::chrono::steady_clock::now() + length;
    volatile unsigned sink = 0;
    while (std::chrono::steady_clock::now() < end)
        sink = sink + 1;
}

} // namespace

TEST(MainThreadWatchdog, CountsWorkAndWaitingButNotTimeWithoutAProcessor)
{
    MainThreadWatchdog watchdog;
    watchdog.pump(20);
    watchdog.takeLongestStallMilliseconds();

    work(std::chrono::milliseconds(150));
    EXPECT_GE(watchdog.takeLongestStallMilliseconds(), 140);

    // Blocked, as on a file or a lock: that is a stall too.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_GE(watchdog.takeLongestStallMilliseconds(), 140);

    watchdog.pump(50);
    EXPECT_LT(watchdog.takeLongestStallMilliseconds(), 140);

    // Pinned to one processor with four busy threads: the main thread gets about a fifth of it, so
    // 300 ms of wall time hold only about 60 ms of its own running.
    cpu_set_t previous;
    ASSERT_EQ(sched_getaffinity(0, sizeof previous, &previous), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &previous)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> rivals;
    for (int i = 0; i < 4; ++i) {
        rivals.emplace_back([&stop, one] {
            sched_setaffinity(0, sizeof one, &one);
            while (!stop.load(std::memory_order_relaxed)) {
            }
        });
    }
    watchdog.pump(20);
    watchdog.takeLongestStallMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    spin(std::chrono::milliseconds(300));
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double counted = watchdog.takeLongestStallMilliseconds();
    stop = true;
    for (std::thread& rival : rivals)
        rival.join();
    ASSERT_EQ(sched_setaffinity(0, sizeof previous, &previous), 0);
    EXPECT_GE(wall, 290);
    EXPECT_LT(counted, wall * 0.6) << "wall " << wall << " ms";
}
