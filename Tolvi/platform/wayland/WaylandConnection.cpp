#include "Tolvi/platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tolvi {


std::unique_ptr<WaylandConnection> WaylandConnection::connect(const QByteArray& displayName)
{
    wl_display* display = wl_display_connect(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection);
    connection->display_ = display;
    connection->wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    static const wl_registry_listener listener = {&WaylandConnection::handleGlobal,
                                                  &WaylandConnection::handleGlobalRemove};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    // The globals arrive in answer to the registry request.
    if (connection->wakeFd_ < 0 || wl_display_roundtrip(display) < 0)
        return nullptr;
    return connection;
}

WaylandConnection::~WaylandConnection()
{
    stopDispatching();
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void WaylandConnection::handleGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                                     std::uint32_t version)
{
    auto* self = static_cast<WaylandConnection*>(data);
    std::lock_guard lock(self->mutex_);
    self->globals_.append({name, QByteArray(interface), version});
}

void WaylandConnection::handleGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    auto* self = static_cast<WaylandConnection*>(data);
    std::lock_guard lock(self->mutex_);
    self->globals_.removeIf([name](const WaylandGlobal& global) { return global.name == name; });
}

QList<WaylandGlobal> WaylandConnection::globals() const
{
    std::lock_guard lock(mutex_);
    return globals_;
}

std::optional<WaylandGlobal> WaylandConnection::global(const QByteArray& interface) const
{
    std::lock_guard lock(mutex_);
    for (const WaylandGlobal& global : globals_) {
        if (global.interface == interface)
            return global;
    }
    return std::nullopt;
}

void* WaylandConnection::bind(const wl_interface* interface, std::uint32_t maxVersion)
{
    const std::optional<WaylandGlobal> found = global(QByteArray(interface->name));
    if (!found)
        return nullptr;
    const std::uint32_t version = std::min({found->version, maxVersion, std::uint32_t(interface->version)});
    return wl_registry_bind(registry_, found->name, interface, version);
}

bool WaylandConnection::roundtrip(int timeoutMs)
{
    if (broken_)
        return false;
    // A queue and display wrapper of our own: the callback's event is dispatched here, in the
    // calling thread, and never races the dispatch thread's queue.
    wl_event_queue* queue = wl_display_create_queue(display_);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_callback* callback = wl_display_sync(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    bool done = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &done);

    const QDeadlineTimer deadline(timeoutMs);
    bool ok = true;
    while (!done && ok) {
        if (wl_display_dispatch_queue_pending(display_, queue) < 0) {
            ok = false;
            break;
        }
        if (done)
            break;
        if (wl_display_prepare_read_queue(display_, queue) != 0)
            continue;
        wl_display_flush(display_);
        pollfd pfd{wl_display_get_fd(display_), POLLIN, 0};
        const int remaining = int(deadline.remainingTime());
        if (remaining <= 0) {
            wl_display_cancel_read(display_);
            ok = false;
            break;
        }
        const int ready = ::poll(&pfd, 1, std::min(remaining, 50));
        if (ready > 0) {
            if (wl_display_read_events(display_) < 0)
                ok = false;
        } else {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno != EINTR)
                ok = false;
        }
    }
    wl_callback_destroy(callback);
    wl_event_queue_destroy(queue);
    if (!ok || !done)
        return false;
    // The events sent before the answer are read, not yet dispatched. Without a dispatch thread
    // they are dispatched here.
    if (!thread_.joinable())
        return wl_display_dispatch_pending(display_) >= 0;
    if (isDispatchThread())
        return true;
    // Otherwise the dispatch thread dispatches them: wait until it has found its queue empty
    // twice from now (the first time may have been just before they were queued).
    std::unique_lock lock(idleMutex_);
    const std::uint64_t target = idlePasses_ + 2;
    while (idlePasses_ < target) {
        if (broken_ || stopping_ || deadline.hasExpired())
            return false;
        lock.unlock();
        wake();
        lock.lock();
        idleChanged_.wait_for(lock, std::chrono::milliseconds(10), [&] { return idlePasses_ >= target; });
    }
    return true;
}

void WaylandConnection::startDispatching()
{
    if (thread_.joinable())
        return;
    thread_ = std::thread([this] { dispatchLoop(); });
}

void WaylandConnection::stopDispatching()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    wake();
    thread_.join();
}

bool WaylandConnection::flush()
{
    if (broken_)
        return false;
    const int result = wl_display_flush(display_);
    if (result >= 0)
        return true;
    if (errno != EAGAIN)
        return false;
    // The socket is full: the dispatch thread sends the rest once the compositor reads.
    wake();
    return true;
}

void WaylandConnection::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void WaylandConnection::setBrokenHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    brokenHandler_ = std::move(handler);
}

void WaylandConnection::markBroken()
{
    if (broken_.exchange(true))
        return;
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = brokenHandler_;
    }
    if (handler)
        handler();
}

void WaylandConnection::dispatchLoop()
{
    dispatchThreadId_ = std::this_thread::get_id();
    pthread_setname_np(pthread_self(), "tolvi-wayland");
    const int displayFd = wl_display_get_fd(display_);
    while (!stopping_) {
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) {
                markBroken();
                return;
            }
        }
        {
            std::lock_guard lock(idleMutex_);
            ++idlePasses_;
        }
        idleChanged_.notify_all();
        // Requests queued by the listeners just run, or by other threads, go out before we sleep;
        // what the socket cannot take now is sent once the compositor has read some.
        bool unsent = false;
        if (wl_display_flush(display_) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(display_);
                markBroken();
                return;
            }
            unsent = true;
        }
        // Sleeps until the compositor sends something, the socket takes more, or another thread
        // wakes us (a stop, or requests it could not send): no wake-up while nothing happens.
        pollfd fds[2] = {{displayFd, short(POLLIN | (unsent ? POLLOUT : 0)), 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR) {
            wl_display_cancel_read(display_);
            markBroken();
            return;
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wakeFd_, &count, sizeof count);
        }
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            if (wl_display_read_events(display_) < 0) {
                markBroken();
                return;
            }
        } else {
            wl_display_cancel_read(display_);
        }
        if (wl_display_dispatch_pending(display_) < 0) {
            markBroken();
            return;
        }
    }
}

} // namespace tolvi
