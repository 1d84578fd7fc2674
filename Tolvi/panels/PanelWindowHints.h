#pragma once

class QWidget;

namespace tolvi {

// Asks the window manager to keep a window off the taskbar and the pager and on
// every desktop (EWMH _NET_WM_STATE and _NET_WM_DESKTOP). Only on X11; elsewhere
// (offscreen, Wayland) it does nothing and returns false. Call it before the
// window is mapped: the window manager reads these properties when it maps.
class PanelWindowHints {
public:
    static bool apply(QWidget* window);
};

} // namespace tolvi
