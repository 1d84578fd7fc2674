#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace tolvi {

// What pasting into another program asks of the desktop: which program is in front, bringing it
// to the front, a Ctrl+V keystroke that reaches it alone, and whether it shows a dialog. A
// target is a number: a process id on X11; in a Wayland session also a window the compositor
// lists (see WaylandDesktop).
class PasteDesktop {
public:
    virtual ~PasteDesktop();

    virtual std::optional<qint64> frontmostPID() = 0;
    // A window is in front that cannot be told apart: pasting must then go nowhere rather than
    // to the last program we knew.
    virtual bool frontmostIsUnidentified() = 0;
    virtual bool targetIsRunning(qint64 target) = 0;
    // Asks the desktop to bring the target to the front; false when it cannot.
    virtual bool activate(qint64 target) = 0;
    // Why the last activate() of the target refused it, in words for the user; empty when it did
    // not or there is nothing more to say than that.
    virtual QString activationRefusal(qint64 target) const;
    // Some way of sending keystrokes to other programs is usable now.
    virtual bool canSendKeystrokes() = 0;
    // Keystrokes can reach this target (where only some windows can be typed into).
    virtual bool canTypeInto(qint64 target);
    // The keyboard focus is with the target, as the display server has it.
    virtual bool keyboardFocusBelongsTo(qint64 target) = 0;
    // Ctrl+V, posted only while the keyboard focus is with the target; false when nothing was
    // posted.
    virtual bool pasteInto(qint64 target) = 0;
    // One of our own X11 windows is mapped and can hold the focus.
    virtual bool isViewable(std::uint32_t window) = 0;
    virtual bool hasBlockingDialog(qint64 target, std::chrono::milliseconds budget) = 0;
    // "Name [identifier] (PID n)" or the like, for diagnostics; nothing for no target.
    virtual std::optional<QString> describe(std::optional<qint64> target) = 0;

    // Where messages send the user to make automatic paste possible in this session.
    virtual QString permissionPlace() const;
    // Said after a paste that left the clip on the clipboard untyped; empty where the user is
    // expected to paste by hand anyway.
    virtual QString pasteByHandHint() const;
};

} // namespace tolvi
