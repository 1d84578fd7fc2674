// Runs inside a headless sway session (tests/support/with-sway).
#include "Tolvi/platform/wayland/SessionKind.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"

#include <gtest/gtest.h>

#include <wayland-client.h>

#include <atomic>
#include <thread>

using namespace tolvi;

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

TEST(WaylandConnectionSwayTest, NoCompositorGivesNoConnection)
{
    EXPECT_FALSE(WaylandConnection::connect("/nonexistent/wayland-socket"));
}
