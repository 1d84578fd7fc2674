#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvi {

// Types Ctrl+V into whatever window has the keyboard focus of a Wayland session. Deciding that
// the focus is where it should be is the caller's job (WaylandDesktop).
class WaylandKeyboard {
public:
    virtual ~WaylandKeyboard();

    // Set up and able to type now (a compositor may need a moment after a new keymap).
    virtual bool isReady() = 0;
    // Ctrl+V, as a keyboard with the user's layout types it; false when nothing was sent.
    virtual bool typeControlV() = 0;
    // Makes the keyboard ready where it is not; false when that needs the user (a portal asks for
    // consent), true when it will be ready by itself in a moment.
    virtual bool prepare() { return true; }
};

// The keys of Ctrl+V in an XKB keymap: evdev codes (XKB keycodes less 8) and the Control mask.
struct ControlVKeys {
    std::uint32_t control = 0;
    std::uint32_t v = 0;
    std::uint32_t controlMask = 0;

    friend bool operator==(const ControlVKeys&, const ControlVKeys&) = default;

    // From a keymap in the XKB text format; nothing when it does not parse or has no such keys.
    static std::optional<ControlVKeys> fromKeymap(const QByteArray& keymapText);
    // The keymap of this environment's XKB defaults (XKB_DEFAULT_LAYOUT and the like; else the
    // library's own, a US layout), as text.
    static QByteArray defaultKeymap();
};

// A keyboard the test watches.
class FakeWaylandKeyboard final : public WaylandKeyboard {
public:
    bool isReady() override { return ready_; }
    bool typeControlV() override
    {
        if (!ready_)
            return false;
        ++typed_;
        return true;
    }
    bool prepare() override
    {
        ++prepared_;
        return !needsConsent_;
    }
    void setReady(bool ready) { ready_ = ready; }
    // Like the portal: getting ready needs the user.
    void setNeedsConsent(bool needsConsent) { needsConsent_ = needsConsent; }
    int typedCount() const { return typed_; }
    int preparedCount() const { return prepared_; }

private:
    bool ready_ = true;
    bool needsConsent_ = false;
    int typed_ = 0;
    int prepared_ = 0;
};

} // namespace tolvi
