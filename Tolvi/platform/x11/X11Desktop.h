#pragma once

#include "Tolvi/platform/desktop/PasteDesktop.h"
#include "Tolvi/platform/x11/X11Workspace.h"

#include <QList>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace tolvi {

// What pasting into another program needs of an X11 desktop with an EWMH window manager:
// which process is in front, bringing a process's window to the front, a Ctrl+V keystroke
// through XTEST, and whether a program shows a dialog. Everything answers from the X server,
// never from the target program, so a frozen program cannot make any of it hang.
class X11Desktop : public X11Workspace, public PasteDesktop {
public:
    explicit X11Desktop(DesktopEntries entries = DesktopEntries());
    ~X11Desktop() override;

    std::optional<qint64> frontmostPID() override;
    // A window is in front (active, or focused without a window manager) whose process cannot be
    // told: a remote client, say. Pasting must then go nowhere rather than to another program.
    bool frontmostIsUnidentified() override;
    // The process exists and has not ended.
    static bool isRunning(qint64 pid);
    bool targetIsRunning(qint64 pid) override { return isRunning(pid); }
    // Asks the window manager (as a pager does) to activate the topmost window of the process;
    // without a window manager, raises and focuses it. False when the process has no window.
    bool activate(qint64 pid) override;

    // Keystrokes can be sent: an X11 display with the XTEST extension, not a Wayland session.
    bool canSendKeystrokes() override;
    // The display offers the XTEST extension (in any session: XWayland has it too).
    bool hasXTest();
    // The keyboard focus, as the server has it, is on a window of the process or on a window
    // inside one of the process's windows. False for no focus and for PointerRoot focus (keys
    // would go wherever the pointer happens to be).
    bool keyboardFocusBelongsTo(qint64 pid) override;
    // Ctrl+V to the focused window, only while the keyboard focus belongs to the process: the
    // server is held from that check until the keystroke is delivered, so no other client can
    // move the focus in between. False when nothing was posted. Modifier keys the user still
    // holds are released first (a held Alt would turn the keystroke into another one). Keycodes
    // are looked up now, for the keyboard layout in use.
    bool pasteInto(qint64 pid) override;
    // The window is mapped and all its ancestors are (it can be seen and can hold the focus).
    bool isViewable(std::uint32_t window) override;

    // True when the program's active window is a dialog (modal state, dialog type, or transient
    // for another window), or any of its windows is modal. Bounded by the budget.
    bool hasBlockingDialog(qint64 pid, std::chrono::milliseconds budget = std::chrono::milliseconds(150)) override;

    // "Name [identifier] (PID n)", or "Unavailable process (PID n)"; nothing for no process.
    std::optional<QString> describe(std::optional<qint64> pid) override;

    // Top-level client windows of the process, bottom to top.
    QList<std::uint32_t> windowsOfProcess(qint64 pid);

private:
    // The active window, or without a window manager the focused one; 0 for none.
    std::uint32_t frontWindow();
    // An EWMH window manager runs (it names its check window on the root).
    bool hasWindowManager();
    bool isDialogWindow(std::uint32_t window);
    bool isModalWindow(std::uint32_t window);
};

// Reports every change of the active window (frontWindowChanged), and every change of the active
// window's process (applicationActivated, dropping "no window" and repeats of the same process),
// from PropertyNotify events on the root window, over a connection of its own.
class X11ActivationWatcher : public QObject {
    Q_OBJECT
public:
    explicit X11ActivationWatcher(QObject* parent = nullptr);
    ~X11ActivationWatcher() override;
    bool isValid() const { return connection_ != nullptr; }

signals:
    // The active window changed (to another window of the same program, or to none, too).
    void frontWindowChanged();
    void applicationActivated(qint64 pid);

private:
    void readEvents();
    void activeWindowChanged();

    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::optional<qint64> lastPid_;
    // The active window, watched for its end: a window that goes away leaves the property as it
    // was, yet the program in front has changed.
    std::uint32_t watchedWindow_ = 0;
};

} // namespace tolvi
