// Runs inside a headless sway session (tests/support/with-sway).
#include "Tolvi/platform/wayland/SessionKind.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"
#include "EventTimeout.h"

#include <gtest/gtest.h>

#include <wayland-client.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

using namespace tolvi;
using tolvi::test::eventTimeoutMs;

TEST(WaylandConnectionSwayTest, SeesTheCompositorsGlobalsAndDecidesTheSession)
{
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::connect();
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->offers("wl_seat"));
    const std::optional<WaylandGlobal> dataControl = connection->global(wlrDataControlManager);
    ASSERT_TRUE(dataControl);
    EXPECT_GE(dataControl->version, 2u);
    EXPECT_EQ(decideSessionKind(currentSessionFacts(connection.get())), SessionKind::waylandWithDataControl);

    // Bound at the lower of the offered and the asked version.
    auto* seat = static_cast<wl_seat*>(connection->bind(&wl_seat_interface, 1));
    ASSERT_TRUE(seat);
    EXPECT_EQ(wl_proxy_get_version(reinterpret_cast<wl_proxy*>(seat)), 1u);
    EXPECT_EQ(connection->bind(&wl_shm_interface, 1) != nullptr, connection->offers("wl_shm"));
    wl_seat_destroy(seat);
}

TEST(WaylandConnectionSwayTest, RoundtripsFromOtherThreadsWhileItsOwnThreadDispatches)
{
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::connect();
    ASSERT_TRUE(connection);
    connection->startDispatching();
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                if (connection->roundtrip(2000))
                    ++done;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(done.load(), 80);
    EXPECT_FALSE(connection->isBroken());
}

namespace {

// Counts the globals a registry announces, each slowly, as a listener with work to do would.
struct SlowGlobals {
    std::atomic<int> seen{0};
    static void global(void* data, wl_registry*, std::uint32_t, const char*, std::uint32_t)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++static_cast<SlowGlobals*>(data)->seen;
    }
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}
};

} // namespace

// What the compositor sent before answering a round trip has reached its listeners when the
// round trip returns: dispatched by the dispatch thread while it runs, else by the caller.
TEST(WaylandConnectionSwayTest, ARoundtripReturnsOnceTheEventsBeforeItsAnswerAreDispatched)
{
    static const wl_registry_listener listener = {&SlowGlobals::global, &SlowGlobals::globalRemove};
    for (const bool dispatching : {true, false}) {
        SCOPED_TRACE(dispatching ? "dispatch thread" : "no dispatch thread");
        const std::unique_ptr<WaylandConnection> connection = WaylandConnection::connect();
        ASSERT_TRUE(connection);
        if (dispatching)
            connection->startDispatching();
        SlowGlobals globals;
        wl_registry* registry = wl_display_get_registry(connection->display());
        wl_registry_add_listener(registry, &listener, &globals);
        ASSERT_TRUE(connection->roundtrip(eventTimeoutMs));
        const int atReturn = globals.seen.load();
        EXPECT_GT(atReturn, 3);
        // Nothing more arrives later: every global was announced before the answer.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(connection->roundtrip(eventTimeoutMs));
        EXPECT_EQ(globals.seen.load(), atReturn);
        connection->stopDispatching();
        wl_registry_destroy(registry);
    }
}

namespace {

// The dispatch thread's task folder under /proc, found by the name it gives itself.
std::optional<QString> dispatchTask()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "tolvi-wayland")
            return tasks.filePath(tid);
    }
    return std::nullopt;
}

// How often the thread has been switched out so far: every wake-up from a sleep counts once.
qint64 contextSwitches(const QString& task)
{
    QFile status(task + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    qint64 total = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
            total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

} // namespace

TEST(WaylandConnectionSwayTest, TheDispatchThreadSleepsUntilTheCompositorOrAStopWakesIt)
{
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::connect();
    ASSERT_TRUE(connection);
    connection->startDispatching();
    std::optional<QString> task;
    const QDeadlineTimer found(5000);
    while (!(task = dispatchTask()) && !found.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(task);
    // Settled into its wait: nothing is sent to this client while it idles.
    ASSERT_TRUE(connection->roundtrip());
    const qint64 before = contextSwitches(*task);
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    // A timed wait would have woken it seven times by now.
    EXPECT_LE(contextSwitches(*task) - before, 1);

    // A request sent from this thread is answered, and its event dispatched by the waiting thread.
    std::atomic<bool> answered{false};
    wl_callback* callback = wl_display_sync(connection->display());
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { static_cast<std::atomic<bool>*>(data)->store(true); }};
    wl_callback_add_listener(callback, &listener, &answered);
    ASSERT_TRUE(connection->flush());
    const QDeadlineTimer deadline(5000);
    while (!answered && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(answered.load());

    // A stop ends the wait at once (a hang here ends the test by its time limit).
    connection->stopDispatching();
    EXPECT_FALSE(dispatchTask());
    wl_callback_destroy(callback);
}

TEST(WaylandConnectionSwayTest, NoCompositorGivesNoConnection)
{
    EXPECT_FALSE(WaylandConnection::connect("/nonexistent/wayland-socket"));
}
