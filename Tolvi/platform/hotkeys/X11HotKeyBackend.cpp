#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>
// The XKB header names a member "explicit".
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <array>
#include <cstdlib>
#include <vector>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcX11HotKeys, "tolvi.hotkeys.x11")

constexpr quint16 kLockMask = XCB_MOD_MASK_LOCK;
constexpr quint16 kNumLockMask = XCB_MOD_MASK_2;
constexpr quint16 kRelevantMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

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
    setUpRepeatDetection();
    return true;
}

void X11HotKeyBackend::setUpRepeatDetection()
{
    // Qt's connection has XKB set up already; the flag belongs to this client alone.
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(m_connection, &xcb_xkb_id);
    if (xkb && xkb->present) {
        xcb_xkb_use_extension_reply_t* use = xcb_xkb_use_extension_reply(
            m_connection, xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
        if (use && use->supported) {
            constexpr uint32_t detectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
            xcb_xkb_per_client_flags_reply_t* flags = xcb_xkb_per_client_flags_reply(
                m_connection,
                xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, detectable, detectable, 0, 0, 0),
                nullptr);
            m_detectableAutoRepeat = flags && (flags->value & detectable);
            std::free(flags);
        }
        std::free(use);
    }
    // Raw releases from every master keyboard, on the root window; Qt selects its own events
    // there for all devices, which this leaves alone.
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (xinput && xinput->present) {
        struct {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
        xcb_generic_error_t* error =
            xcb_request_check(m_connection, xcb_input_xi_select_events_checked(m_connection, m_root, 1, &selection.head));
        m_rawReleases = !error;
        if (m_rawReleases)
            m_xinputOpcode = xinput->major_opcode;
        std::free(error);
    }
    qCInfo(lcX11HotKeys) << "Detectable auto-repeat:" << m_detectableAutoRepeat << "- raw key releases:" << m_rawReleases;
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
    if (kind == KeyEventKind::RawRelease) {
        if (m_held && m_heldKeycode == keycode)
            m_held = false;
        return false;
    }
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
    // X's two forms of auto-repeat: a press while the key is still down (no release since its
    // press: detectable auto-repeat), or a release and a press with one timestamp (without it).
    const bool repeatedPair = m_hasLastRelease && m_lastReleaseKeycode == keycode && m_lastReleaseTime == time;
    const bool stillHeld = m_held && m_heldKeycode == keycode;
    m_held = true;
    m_heldKeycode = keycode;
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
    if (type == XCB_GE_GENERIC && m_rawReleases) {
        auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
        if (generic->extension == m_xinputOpcode && generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            auto* raw = reinterpret_cast<xcb_input_raw_key_release_event_t*>(event);
            handleKeyEvent(KeyEventKind::RawRelease, quint8(raw->detail), 0, raw->time);
        }
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
