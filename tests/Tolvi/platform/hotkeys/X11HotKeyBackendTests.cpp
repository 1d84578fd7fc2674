// Runs under its own Xvfb server: real key grabs, real XTest key presses.
#include "Tolvi/platform/hotkeys/GlobalHotKey.h"
#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

using namespace tolvi;

namespace {

const HotKeyChord kSuperShiftV{HotKeyKeyCode::V, HotKeyModifier::Command | HotKeyModifier::Shift};
const HotKeyChord kCtrlAltSpace{HotKeyKeyCode::Space, HotKeyModifier::Control | HotKeyModifier::Option};

// Another X client, as another application would be.
class OtherClient {
public:
    OtherClient() : m_display(XOpenDisplay(nullptr)) {}
    ~OtherClient()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }

    void key(KeySym keysym, bool down)
    {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keysym), down ? True : False, CurrentTime);
        XSync(m_display, False);
    }

    void chord(std::initializer_list<KeySym> modifiers, KeySym key)
    {
        for (KeySym modifier : modifiers)
            this->key(modifier, true);
        this->key(key, true);
        this->key(key, false);
        for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
            this->key(*it, false);
    }

    // Grabs like any other program would; returns the X error code or 0.
    int grab(KeySym keysym, unsigned int modifiers)
    {
        m_grabError = 0;
        auto previous = XSetErrorHandler([](Display*, XErrorEvent* event) {
            s_lastError = event->error_code;
            return 0;
        });
        s_lastError = 0;
        XGrabKey(m_display, XKeysymToKeycode(m_display, keysym), modifiers, DefaultRootWindow(m_display), True,
                 GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        XSetErrorHandler(previous);
        return s_lastError;
    }

private:
    static inline int s_lastError = 0;
    Display* m_display;
    int m_grabError = 0;
};

void spinUntil(const std::function<bool()>& done, int ms = 2000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void spinFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The server's keycode for the key; 0 when no X server answers.
quint8 keycodeOf(KeySym keysym)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    const quint8 keycode = XKeysymToKeycode(display, keysym);
    XCloseDisplay(display);
    return keycode;
}

} // namespace

TEST(X11HotKeyBackend, ChordFromAnotherClientRunsTheActionWithAndWithoutLocks)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());

    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 1; });
    EXPECT_EQ(runs, 1);

    // Caps Lock on: the chord still works.
    other.key(XK_Caps_Lock, true);
    other.key(XK_Caps_Lock, false);
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 2; });
    EXPECT_EQ(runs, 2);
    other.key(XK_Caps_Lock, true);
    other.key(XK_Caps_Lock, false);

    // Another chord of the same key does not trigger it.
    other.chord({XK_Shift_L}, XK_v);
    spinFor(200);
    EXPECT_EQ(runs, 2);
}

TEST(X11HotKeyBackend, ChordPressedWhileOurOwnWindowHasTheFocusStillRunsTheAction)
{
    // The history window is ours: toggling it closed happens while it has the keyboard focus.
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());

    QWindow window;
    window.resize(200, 120);
    window.show();
    spinUntil([&] { return window.isExposed(); });
    ASSERT_TRUE(window.isExposed());
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    XSetInputFocus(other.display(), Window(window.winId()), RevertToParent, CurrentTime);
    XSync(other.display(), False);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(other.display(), &focus, &revert);
    ASSERT_EQ(focus, Window(window.winId()));

    // Pressed twice: the release in between must reach us, or the second press would pass
    // for a repeat of a key still held.
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 1; });
    EXPECT_EQ(runs, 1);
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 2; });
    EXPECT_EQ(runs, 2);
}

TEST(X11HotKeyBackend, ChordHeldByAnotherClientFailsWithBadAccessAndReleaseFreesOurs)
{
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    ASSERT_EQ(other.grab(XK_space, ControlMask | Mod1Mask), 0);

    X11HotKeyBackend backend;
    EXPECT_EQ(backend.installHandler(), HotKeyBackend::NoError);
    EXPECT_EQ(backend.registerHotKey(kCtrlAltSpace, {tolviHotKeySignature(), 1}), 10 /* BadAccess */);

    // Ours: registered, then released, after which another client may take it.
    {
        GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 2}, [] {});
        hotKey.install(kSuperShiftV);
        ASSERT_TRUE(hotKey.isRegistered());
        EXPECT_EQ(other.grab(XK_v, Mod4Mask | ShiftMask), 10) << "our grab must be in place";
    }
    EXPECT_EQ(other.grab(XK_v, Mod4Mask | ShiftMask), 0) << "destroying the hot key must release the grab";
}

TEST(X11HotKeyBackend, AutoRepeatPairsAreFilteredOut)
{
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());

    const quint8 keycode = keycodeOf(XK_v);
    ASSERT_NE(keycode, 0);
    const quint16 state = XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT;

    using Kind = X11HotKeyBackend::KeyEventKind;
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Press, keycode, state, 1000));
    // Server auto-repeat: release and press with the same timestamp.
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Release, keycode, state, 1030));
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Press, keycode, state, 1030));
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Release, keycode, state, 1060));
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Press, keycode, state, 1060));
    // Detectable auto-repeat: presses without releases.
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Press, keycode, state, 1090));
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Release, keycode, state, 1500));
    // A real second press.
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Press, keycode, state, 2500));
    EXPECT_TRUE(backend.handleKeyEvent(Kind::Release, keycode, state, 2600));
    // Not ours: different modifiers.
    EXPECT_FALSE(backend.handleKeyEvent(Kind::Press, keycode, XCB_MOD_MASK_SHIFT, 3000));

    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 2);
}

TEST(X11HotKeyBackend, AChordMovesWithItsKeyWhenTheKeyboardMappingChanges)
{
    X11HotKeyBackend backend;
    int runs = 0;
    const HotKeyID id{tolviHotKeySignature(), 1};
    GlobalHotKey hotKey(backend, id, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());

    // Another layout: V and B trade keys.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const KeyCode oldV = XKeysymToKeycode(display, XK_v);
    const KeyCode oldB = XKeysymToKeycode(display, XK_b);
    ASSERT_EQ(backend.grabbedKeycode(id), oldV);
    auto setKey = [&](KeyCode code, KeySym lower, KeySym upper) {
        KeySym symbols[2] = {lower, upper};
        XChangeKeyboardMapping(display, code, 2, symbols, 1);
        XSync(display, False);
    };
    setKey(oldV, XK_b, XK_B);
    setKey(oldB, XK_v, XK_V);
    spinUntil([&] { return backend.grabbedKeycode(id) == oldB; });
    EXPECT_EQ(backend.grabbedKeycode(id), oldB);

    // The chord on the key that now carries V runs the action; the old key no longer does.
    OtherClient other;
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 1; });
    EXPECT_EQ(runs, 1);
    for (KeySym modifier : {XK_Super_L, XK_Shift_L})
        other.key(modifier, true);
    XTestFakeKeyEvent(other.display(), oldV, True, CurrentTime);
    XTestFakeKeyEvent(other.display(), oldV, False, CurrentTime);
    for (KeySym modifier : {XK_Shift_L, XK_Super_L})
        other.key(modifier, false);
    spinFor(200);
    EXPECT_EQ(runs, 1);

    setKey(oldV, XK_v, XK_V);
    setKey(oldB, XK_b, XK_B);
    spinUntil([&] { return backend.grabbedKeycode(id) == oldV; });
    EXPECT_EQ(backend.grabbedKeycode(id), oldV);
    XCloseDisplay(display);
}

TEST(X11HotKeyBackend, APressLongAfterAnUnseenReleaseIsANewPress)
{
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());
    const quint8 keycode = keycodeOf(XK_v);
    ASSERT_NE(keycode, 0);
    const quint16 state = XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT;

    using Kind = X11HotKeyBackend::KeyEventKind;
    // The chord hides the window; under XWayland its release goes to the Wayland window that
    // takes the focus, so the grab never sees it: the server's raw release still comes.
    backend.handleKeyEvent(Kind::Press, keycode, state, 10000);
    backend.handleKeyEvent(Kind::RawRelease, keycode, 0, 10100);
    // Seconds later the user presses the chord again: it opens the window.
    backend.handleKeyEvent(Kind::Press, keycode, state, 13000);
    backend.handleKeyEvent(Kind::Release, keycode, state, 13100);
    backend.handleKeyEvent(Kind::Press, keycode, state, 16000);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 3);

    // Without any release, a press is a repeat however long after the last one it comes.
    backend.handleKeyEvent(Kind::Press, keycode, state, 26000);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 3);
}

TEST(X11HotKeyBackend, TenChordsHalfASecondApartAllCountEvenWhenTheirReleasesGoToAnotherWindow)
{
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());
    EXPECT_TRUE(backend.hasDetectableAutoRepeat());
    EXPECT_TRUE(backend.seesRawReleases());

    // Another program's window has the focus.
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window window = XCreateSimpleWindow(other.display(), DefaultRootWindow(other.display()), 0, 0, 100, 100, 0, 0, 0);
    XSelectInput(other.display(), window, KeyPressMask | KeyReleaseMask);
    XMapWindow(other.display(), window);
    XSync(other.display(), False);
    spinUntil([&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(other.display(), window, &attributes);
        return attributes.map_state == IsViewable;
    });
    XSetInputFocus(other.display(), window, RevertToParent, CurrentTime);
    XSync(other.display(), False);

    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    for (int press = 1; press <= 10; ++press) {
        for (KeySym modifier : {XK_Super_L, XK_Shift_L})
            other.key(modifier, true);
        other.key(XK_v, true);
        spinUntil([&] { return runs == press; });
        ASSERT_EQ(runs, press);
        // The grab ends before the keys come up (as when the focus moves to a Wayland window):
        // the releases go to the focused window, not to us.
        xcb_ungrab_keyboard(x11->connection(), XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));
        other.key(XK_v, false);
        for (KeySym modifier : {XK_Shift_L, XK_Super_L})
            other.key(modifier, false);
        spinFor(500);
    }
    EXPECT_EQ(runs, 10);
    XDestroyWindow(other.display(), window);
}

TEST(X11HotKeyBackend, AChordHeldWhileTheServerRepeatsItCountsOnce)
{
    X11HotKeyBackend backend;
    int runs = 0;
    GlobalHotKey hotKey(backend, {tolviHotKeySignature(), 1}, [&] { ++runs; });
    hotKey.install(kSuperShiftV);
    ASSERT_TRUE(hotKey.isRegistered());

    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    // Repeats come after the server's delay (660 ms unless set otherwise), 25 a second.
    XKeyboardState keyboard{};
    XGetKeyboardControl(other.display(), &keyboard);
    ASSERT_EQ(keyboard.global_auto_repeat, AutoRepeatModeOn);
    for (KeySym modifier : {XK_Super_L, XK_Shift_L})
        other.key(modifier, true);
    other.key(XK_v, true);
    spinFor(1500);
    other.key(XK_v, false);
    for (KeySym modifier : {XK_Shift_L, XK_Super_L})
        other.key(modifier, false);
    spinFor(200);
    EXPECT_EQ(runs, 1);

    // The next press after the release is a new one.
    other.chord({XK_Super_L, XK_Shift_L}, XK_v);
    spinUntil([&] { return runs == 2; });
    EXPECT_EQ(runs, 2);
}
