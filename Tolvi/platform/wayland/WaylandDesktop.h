#pragma once

#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/desktop/PasteDesktop.h"
#include "Tolvi/platform/desktop/Workspace.h"

#include <functional>
#include <limits>

namespace tolvi {

class ToplevelWindows;
struct ToplevelWindow;
class WaylandKeyboard;

// The desktop of a Wayland session, where our windows are X11 clients of XWayland. The program
// in front is, in this order: an X11 window XWayland has active (its process, as on X11), unless
// the compositor lists another process's window as activated; the window the compositor lists as
// activated (its app_id); else, where the compositor lists no windows (GNOME), the window that
// had the focus before ours, which the compositor gives the focus back to when our window hides.
//
// Paste targets: an X11 window's process id (positive); a listed Wayland window as the negative
// of its list id; focusReturnTarget for that last case. Keystrokes: XTest for X11 windows, the
// compositor's keyboard (virtual keyboard, fake input) for Wayland windows, each only after the
// target was seen to hold the focus, as XWayland and the compositor both have it.
//
// The compositor lists our own windows too (XWayland's): one of them activated means Tolvi is in
// front, never another app.
class WaylandDesktop final : public Workspace, public PasteDesktop {
public:
    static constexpr qint64 focusReturnTarget = std::numeric_limits<qint64>::min();

    struct Parts {
        // The X11 side (XWayland), as on an X11 desktop.
        PasteDesktop& xwayland;
        Workspace& xwaylandApplications;
        // XTest keystrokes reach XWayland's windows.
        std::function<bool()> xwaylandCanType;
        // Null where the compositor lists no windows.
        ToplevelWindows* windows = nullptr;
        // Null where the compositor offers no keyboard of ours.
        WaylandKeyboard* keyboard = nullptr;
        // XWayland's client windows, one entry each (X11Workspace::applicationWindows()); empty:
        // one window per program XWayland lists.
        std::function<QList<RunningApplication>()> xwaylandWindows = {};
        // The window class our own X11 windows carry, which the compositor lists as their app_id
        // where it does not name their process; empty: the application name (Qt's choice).
        QString ownWindowClass = {};
    };

    explicit WaylandDesktop(Parts parts, DesktopEntries entries = DesktopEntries());

    static qint64 targetForWindow(quint64 id) { return -qint64(id); }

    // Workspace
    std::optional<RunningApplication> frontmostApplication() override;
    QList<RunningApplication> runningApplications() override;

    // PasteDesktop
    std::optional<qint64> frontmostPID() override;
    bool frontmostIsUnidentified() override;
    bool targetIsRunning(qint64 target) override;
    bool activate(qint64 target) override;
    QString activationRefusal(qint64 target) const override;
    bool canSendKeystrokes() override;
    bool canTypeInto(qint64 target) override;
    bool keyboardFocusBelongsTo(qint64 target) override;
    bool pasteInto(qint64 target) override;
    bool isViewable(std::uint32_t window) override;
    bool hasBlockingDialog(qint64 target, std::chrono::milliseconds budget) override;
    std::optional<QString> describe(std::optional<qint64> target) override;
    QString permissionPlace() const override;
    QString pasteByHandHint() const override;

    // What the windows say about automatic paste in a Wayland session.
    static QString keystrokeMechanism();
    static QString permissionSettings();
    static QString keystrokesUnavailableTitle();
    static QString keystrokesUnavailable();
    static QString keystrokesUnavailableStatus();

    // The application a Wayland window belongs to, named from its desktop entry.
    RunningApplication applicationOfWindow(const QString& appId, std::optional<qint64> pid);

    // Said when the target's window could not be told apart from another program's.
    static QString indistinctWindow();

private:
    static std::optional<quint64> windowOfTarget(qint64 target);
    // One of our own windows, as the compositor lists it.
    bool isOwnWindow(const ToplevelWindow& window) const;
    // The listed window that is the X11 program's, where it can be told: nothing when the
    // compositor lists none of its windows (XWayland's request is all there is), or when another
    // program's window carries the same app_id and the compositor names no processes.
    enum class Match { none, one, indistinct };
    Match listedWindowOfX11Program(qint64 pid, quint64* window);

    Parts parts_;
    DesktopEntries entries_;
    QString ownWindowClass_;
    std::optional<qint64> refusedTarget_;
};

} // namespace tolvi
