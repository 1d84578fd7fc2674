#pragma once

#include "Tolvi/platform/wayland/WaylandKeyboard.h"

#include <memory>

namespace tolvi {

class WaylandConnection;

// Ctrl+V through a virtual keyboard of a wlroots compositor (zwp_virtual_keyboard_v1), with the
// keymap of the seat's own keyboard (the user's layout), or this environment's XKB defaults while
// the seat has none. The keymap is given as soon as the keyboard is made, and again when the
// seat's changes, so no paste waits for it.
class VirtualKeyboard final : public WaylandKeyboard {
public:
    // Null when the compositor offers no virtual keyboards. Made before the connection starts
    // dispatching; the connection must outlive it, with its dispatching stopped first.
    static std::unique_ptr<VirtualKeyboard> create(WaylandConnection& connection);
    ~VirtualKeyboard() override;

    bool isReady() override;
    bool typeControlV() override;

    struct State;

private:
    explicit VirtualKeyboard(WaylandConnection& connection);
    WaylandConnection& connection_;
    std::unique_ptr<State> state_;
};

} // namespace tolvi
