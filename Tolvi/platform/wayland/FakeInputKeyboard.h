#pragma once

#include "Tolvi/platform/wayland/WaylandKeyboard.h"

#include <memory>

namespace tolvi {

class WaylandConnection;

// Ctrl+V through KWin's fake input (org_kde_kwin_fake_input, version 4 for keys): evdev key
// codes, read by KWin with the seat's keymap, so the codes are looked up in the seat keyboard's
// keymap (the user's layout), or in this environment's XKB defaults while the seat has none.
// KWin offers it only to programs whose desktop entry lists it in X-KDE-Wayland-Interfaces.
class FakeInputKeyboard final : public WaylandKeyboard {
public:
    // Null when the compositor does not offer fake input with keys. Made before the connection
    // starts dispatching; the connection must outlive it, with its dispatching stopped first.
    static std::unique_ptr<FakeInputKeyboard> create(WaylandConnection& connection);
    ~FakeInputKeyboard() override;

    bool isReady() override;
    bool typeControlV() override;

    struct State;

private:
    explicit FakeInputKeyboard(WaylandConnection& connection);
    WaylandConnection& connection_;
    std::unique_ptr<State> state_;
};

} // namespace tolvi
