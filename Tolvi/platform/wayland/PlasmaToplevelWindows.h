#pragma once

#include "Tolvi/platform/wayland/ToplevelWindows.h"

#include <memory>

namespace tolvi {

class WaylandConnection;

// The windows of KDE Plasma (KWin), through org_kde_plasma_window_management: each window's
// app_id, process id and active state, and activation. KWin offers it only to programs whose
// desktop entry lists it in X-KDE-Wayland-Interfaces.
class PlasmaToplevelWindows final : public ToplevelWindows {
public:
    // Null when the compositor does not offer the protocol (at version 4 or later). Made before the
    // connection starts dispatching; the connection must outlive it, with its dispatching stopped
    // first.
    static std::unique_ptr<PlasmaToplevelWindows> create(WaylandConnection& connection);
    ~PlasmaToplevelWindows() override;

    QList<ToplevelWindow> windows() const override;
    bool activate(quint64 id) override;
    void sync() override;

    struct State;

private:
    explicit PlasmaToplevelWindows(WaylandConnection& connection);
    WaylandConnection& connection_;
    std::unique_ptr<State> state_;
};

} // namespace tolvi
