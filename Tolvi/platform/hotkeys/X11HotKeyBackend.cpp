#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <array>
#include <cstdlib>
#include <vector>

namespace tolvi {

namespace {

constexpr quint16 kLockMask = XCB_MOD_MASK_LOCK;
constexpr quint16 kNumLockMask = XCB_MOD_MASK_2;
constexpr quint16 kRelevantMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

// Longer than any keyboard's auto-repeat delay (X's default is 660 ms, most desktops 500-600).
constexpr quint32 kRepeatWindowMs = 1000;

constexpr quint32 kKeysymV = 0x0076;      // XK_v
constexpr quint32 kKeysymSpace = 0x0020;  // XK_space

quint16 xModifiers(quint32 modifiers)
{
    quint16 mask = 0;
    if (modifiers & HotKeyModifier::Shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & HotKeyModifier::Control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & HotKeyModifier::Option)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & HotKeyModifier::Command)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

quint32 keysymFor(quint32 keyCode)
{
    switch (keyCode) {
    case HotKeyKeyCode::V:
        return kKeysymV;
    case HotKeyKeyCode::Space:
        return kKeysymSpace;
    default:
        return 0;
    }
}

std::array<quint16, 4> lockVariants(quint16 modifiers)
{
    return {modifiers, quint16(modifiers | kLockMask), quint16(modifiers | kNumLockMask),
            quint16(modifiers | kLockMask | kNumLockMask)};
}

// Waits until the server has handled the requests, so another client that asks for the same
// chord right after sees it free.
void waitFor(xcb_connection_t* connection, const std::vector<xcb_void_cookie_t>& requests)
{
    for (const xcb_void_cookie_t cookie : requests)
        std::free(xcb_request_check(connection, cookie));
}
} // namespace

X11HotKeyBackend::X11HotKeyBackend(QObject* parent) : HotKeyBackend(parent) {}

X11HotKeyBackend::~X11HotKeyBackend()
{
    const auto grabs = m_grabs;
    for (const Grab& grab : grabs)
        unregisterHotKey(grab.id);
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11HotKeyBackend::ensureConnection()
{
    if (m_connection)
        return true;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return false;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    m_connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return false;
    m_root = screens.data->root;
    return true;
}

HotKeyBackend::Status X11HotKeyBackend::installHandler()
{
    if (!ensureConnection())
        return NoDisplay;
    if (!m_filterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return NoError;
}

quint8 X11HotKeyBackend::keycodeFor(quint32 keysym) const
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
    if (!symbols)
        return 0;
    xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols, keysym);
    const quint8 keycode = (keycodes && keycodes[0] != XCB_NO_SYMBOL) ? keycodes[0] : 0;
    std::free(keycodes);
    xcb_key_symbols_free(symbols);
    return keycode;
}

HotKeyBackend::Status X11HotKeyBackend::grabVariants(quint8 keycode, quint16 modifiers)
{
    const auto variants = lockVariants(modifiers);
    std::array<xcb_void_cookie_t, 4> cookies{};
    for (size_t i = 0; i < variants.size(); ++i) {
        // owner_events off: while the grab is active every key event of it comes to the root,
        // also when one of our own windows has the focus (its release would go there otherwise,
        // and the next press would pass for a repeat of a key still held).
        cookies[i] = xcb_grab_key_checked(m_connection, 0, m_root, variants[i], keycode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    Status status = NoError;
    std::array<bool, 4> granted{};
    for (size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookies[i])) {
            if (status == NoError)
                status = error->error_code;
            std::free(error);
        } else {
            granted[i] = true;
        }
    }
    if (status != NoError) {
        std::vector<xcb_void_cookie_t> releases;
        for (size_t i = 0; i < variants.size(); ++i) {
            if (granted[i])
                releases.push_back(xcb_ungrab_key_checked(m_connection, keycode, m_root, variants[i]));
        }
        waitFor(m_connection, releases);
    }
    return status;
}

void X11HotKeyBackend::ungrabVariants(quint8 keycode, quint16 modifiers)
{
    std::vector<xcb_void_cookie_t> releases;
    for (const quint16 variant : lockVariants(modifiers))
        releases.push_back(xcb_ungrab_key_checked(m_connection, keycode, m_root, variant));
    waitFor(m_connection, releases);
}

HotKeyBackend::Status X11HotKeyBackend::registerHotKey(const HotKeyChord& chord, const HotKeyID& id)
{
    if (!ensureConnection())
        return NoDisplay;
    const quint32 keysym = keysymFor(chord.keyCode);
    if (!keysym)
        return NoKeyCode;
    const quint8 keycode = keycodeFor(keysym);
    if (!keycode)
        return NoKeyCode;
    const quint16 modifiers = xModifiers(chord.modifiers);
    const Status status = grabVariants(keycode, modifiers);
    if (status != NoError)
        return status;
    m_grabs.append(Grab{id, keysym, keycode, modifiers});
    return NoError;
}

void X11HotKeyBackend::regrabAfterMappingChange()
{
    if (!m_connection)
        return;
    for (Grab& grab : m_grabs) {
        const quint8 keycode = keycodeFor(grab.keysym);
        if (keycode == grab.keycode)
            continue;
        if (grab.keycode)
            ungrabVariants(grab.keycode, grab.modifiers);
        grab.keycode = 0;
        // The key may be gone from the new mapping, or another program may hold the chord on
        // it: the hot key then waits for the next mapping change.
        if (keycode && grabVariants(keycode, grab.modifiers) == NoError)
            grab.keycode = keycode;
        else
            qWarning("Tolvi could not grab its hot key again after a keyboard mapping change");
    }
    m_held = false;
}

quint8 X11HotKeyBackend::grabbedKeycode(const HotKeyID& id) const
{
    for (const Grab& grab : m_grabs) {
        if (grab.id == id)
            return grab.keycode;
    }
    return 0;
}

void X11HotKeyBackend::unregisterHotKey(const HotKeyID& id)
{
    for (qsizetype i = 0; i < m_grabs.size(); ++i) {
        if (!(m_grabs[i].id == id))
            continue;
        const Grab grab = m_grabs.takeAt(i);
        if (m_connection && grab.keycode)
            ungrabVariants(grab.keycode, grab.modifiers);
        return;
    }
}

const X11HotKeyBackend::Grab* X11HotKeyBackend::grabFor(quint8 keycode, quint16 state) const
{
    const quint16 modifiers = state & kRelevantMask;
    for (const Grab& grab : m_grabs) {
        if (grab.keycode && grab.keycode == keycode && grab.modifiers == modifiers)
            return &grab;
    }
    return nullptr;
}

bool X11HotKeyBackend::handleKeyEvent(KeyEventKind kind, quint8 keycode, quint16 state, quint32 time)
{
    if (kind == KeyEventKind::Release) {
        if (m_held && m_heldKeycode == keycode)
            m_held = false;
        m_lastReleaseKeycode = keycode;
        m_lastReleaseTime = time;
        m_hasLastRelease = true;
        return grabFor(keycode, state) != nullptr;
    }

    const Grab* grab = grabFor(keycode, state);
    if (!grab)
        return false;
    // Auto-repeat arrives either as a release/press pair with one timestamp, or
    // (with detectable auto-repeat) as presses without releases in between, each within the
    // repeat interval of the one before. A press long after the last one is a new press even
    // when its release was never seen: under XWayland the release goes to the Wayland window
    // that took the focus when the chord hid our window, and the next chord would otherwise
    // pass for a repeat (every second press doing nothing).
    const bool repeatedPair = m_hasLastRelease && m_lastReleaseKeycode == keycode && m_lastReleaseTime == time;
    const bool stillHeld = m_held && m_heldKeycode == keycode && quint32(time - m_lastPressTime) < kRepeatWindowMs;
    m_held = true;
    m_heldKeycode = keycode;
    m_lastPressTime = time;
    if (repeatedPair || stillHeld || m_pressesElsewhere)
        return true;
    emit hotKeyPressed(grab->id);
    return true;
}

bool X11HotKeyBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || m_grabs.isEmpty())
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY) {
        // Qt reads the new mapping too: the event is left to it.
        if (reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request == XCB_MAPPING_KEYBOARD)
            regrabAfterMappingChange();
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (key->event != m_root)
        return false;
    return handleKeyEvent(type == XCB_KEY_PRESS ? KeyEventKind::Press : KeyEventKind::Release, key->detail,
                          key->state, key->time);
}

} // namespace tolvi
