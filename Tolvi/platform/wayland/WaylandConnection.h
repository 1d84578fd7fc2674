#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct wl_display;
struct wl_registry;
struct wl_interface;
struct wl_event_queue;

namespace tolvi {

// One global the compositor offers: its registry name, interface and highest version.
struct WaylandGlobal {
    std::uint32_t name = 0;
    QByteArray interface;
    std::uint32_t version = 0;
};

// A client connection of our own to the Wayland compositor, beside Qt's (the windows stay X11
// clients through XWayland). It learns the offered globals at once and then dispatches every
// event in a thread of its own, so a compositor that is slow to answer never holds the main
// thread and no Qt event loop is needed for protocol objects to work.
//
// Objects are bound and given their listeners before startDispatching(); after it, listeners run
// in the dispatch thread. Requests may be sent from any thread (libwayland serialises them);
// flush() pushes them out at once. The dispatch thread sleeps until the compositor sends
// something or it is woken: a request sent from another thread must be followed by flush().
class WaylandConnection {
public:
    // Connects to the compositor named by WAYLAND_DISPLAY (a socket name in XDG_RUNTIME_DIR or an
    // absolute path), or to the one given. Nothing when no compositor answers.
    static std::unique_ptr<WaylandConnection> connect(const QByteArray& displayName = {});
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    wl_registry* registry() const { return registry_; }

    // The globals offered now (they may come and go while the connection lives).
    QList<WaylandGlobal> globals() const;
    std::optional<WaylandGlobal> global(const QByteArray& interface) const;
    bool offers(const QByteArray& interface) const { return global(interface).has_value(); }

    // Binds the first global of the interface at the lower of its offered version and
    // maxVersion; null when it is not offered. The result is the protocol's proxy type.
    void* bind(const wl_interface* interface, std::uint32_t maxVersion);

    // Waits (at most timeoutMs) until the compositor has handled every request sent so far and
    // the events it sent meanwhile were dispatched. Safe from any thread, also while the
    // dispatch thread runs (called in a handler of the dispatch thread, the events before the
    // answer are dispatched once that handler returns). False on timeout or a broken connection.
    bool roundtrip(int timeoutMs = 2000);

    // Starts the dispatch thread (once).
    void startDispatching();
    // Stops the dispatch thread (the destructor does too); objects may then be destroyed safely.
    void stopDispatching();
    bool isDispatchThread() const { return std::this_thread::get_id() == dispatchThreadId_.load(); }
    // Sends the requests queued so far (what the socket cannot take yet, the dispatch thread sends
    // as soon as it can).
    bool flush();
    // True once the compositor went away or the connection failed.
    bool isBroken() const { return broken_.load(); }
    // Called in the dispatch thread once when the connection breaks.
    void setBrokenHandler(std::function<void()> handler);

private:
    WaylandConnection() = default;
    static void handleGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                             std::uint32_t version);
    static void handleGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
    void dispatchLoop();
    void markBroken();
    // Ends the dispatch thread's wait.
    void wake();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<std::thread::id> dispatchThreadId_{};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> broken_{false};
    mutable std::mutex mutex_;
    // Counts the times the dispatch thread found its queue empty, every event read before then
    // dispatched; roundtrip() waits on it for the events that came before its answer.
    std::mutex idleMutex_;
    std::condition_variable idleChanged_;
    std::uint64_t idlePasses_ = 0;
    QList<WaylandGlobal> globals_;
    std::function<void()> brokenHandler_;
};

} // namespace tolvi
