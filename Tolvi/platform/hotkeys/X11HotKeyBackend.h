#pragma once

#include "Tolvi/platform/hotkeys/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>

struct xcb_connection_t;

namespace tolvi {

// Global hot keys on X11: passive key grabs on the root window of Qt's own
// xcb connection, received through a native event filter.
//
// Each chord is grabbed four times (with and without Caps Lock and Num Lock)
// so the hot key works whatever the lock state. A BadAccess error means another
// client holds the chord; the partial grabs are undone and the X error code is
// returned.
//
// Auto-repeat is told from a new press the way X tells it: the connection asks for XKB's
// detectable auto-repeat, under which a held key repeats as presses with no release in between
// (where the server does not grant it, a repeat is a release and a press with one timestamp).
// A release can miss the grab (under XWayland it goes to the Wayland window that takes the focus
// when the chord hides our window): the server's raw key releases (XInput 2), which reach us
// whatever window has the focus, count as well, so the next press is never taken for a repeat.
// Such repeats never reach hotKeyPressed.
//
// A grab holds a keycode, not a key symbol: when the keyboard mapping changes (another layout,
// xmodmap, a new keyboard) every chord is grabbed again on the key that now carries its symbol.
class X11HotKeyBackend : public HotKeyBackend, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit X11HotKeyBackend(QObject* parent = nullptr);
    ~X11HotKeyBackend() override;

    Status installHandler() override;
    Status registerHotKey(const HotKeyChord& chord, const HotKeyID& id) override;
    void unregisterHotKey(const HotKeyID& id) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Key event handling, separated from the X transport so repeats can be tested directly.
    // Returns true when the event belongs to one of our chords (and is consumed).
    // RawRelease: a release the server reports to every listener, also when the key event itself
    // went to another window.
    enum class KeyEventKind { Press, Release, RawRelease };
    bool handleKeyEvent(KeyEventKind kind, quint8 keycode, quint16 state, quint32 time);

    // While presses are handed elsewhere (the desktop's global shortcuts service holds the same
    // chords), the chords stay grabbed but their presses are dropped, so one press never runs
    // an action twice.
    void setPressesHandedElsewhere(bool elsewhere) { m_pressesElsewhere = elsewhere; }

    // The server repeats held keys as presses without releases (XKB detectable auto-repeat).
    bool hasDetectableAutoRepeat() const { return m_detectableAutoRepeat; }
    // Raw key releases reach us.
    bool seesRawReleases() const { return m_rawReleases; }

    // Grabs every chord again on the keys that now carry its symbol (the keyboard mapping changed).
    void regrabAfterMappingChange();
    // The keycode a chord is grabbed on now (0 when it is not registered).
    quint8 grabbedKeycode(const HotKeyID& id) const;

private:
    struct Grab {
        HotKeyID id;
        quint32 keysym = 0;
        quint8 keycode = 0;
        quint16 modifiers = 0;  // X modifier mask without lock bits
    };

    bool ensureConnection();
    // Asks for detectable auto-repeat and for the raw key releases on the root window.
    void setUpRepeatDetection();
    quint8 keycodeFor(quint32 keysym) const;
    // Grabs the keycode with every lock variant; all or nothing. The X error code or NoError.
    Status grabVariants(quint8 keycode, quint16 modifiers);
    void ungrabVariants(quint8 keycode, quint16 modifiers);
    const Grab* grabFor(quint8 keycode, quint16 state) const;

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    bool m_filterInstalled = false;
    QList<Grab> m_grabs;

    // Repeat detection.
    bool m_detectableAutoRepeat = false;
    bool m_rawReleases = false;
    quint8 m_xinputOpcode = 0;
    quint8 m_heldKeycode = 0;
    bool m_held = false;
    bool m_pressesElsewhere = false;
    quint8 m_lastReleaseKeycode = 0;
    quint32 m_lastReleaseTime = 0;
    bool m_hasLastRelease = false;
};

} // namespace tolvi
