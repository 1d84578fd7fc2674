#include "Tolvi/platform/wayland/ForeignToplevelWindows.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace tolvi {

namespace {

struct Handle {
    ForeignToplevelWindows::State* owner = nullptr;
    zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
    ToplevelWindow described;  // as of the last "done"
    ToplevelWindow pending;    // being described
    bool describedOnce = false;
    bool closed = false;
};

} // namespace

struct ForeignToplevelWindows::State {
    ForeignToplevelWindows* self = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    wl_seat* seat = nullptr;
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Handle>> handles;
    quint64 nextId = 1;

    void activated(quint64 id)
    {
        if (self)
            self->reportActivation(id);
    }
};

namespace {

void handleTitle(void*, zwlr_foreign_toplevel_handle_v1*, const char*)
{
    // Titles carry what the user is working on: never kept.
}

void handleAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
{
    auto* handle = static_cast<Handle*>(data);
    std::lock_guard lock(handle->owner->mutex);
    handle->pending.appId = QString::fromUtf8(appId);
}

void handleOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void handleState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states)
{
    auto* handle = static_cast<Handle*>(data);
    bool activated = false;
    const auto* values = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            activated = true;
    }
    std::lock_guard lock(handle->owner->mutex);
    handle->pending.activated = activated;
}

void handleDone(void* data, zwlr_foreign_toplevel_handle_v1*);

void handleClosed(void* data, zwlr_foreign_toplevel_handle_v1* proxy)
{
    auto* handle = static_cast<Handle*>(data);
    ForeignToplevelWindows::State* state = handle->owner;
    std::lock_guard lock(state->mutex);
    handle->closed = true;
    zwlr_foreign_toplevel_handle_v1_destroy(proxy);
    handle->proxy = nullptr;
    std::erase_if(state->handles, [handle](const std::unique_ptr<Handle>& h) { return h.get() == handle; });
}

void handleParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
    handleTitle, handleAppId, handleOutput, handleOutput, handleState, handleDone, handleClosed, handleParent,
};

void handleToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* proxy)
{
    auto* state = static_cast<ForeignToplevelWindows::State*>(data);
    auto handle = std::make_unique<Handle>();
    handle->owner = state;
    handle->proxy = proxy;
    {
        std::lock_guard lock(state->mutex);
        handle->pending.id = state->nextId++;
        handle->described.id = handle->pending.id;
        zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &handleListener, handle.get());
        state->handles.push_back(std::move(handle));
    }
}

void handleFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    auto* state = static_cast<ForeignToplevelWindows::State*>(data);
    std::lock_guard lock(state->mutex);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    state->manager = nullptr;
}

const zwlr_foreign_toplevel_manager_v1_listener managerListener = {handleToplevel, handleFinished};

void handleDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    auto* handle = static_cast<Handle*>(data);
    ForeignToplevelWindows::State* state = handle->owner;
    bool becameActivated = false;
    {
        std::lock_guard lock(state->mutex);
        becameActivated = handle->pending.activated && !handle->described.activated;
        handle->described = handle->pending;
        handle->describedOnce = true;
    }
    if (becameActivated)
        state->activated(handle->described.id);
}

} // namespace

std::unique_ptr<ForeignToplevelWindows> ForeignToplevelWindows::create(WaylandConnection& connection)
{
    auto* manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        connection.bind(&zwlr_foreign_toplevel_manager_v1_interface, 3));
    if (!manager)
        return nullptr;
    auto* seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1));
    if (!seat) {
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        return nullptr;
    }
    std::unique_ptr<ForeignToplevelWindows> windows(new ForeignToplevelWindows(connection));
    windows->state_->self = windows.get();
    windows->state_->manager = manager;
    windows->state_->seat = seat;
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &managerListener, windows->state_.get());
    // The windows open now are announced at once.
    connection.roundtrip();
    connection.roundtrip();
    return windows;
}

ForeignToplevelWindows::ForeignToplevelWindows(WaylandConnection& connection)
    : connection_(connection), state_(std::make_unique<State>())
{
}

ForeignToplevelWindows::~ForeignToplevelWindows()
{
    // The connection's dispatching has stopped: no listener runs any more.
    std::lock_guard lock(state_->mutex);
    state_->self = nullptr;
    for (const std::unique_ptr<Handle>& handle : state_->handles) {
        if (handle->proxy)
            zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
    }
    state_->handles.clear();
    if (state_->manager)
        zwlr_foreign_toplevel_manager_v1_destroy(state_->manager);
    if (state_->seat)
        wl_seat_destroy(state_->seat);
    connection_.flush();
}

QList<ToplevelWindow> ForeignToplevelWindows::windows() const
{
    QList<ToplevelWindow> result;
    std::lock_guard lock(state_->mutex);
    for (const std::unique_ptr<Handle>& handle : state_->handles) {
        // A window is listed once the compositor has described it completely.
        if (!handle->closed && handle->describedOnce)
            result.append(handle->described);
    }
    return result;
}

bool ForeignToplevelWindows::activate(quint64 id)
{
    {
        std::lock_guard lock(state_->mutex);
        auto found = std::find_if(state_->handles.begin(), state_->handles.end(),
                                  [id](const std::unique_ptr<Handle>& handle) { return handle->described.id == id; });
        if (found == state_->handles.end() || !(*found)->proxy)
            return false;
        zwlr_foreign_toplevel_handle_v1_activate((*found)->proxy, state_->seat);
    }
    return connection_.flush();
}

void ForeignToplevelWindows::sync()
{
    connection_.roundtrip(250);
}

} // namespace tolvi
