#include "Tolvi/platform/wayland/ToplevelWindows.h"

#include <algorithm>

namespace tolvi {

ToplevelWindows::~ToplevelWindows() = default;

std::optional<ToplevelWindow> ToplevelWindows::window(quint64 id) const
{
    for (const ToplevelWindow& window : windows()) {
        if (window.id == id)
            return window;
    }
    return std::nullopt;
}

std::optional<ToplevelWindow> ToplevelWindows::activatedWindow() const
{
    for (const ToplevelWindow& window : windows()) {
        if (window.activated)
            return window;
    }
    return std::nullopt;
}

void ToplevelWindows::setActivationHandler(std::function<void(quint64)> handler)
{
    std::lock_guard lock(handlerMutex_);
    activationHandler_ = std::move(handler);
}

void ToplevelWindows::reportActivation(quint64 id)
{
    std::function<void(quint64)> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = activationHandler_;
    }
    if (handler)
        handler(id);
}

QList<ToplevelWindow> FakeToplevelWindows::windows() const
{
    std::lock_guard lock(mutex_);
    return windows_;
}

bool FakeToplevelWindows::activate(quint64 id)
{
    {
        std::lock_guard lock(mutex_);
        activationRequests_.append(id);
        const bool known = std::any_of(windows_.cbegin(), windows_.cend(),
                                       [id](const ToplevelWindow& window) { return window.id == id; });
        if (!known)
            return false;
        if (!activationGranted_)
            return true;
        for (ToplevelWindow& window : windows_)
            window.activated = window.id == id;
    }
    reportActivation(id);
    return true;
}

void FakeToplevelWindows::setWindow(const ToplevelWindow& window)
{
    bool activated = false;
    {
        std::lock_guard lock(mutex_);
        auto found = std::find_if(windows_.begin(), windows_.end(),
                                  [&window](const ToplevelWindow& other) { return other.id == window.id; });
        activated = window.activated && (found == windows_.end() || !found->activated);
        if (window.activated) {
            for (ToplevelWindow& other : windows_)
                other.activated = false;
        }
        if (found != windows_.end())
            *found = window;
        else
            windows_.append(window);
    }
    if (activated)
        reportActivation(window.id);
}

void FakeToplevelWindows::removeWindow(quint64 id)
{
    std::lock_guard lock(mutex_);
    windows_.removeIf([id](const ToplevelWindow& window) { return window.id == id; });
}

} // namespace tolvi
