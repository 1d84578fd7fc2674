// Panels on a real X server with the openbox window manager (see CMakeLists.txt):
// what the window manager makes of the panel's hints, real key presses, and the
// compositor probe with and without a compositor.
#include "Tolvi/design/CompositorProbe.h"
#include "Tolvi/design/Surfaces.h"
#include "EventTimeout.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QProcess>
#include <QShortcut>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using tolvi::test::eventTimeoutMs;

namespace tolvi {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* connection()
{
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t rootWindow()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

xcb_atom_t atom(const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection(), xcb_intern_atom(connection(), 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type)
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection(), xcb_get_property(connection(), 0, window, atom(name), type, 0, 64), nullptr),
        &std::free);
    std::vector<uint32_t> values;
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        values.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    return values;
}

bool hasState(QWidget& window, const char* state)
{
    const auto states = property(xcb_window_t(window.winId()), "_NET_WM_STATE", XCB_ATOM_ATOM);
    return std::find(states.begin(), states.end(), atom(state)) != states.end();
}

// Whether the window is really on screen (the window manager maps and unmaps
// windows when the desktop changes; Qt's own visibility does not follow that).
bool viewable(QWidget& window)
{
    Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(connection(), xcb_get_window_attributes(connection(), xcb_window_t(window.winId())),
                                        nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool hasInputFocus(QWidget& window)
{
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr), &std::free);
    return reply && reply->focus == xcb_window_t(window.winId());
}

// Asks the window manager to switch to another desktop, as a pager does.
void switchToDesktop(uint32_t desktop)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = rootWindow();
    event.type = atom("_NET_CURRENT_DESKTOP");
    event.data.data32[0] = desktop;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection(), 0, rootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection());
}

uint32_t currentDesktop()
{
    const auto value = property(rootWindow(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL);
    return value.empty() ? 0xFFFFFFFFu : value[0];
}

void fakeKey(xcb_keysym_t keysym)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection());
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    xcb_key_symbols_free(symbols);
    ASSERT_NE(codes, nullptr);
    const xcb_keycode_t code = codes[0];
    std::free(codes);
    xcb_test_fake_input(connection(), XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection(), XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection());
}

// The pointer as the user moves it: XTest motion and button events, each a moment apart.
void fakePointerTo(QPoint point)
{
    xcb_test_fake_input(connection(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, rootWindow(), int16_t(point.x()),
                        int16_t(point.y()), 0);
    xcb_flush(connection());
}

void fakeButton(bool down)
{
    xcb_test_fake_input(connection(), down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
    xcb_flush(connection());
}

// A press, a move by `travel` and a release at once: a touchpad's tap, or with some travel, a
// flick, or a program's scripted drag.
void fakeQuickGesture(QPoint at, QPoint travel)
{
    xcb_test_fake_input(connection(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, rootWindow(), int16_t(at.x()),
                        int16_t(at.y()), 0);
    xcb_test_fake_input(connection(), XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    const QPoint to = at + travel;
    xcb_test_fake_input(connection(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, rootWindow(), int16_t(to.x()),
                        int16_t(to.y()), 0);
    xcb_test_fake_input(connection(), XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection());
}

// The window's place on the screen as the X server has it.
QPoint screenPosition(QWidget& window)
{
    Reply<xcb_translate_coordinates_reply_t> reply(
        xcb_translate_coordinates_reply(
            connection(), xcb_translate_coordinates(connection(), xcb_window_t(window.winId()), rootWindow(), 0, 0),
            nullptr),
        &std::free);
    return reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
}

// Lets the program handle what it has been given, then waits until the window manager has
// handled every request and event sent before: it answers a request for a window's frame
// extents in turn with the others.
bool windowManagerCaughtUp()
{
    QCoreApplication::processEvents();
    const xcb_window_t probe = xcb_generate_id(connection());
    xcb_create_window(connection(), XCB_COPY_FROM_PARENT, probe, rootWindow(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = probe;
    event.type = atom("_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(connection(), 0, rootWindow(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection());
    const bool answered =
        QTest::qWaitFor([&] { return !property(probe, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL).empty(); });
    xcb_destroy_window(connection(), probe);
    xcb_flush(connection());
    return answered;
}

// Whether another client (the window manager, during a move) holds the pointer.
bool pointerHeldElsewhere()
{
    Reply<xcb_grab_pointer_reply_t> reply(
        xcb_grab_pointer_reply(connection(),
                               xcb_grab_pointer(connection(), 0, rootWindow(), 0, XCB_GRAB_MODE_ASYNC,
                                                XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                               nullptr),
        &std::free);
    xcb_ungrab_pointer(connection(), XCB_CURRENT_TIME);
    xcb_flush(connection());
    return !reply || reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

// Counts the pointer button releases a window is given.
class ReleaseCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            ++count;
        return false;
    }
};

// A window of another X client, shown and activated as a pager would.
class ForeignWindow {
public:
    ForeignWindow() : m_connection(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 900, 500, 200, 120, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~ForeignWindow() { xcb_disconnect(m_connection); }

    void activate()
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_window;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2;
        xcb_send_event(connection(), 0, rootWindow(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection());
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
};

// The layout inside a window backdrop that fills `panel`, with `margins` around what it holds.
QVBoxLayout* backdropLayoutOf(EscapeClosingPanel& panel, const QMargins& margins)
{
    auto* layout = new QVBoxLayout(&panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new TolviWindowBackdrop(false, &panel);
    layout->addWidget(backdrop);
    auto* backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(margins);
    return backdropLayout;
}

class PanelX11Test : public ::testing::Test {
protected:
    // The window manager may still be starting when the binary does: a window
    // mapped before it took over the screen is never managed. Wait until it
    // announces itself on the root window, and let Qt read what it supports.
    static void SetUpTestSuite()
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        const bool managed = QTest::qWaitFor(
            [] {
                return !property(rootWindow(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).empty()
                    && !property(rootWindow(), "_NET_NUMBER_OF_DESKTOPS", XCB_ATOM_CARDINAL).empty();
            },
            eventTimeoutMs);
        ASSERT_TRUE(managed) << "no window manager on the display";
        QTest::qWait(100);
    }

    void TearDown() override
    {
        if (currentDesktop() != 0) {
            switchToDesktop(0);
            EXPECT_TRUE(QTest::qWaitFor([] { return currentDesktop() == 0; }, eventTimeoutMs));
        }
    }
};

TEST_F(PanelX11Test, PanelStaysOnEveryDesktopAndOffTheTaskbarEachTimeItIsShown)
{
    const auto desktops = property(rootWindow(), "_NET_NUMBER_OF_DESKTOPS", XCB_ATOM_CARDINAL);
    ASSERT_FALSE(desktops.empty());
    ASSERT_GE(desktops[0], 2u) << "the window manager needs a second desktop for this test";

    // An ordinary window shows that switching desktops really hides windows.
    QWidget ordinary;
    ordinary.resize(120, 80);
    ordinary.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ordinary, eventTimeoutMs));

    EscapeClosingPanel panel;
    panel.resize(200, 100);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        panel.makeKeyAndOrderFront();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel, eventTimeoutMs));
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return hasState(panel, "_NET_WM_STATE_SKIP_TASKBAR") && hasState(panel, "_NET_WM_STATE_SKIP_PAGER")
                && hasState(panel, "_NET_WM_STATE_ABOVE")
                && property(xcb_window_t(panel.winId()), "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL)
                       == std::vector<uint32_t>{0xFFFFFFFFu};
        }, eventTimeoutMs));

        switchToDesktop(1);
        ASSERT_TRUE(QTest::qWaitFor([] { return currentDesktop() == 1; }, eventTimeoutMs));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !viewable(ordinary); }, eventTimeoutMs));
        // The window manager keeps it on all desktops (0xFFFFFFFF). Shown again
        // right after it was hidden, the window may briefly have lost that to
        // the withdrawal of its old mapping; the panel asks again.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return viewable(panel)
                && property(xcb_window_t(panel.winId()), "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL)
                       == std::vector<uint32_t>{0xFFFFFFFFu};
        }, eventTimeoutMs));

        switchToDesktop(0);
        ASSERT_TRUE(QTest::qWaitFor([] { return currentDesktop() == 0; }, eventTimeoutMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewable(ordinary); }, eventTimeoutMs));
        // Hidden and at once shown again, as a controller does when it reuses its
        // panel: the window manager withdraws the window while it is mapped anew.
        panel.hide();
    }
}

TEST_F(PanelX11Test, RealKeyboardEscapeReachesTheHandlerAndNotTheShortcut)
{
    EscapeClosingPanel panel;
    auto* layout = new QVBoxLayout(&panel);
    auto* field = new QLineEdit;
    layout->addWidget(field);
    int escapes = 0;
    panel.setEscapeHandler([&] {
        ++escapes;
        panel.hide();
    });
    QList<int> handled;
    panel.setKeyDownHandler([&](QKeyEvent* event) {
        handled.append(event->key());
        return event->key() == Qt::Key_B;
    });
    QShortcut shortcut(QKeySequence(Qt::Key_Escape), &panel);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    panel.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel, eventTimeoutMs));
    // Qt's idea of the active window comes before the server's focus change settles.
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasInputFocus(panel); }, eventTimeoutMs));
    field->setFocus();

    fakeKey(XK_a);
    fakeKey(XK_b);
    fakeKey(XK_c);
    // The handler sees each key once; the one it takes never reaches the field.
    EXPECT_TRUE(QTest::qWaitFor([&] { return field->text() == QStringLiteral("ac"); }, eventTimeoutMs));
    EXPECT_EQ(handled, (QList<int>{Qt::Key_A, Qt::Key_B, Qt::Key_C}));

    fakeKey(XK_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return escapes == 1; }, eventTimeoutMs));
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fired.count(), 0);
    EXPECT_EQ(handled.size(), 3);
}

TEST_F(PanelX11Test, DraggingTheBackgroundMovesThePanelWithoutClosingIt)
{
    EscapeClosingPanel panel;
    QVBoxLayout* backdropLayout = backdropLayoutOf(panel, QMargins(20, 80, 20, 20));
    auto* field = new QLineEdit;
    backdropLayout->addWidget(field);
    auto* emptyList = new QLabel(QStringLiteral("No clipboard history"));
    emptyList->setAlignment(Qt::AlignCenter);
    backdropLayout->addWidget(emptyList, 1);
    panel.resize(360, 260);
    int closed = 0;
    hideWhenDeactivated(&panel, [&] { return panel.isVisible(); }, [&] {
        ++closed;
        panel.hide();
    });
    panel.move(300, 200);
    panel.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasInputFocus(panel); }));
    field->setFocus();
    // The move begins where the pointer has come the drag distance, and the window follows it
    // from there.
    const int dragDistance = QGuiApplication::styleHints()->startDragDistance();
    const int followed = 60 - (dragDistance + 9) / 10 * 10;
    ASSERT_GT(followed, 0);

    // Pressed on the empty band above the field, then beside the empty list's text, and dragged
    // 60 px to the right, slowly, as a hand does: the window manager holds the keyboard for the
    // whole move.
    for (const QPoint& from : {QPoint(180, 30), emptyList->mapTo(&panel, QPoint(20, emptyList->height() / 2))}) {
        SCOPED_TRACE(testing::Message() << "dragged from " << from.x() << "," << from.y());
        const QPoint before = screenPosition(panel);
        const QPoint start = before + from;
        fakePointerTo(start);
        QTest::qWait(100);
        fakeButton(true);
        for (int step = 1; step <= 6; ++step) {
            QTest::qWait(150);
            fakePointerTo(start + QPoint(10 * step, 0));
        }
        QTest::qWait(300);
        fakeButton(false);
        QTest::qWait(800);

        EXPECT_EQ(closed, 0);
        EXPECT_TRUE(panel.isVisible());
        EXPECT_TRUE(viewable(panel));
        EXPECT_TRUE(QTest::qWaitFor([&] { return screenPosition(panel) == before + QPoint(followed, 0); }))
            << "at " << screenPosition(panel).x() << "," << screenPosition(panel).y() << " from " << before.x()
            << "," << before.y();
        // The move ended with the button.
        EXPECT_FALSE(pointerHeldElsewhere());
    }
    // The keyboard is the panel's again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return hasInputFocus(panel); }));
    fakeKey(XK_k);
    EXPECT_TRUE(QTest::qWaitFor([&] { return field->text() == QStringLiteral("k"); }));

    // Going to another program still closes it.
    ForeignWindow other;
    QTest::qWait(200);
    other.activate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed == 1; }));
}

TEST_F(PanelX11Test, TapOrFlickOnTheBackgroundLeavesThePanelWhereItWas)
{
    EscapeClosingPanel panel;
    QVBoxLayout* backdropLayout = backdropLayoutOf(panel, QMargins(20, 20, 20, 20));
    backdropLayout->setSpacing(30);
    auto* header = new QLabel(QStringLiteral("Clipboard"));
    backdropLayout->addWidget(header);
    auto* emptyList = new QLabel(QStringLiteral("No clipboard history"));
    emptyList->setAlignment(Qt::AlignCenter);
    backdropLayout->addWidget(emptyList, 1);
    panel.resize(360, 300);
    panel.move(300, 200);
    panel.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    ReleaseCounter releases;
    panel.windowHandle()->installEventFilter(&releases);
    const QPoint before = screenPosition(panel);

    // A press and release at once, then the pointer goes on its way: on the header, between it
    // and the list, and beside the empty list's text. A flick past the drag distance, over before
    // the panel could ask for a move, moves nothing either.
    const QPoint taps[] = {header->mapTo(&panel, QPoint(header->width() - 10, header->height() / 2)),
                           QPoint(180, header->geometry().bottom() + 15),
                           emptyList->mapTo(&panel, QPoint(20, emptyList->height() / 2))};
    const QPoint flick(QGuiApplication::styleHints()->startDragDistance() + 15, 0);
    for (const QPoint& tap : taps) {
        for (const QPoint& travel : {QPoint(), flick}) {
            SCOPED_TRACE(testing::Message() << "at " << tap.x() << "," << tap.y() << " by " << travel.x());
            const int released = releases.count;
            fakeQuickGesture(before + tap, travel);
            ASSERT_TRUE(QTest::qWaitFor([&] { return releases.count > released; }));
            // Whatever the panel asked of the window manager on the way is done before the pointer moves.
            ASSERT_TRUE(windowManagerCaughtUp());
            for (int step = 1; step <= 5; ++step)
                fakePointerTo(before + tap + QPoint(40 * step, 30 * step));
            ASSERT_TRUE(windowManagerCaughtUp());
            ASSERT_EQ(screenPosition(panel), before);
            ASSERT_FALSE(pointerHeldElsewhere());
        }
    }
    EXPECT_TRUE(panel.isVisible());
}

TEST_F(PanelX11Test, QuestionAnsweredFromTheKeyboardHandsTheKeyboardBackToItsPanel)
{
    EscapeClosingPanel panel;
    auto* layout = new QVBoxLayout(&panel);
    auto* editor = new QLineEdit;
    layout->addWidget(editor);
    int escapes = 0;
    panel.setEscapeHandler([&] { ++escapes; });
    int closed = 0;
    hideWhenDeactivated(&panel, [&] { return panel.isVisible(); }, [&] {
        ++closed;
        panel.hide();
    });
    panel.resize(360, 200);
    panel.makeKeyAndOrderFront();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasInputFocus(panel); }));
    editor->setFocus();

    for (const bool byEscape : {true, false}) {
        SCOPED_TRACE(byEscape ? "Escape" : "Return");
        auto* box = new QMessageBox(&panel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setText(QStringLiteral("Discard unsaved changes?"));
        box->addButton(QStringLiteral("Discard Changes"), QMessageBox::ActionRole);
        QPushButton* keep = box->addButton(QStringLiteral("Keep Editing"), QMessageBox::ActionRole);
        box->setDefaultButton(keep);
        box->setEscapeButton(keep);
        QPointer<QMessageBox> question(box);
        box->open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return question && hasInputFocus(*question); }));

        // "Keep Editing", by its key.
        fakeKey(byEscape ? XK_Escape : XK_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !question || !question->isVisible(); }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return hasInputFocus(panel); }));
        // The server's focus comes first; Qt hears of it a moment later.
        EXPECT_TRUE(QTest::qWaitFor([&] { return panel.isActiveWindow(); }));
        EXPECT_TRUE(editor->hasFocus());
    }

    // Typed keys reach the editor, and Escape the panel.
    fakeKey(XK_x);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor->text() == QStringLiteral("x"); }));
    fakeKey(XK_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return escapes == 1; }));
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(panel.isVisible());
}

TEST_F(PanelX11Test, TranslucencyFollowsWhetherACompositorRuns)
{
    EXPECT_FALSE(CompositorProbe::translucencyAvailable());
    {
        TolviTheme theme;
        EXPECT_FALSE(theme.translucencyAvailable());
        EscapeClosingPanel panel;
        tolviConsoleAppearance(&panel, &theme);
        EXPECT_FALSE(panel.testAttribute(Qt::WA_TranslucentBackground));
    }

    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), {});
    ASSERT_TRUE(compositor.waitForStarted(eventTimeoutMs))
        << "the compositor xcompmgr did not start (package xcompmgr, scripts/install-deps.sh): "
        << compositor.errorString().toStdString();
    const bool running = QTest::qWaitFor([] { return CompositorProbe::translucencyAvailable(); }, eventTimeoutMs);
    {
        TolviTheme theme;
        EscapeClosingPanel panel;
        tolviConsoleAppearance(&panel, &theme);
        EXPECT_TRUE(running);
        EXPECT_TRUE(theme.translucencyAvailable());
        EXPECT_TRUE(panel.testAttribute(Qt::WA_TranslucentBackground));
    }
    compositor.terminate();
    ASSERT_TRUE(compositor.waitForFinished(eventTimeoutMs));
    EXPECT_TRUE(QTest::qWaitFor([] { return !CompositorProbe::translucencyAvailable(); }, eventTimeoutMs));
}

} // namespace
} // namespace tolvi
