#include "Tolvi/platform/wayland/PlasmaToplevelWindows.h"

#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "plasma-window-management-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace tolvi {

namespace {

// initial_state and a destructor request came with version 4.
constexpr std::uint32_t minimumVersion = 4;
constexpr std::uint32_t highestVersion = 16;

struct Window {
    PlasmaToplevelWindows::State* owner = nullptr;
    org_kde_plasma_window* proxy = nullptr;
    std::uint32_t internalId = 0;
    ToplevelWindow described;
    bool initialStateDone = false;
};

} // namespace

struct PlasmaToplevelWindows::State {
    PlasmaToplevelWindows* self = nullptr;
    org_kde_plasma_window_management* manager = nullptr;
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<Window>> windows;
    quint64 nextId = 1;

    void activated(quint64 id)
    {
        if (self)
            self->reportActivation(id);
    }
};

namespace {

void ignoreString(void*, org_kde_plasma_window*, const char*) {}
void ignoreNothing(void*, org_kde_plasma_window*) {}

void windowAppId(void* data, org_kde_plasma_window*, const char* appId)
{
    auto* window = static_cast<Window*>(data);
    std::lock_guard lock(window->owner->mutex);
    window->described.appId = QString::fromUtf8(appId);
}

void windowState(void* data, org_kde_plasma_window*, std::uint32_t flags)
{
    auto* window = static_cast<Window*>(data);
    PlasmaToplevelWindows::State* state = window->owner;
    bool becameActive = false;
    {
        std::lock_guard lock(state->mutex);
        const bool active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
        becameActive = active && !window->described.activated && window->initialStateDone;
        window->described.activated = active;
    }
    if (becameActive)
        state->activated(window->described.id);
}

void windowDesktop(void*, org_kde_plasma_window*, std::int32_t) {}

void windowUnmapped(void* data, org_kde_plasma_window* proxy)
{
    auto* window = static_cast<Window*>(data);
    PlasmaToplevelWindows::State* state = window->owner;
    std::lock_guard lock(state->mutex);
    org_kde_plasma_window_destroy(proxy);
    std::erase_if(state->windows, [window](const std::unique_ptr<Window>& w) { return w.get() == window; });
}

void windowInitialState(void* data, org_kde_plasma_window*)
{
    auto* window = static_cast<Window*>(data);
    PlasmaToplevelWindows::State* state = window->owner;
    bool active = false;
    {
        std::lock_guard lock(state->mutex);
        window->initialStateDone = true;
        active = window->described.activated;
    }
    if (active)
        state->activated(window->described.id);
}

void windowParent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
void windowGeometry(void*, org_kde_plasma_window*, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t) {}

void windowPid(void* data, org_kde_plasma_window*, std::uint32_t pid)
{
    auto* window = static_cast<Window*>(data);
    std::lock_guard lock(window->owner->mutex);
    window->described.pid = pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
}

void windowMenu(void*, org_kde_plasma_window*, const char*, const char*) {}

const org_kde_plasma_window_listener windowListener = {
    .title_changed = ignoreString,  // titles carry what the user is working on: never kept
    .app_id_changed = windowAppId,
    .state_changed = windowState,
    .virtual_desktop_changed = windowDesktop,
    .themed_icon_name_changed = ignoreString,
    .unmapped = windowUnmapped,
    .initial_state = windowInitialState,
    .parent_window = windowParent,
    .geometry = windowGeometry,
    .icon_changed = ignoreNothing,
    .pid_changed = windowPid,
    .virtual_desktop_entered = ignoreString,
    .virtual_desktop_left = ignoreString,
    .application_menu = windowMenu,
    .activity_entered = ignoreString,
    .activity_left = ignoreString,
    .resource_name_changed = ignoreString,
};

// Follows one more window, unless it is followed already (KWin may announce a window both by
// number and by uuid).
void follow(PlasmaToplevelWindows::State* state, std::uint32_t internalId, const char* uuid)
{
    std::lock_guard lock(state->mutex);
    const bool known = std::any_of(state->windows.cbegin(), state->windows.cend(),
                                   [internalId](const std::unique_ptr<Window>& w) { return w->internalId == internalId; });
    if (known)
        return;
    auto window = std::make_unique<Window>();
    window->owner = state;
    window->internalId = internalId;
    window->described.id = state->nextId++;
    window->proxy = uuid ? org_kde_plasma_window_management_get_window_by_uuid(state->manager, uuid)
                         : org_kde_plasma_window_management_get_window(state->manager, internalId);
    org_kde_plasma_window_add_listener(window->proxy, &windowListener, window.get());
    state->windows.push_back(std::move(window));
}

void managerShowDesktop(void*, org_kde_plasma_window_management*, std::uint32_t) {}

void managerWindow(void* data, org_kde_plasma_window_management* manager, std::uint32_t id)
{
    // From version 13 on, the same window comes with its uuid, the way that is not deprecated.
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(manager)) >= 13)
        return;
    follow(static_cast<PlasmaToplevelWindows::State*>(data), id, nullptr);
}

void managerStacking(void*, org_kde_plasma_window_management*, wl_array*) {}
void managerStackingUuid(void*, org_kde_plasma_window_management*, const char*) {}

void managerWindowWithUuid(void* data, org_kde_plasma_window_management*, std::uint32_t id, const char* uuid)
{
    follow(static_cast<PlasmaToplevelWindows::State*>(data), id, uuid);
}

const org_kde_plasma_window_management_listener managerListener = {
    .show_desktop_changed = managerShowDesktop,
    .window = managerWindow,
    .stacking_order_changed = managerStacking,
    .stacking_order_uuid_changed = managerStackingUuid,
    .window_with_uuid = managerWindowWithUuid,
};

} // namespace

std::unique_ptr<PlasmaToplevelWindows> PlasmaToplevelWindows::create(WaylandConnection& connection)
{
    const std::optional<WaylandGlobal> global = connection.global("org_kde_plasma_window_management");
    if (!global || global->version < minimumVersion)
        return nullptr;
    auto* manager = static_cast<org_kde_plasma_window_management*>(
        connection.bind(&org_kde_plasma_window_management_interface, highestVersion));
    if (!manager)
        return nullptr;
    std::unique_ptr<PlasmaToplevelWindows> windows(new PlasmaToplevelWindows(connection));
    windows->state_->self = windows.get();
    windows->state_->manager = manager;
    org_kde_plasma_window_management_add_listener(manager, &managerListener, windows->state_.get());
    connection.flush();
    return windows;
}

PlasmaToplevelWindows::PlasmaToplevelWindows(WaylandConnection& connection)
    : connection_(connection), state_(std::make_unique<State>())
{
}

PlasmaToplevelWindows::~PlasmaToplevelWindows()
{
    // The connection's dispatching has stopped: no listener runs any more.
    std::lock_guard lock(state_->mutex);
    state_->self = nullptr;
    for (const std::unique_ptr<Window>& window : state_->windows)
        org_kde_plasma_window_destroy(window->proxy);
    state_->windows.clear();
    if (state_->manager)
        org_kde_plasma_window_management_destroy(state_->manager);
    connection_.flush();
}

QList<ToplevelWindow> PlasmaToplevelWindows::windows() const
{
    QList<ToplevelWindow> result;
    std::lock_guard lock(state_->mutex);
    for (const std::unique_ptr<Window>& window : state_->windows) {
        if (window->initialStateDone)
            result.append(window->described);
    }
    return result;
}

bool PlasmaToplevelWindows::activate(quint64 id)
{
    {
        std::lock_guard lock(state_->mutex);
        auto found = std::find_if(state_->windows.begin(), state_->windows.end(),
                                  [id](const std::unique_ptr<Window>& window) { return window->described.id == id; });
        if (found == state_->windows.end())
            return false;
        org_kde_plasma_window_set_state((*found)->proxy, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
                                        ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
    }
    return connection_.flush();
}

void PlasmaToplevelWindows::sync()
{
    connection_.roundtrip(250);
}

} // namespace tolvi
