#pragma once

class QWidget;

namespace tolvi {

// Asks the window manager to keep a window off the taskbar and the pager and on
// every desktop (EWMH _NET_WM_STATE and _NET_WM_DESKTOP). Only on X11; elsewhere
// (offscreen, Wayland) it does nothing and returns false.
//
// apply() writes the properties, before the window is mapped: the window manager
// reads them when it maps. A window shown again right after it was hidden races
// the window manager, which clears these properties when it sees the window
// withdrawn, possibly after they were written anew. So a shown panel checks for
// a while whether its window still carries them (isSettled()) and, when not,
// asks again by client messages (requestOnMappedWindow()), as for any managed
// window.
class PanelWindowHints {
public:
    static bool apply(QWidget* window);
    static bool requestOnMappedWindow(QWidget* window);
    // The window carries the hints; also true where there is nothing to check.
    static bool isSettled(QWidget* window);
};

} // namespace tolvi
