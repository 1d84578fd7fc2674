#pragma once

namespace tolvi {

// Whether translucent windows are really blended with what lies behind them.
// On X11 that needs a compositing manager (the owner of the _NET_WM_CM_S<n>
// selection); without one, transparent pixels show as black. Other platforms
// (Wayland, offscreen rendering) always compose.
class CompositorProbe {
public:
    static bool translucencyAvailable();
};

} // namespace tolvi
