#pragma once

#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/desktop/Workspace.h"

#include <cstdint>
#include <memory>

namespace tolvi {

class X11Connection;

// The front application of an EWMH desktop: _NET_ACTIVE_WINDOW on the root window, the window's
// _NET_WM_PID (trusted only when WM_CLIENT_MACHINE names this host; a window that names no
// machine belongs to the local process the server saw create it) and its WM_CLASS.
class X11Workspace : public Workspace {
public:
    // Connects to the display DISPLAY names; isValid() is false without one.
    explicit X11Workspace(DesktopEntries entries = DesktopEntries());
    ~X11Workspace() override;

    bool isValid() const { return connection_ != nullptr; }

    std::optional<RunningApplication> frontmostApplication() override;
    // From the window manager's client list (_NET_CLIENT_LIST); empty without a window manager.
    QList<RunningApplication> runningApplications() override;

    // One entry per client window the window manager lists, this program's own too.
    QList<RunningApplication> applicationWindows();

    // The active window (0 when none).
    std::uint32_t activeWindow();
    // The process of a window on this host: _NET_WM_PID when WM_CLIENT_MACHINE names this host;
    // without WM_CLIENT_MACHINE (or without _NET_WM_PID), the local process that created the
    // window. Nothing when unknown or on another (or an unnamed) machine.
    std::optional<qint64> processOfWindow(std::uint32_t window);
    RunningApplication applicationOfWindow(std::uint32_t window);

    // The same, over any connection.
    static std::optional<qint64> processOfWindow(X11Connection& connection, std::uint32_t window);

    // A WM_CLASS class part made safe as an identifier: white space and control characters
    // become '_', at most 255 characters.
    static QString identifierForWindowClass(const QByteArray& windowClass);

protected:
    X11Connection* connection() const { return connection_.get(); }

private:
    std::unique_ptr<X11Connection> connection_;
    DesktopEntries entries_;
};

} // namespace tolvi
