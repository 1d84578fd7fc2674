#pragma once

#include "Tolvi/platform/wayland/ToplevelWindows.h"

#include <memory>

namespace tolvi {

class WaylandConnection;

// The windows of a wlroots compositor (sway and others), through foreign toplevel management:
// each window's app_id and activated state, and activation on the first seat.
class ForeignToplevelWindows final : public ToplevelWindows {
public:
    // Null when the compositor does not offer the protocol. Made before the connection starts
    // dispatching; the connection must outlive it, with its dispatching stopped first.
    static std::unique_ptr<ForeignToplevelWindows> create(WaylandConnection& connection);
    ~ForeignToplevelWindows() override;

    QList<ToplevelWindow> windows() const override;
    bool activate(quint64 id) override;
    void sync() override;

    struct State;

private:
    explicit ForeignToplevelWindows(WaylandConnection& connection);
    WaylandConnection& connection_;
    std::unique_ptr<State> state_;
};

} // namespace tolvi
