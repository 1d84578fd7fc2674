#include "Tolvi/platform/x11/X11Desktop.h"

#include "Tolvi/platform/x11/X11Connection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tolvi {

namespace {

constexpr std::uint32_t keysymControlL = 0xffe3;
constexpr std::uint32_t keysymControlR = 0xffe4;
constexpr std::uint32_t keysymV = 0x0076;
constexpr int maximumWindows = 512;

std::optional<xcb_keycode_t> keycodeFor(xcb_key_symbols_t* symbols, std::uint32_t keysym)
{
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!codes)
        return std::nullopt;
    std::optional<xcb_keycode_t> result;
    if (codes[0] != XCB_NO_SYMBOL)
        result = codes[0];
    std::free(codes);
    return result;
}

} // namespace

X11Desktop::X11Desktop(DesktopEntries entries) : X11Workspace(std::move(entries)) {}

X11Desktop::~X11Desktop() = default;

std::uint32_t X11Desktop::frontWindow()
{
    if (!connection())
        return 0;
    if (const std::uint32_t active = activeWindow())
        return active;
    // With a window manager, no active window means none is in front: the focus then rests on
    // some window of the manager's own (KWin's XWayland does this while a Wayland window is
    // active), which belongs to no program the user works in.
    if (hasWindowManager())
        return 0;
    xcb_get_input_focus_reply_t* focus =
        xcb_get_input_focus_reply(connection()->raw(), xcb_get_input_focus(connection()->raw()), nullptr);
    if (!focus)
        return 0;
    const std::uint32_t window = focus->focus;
    std::free(focus);
    return window > XCB_INPUT_FOCUS_POINTER_ROOT && window != connection()->root() ? window : 0;
}

std::optional<qint64> X11Desktop::frontmostPID()
{
    if (!connection())
        return std::nullopt;
    if (const std::uint32_t active = activeWindow())
        return processOfWindow(active);
    if (hasWindowManager())
        return std::nullopt;
    // Without a window manager: the focused window, or the top-level it belongs to.
    std::uint32_t window = frontWindow();
    for (int depth = 0; depth < 16 && window && window != connection()->root(); ++depth) {
        if (std::optional<qint64> pid = processOfWindow(window))
            return pid;
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection()->raw(), xcb_query_tree(connection()->raw(), window), nullptr);
        if (!tree)
            return std::nullopt;
        window = tree->parent;
        std::free(tree);
    }
    return std::nullopt;
}

bool X11Desktop::hasWindowManager()
{
    return connection() && connection()->value32(connection()->root(), "_NET_SUPPORTING_WM_CHECK").value_or(0) != 0;
}

bool X11Desktop::frontmostIsUnidentified()
{
    return frontWindow() != 0 && !frontmostPID();
}

bool X11Desktop::isRunning(qint64 pid)
{
    // _NET_WM_PID is whatever a client wrote: a value beyond pid_t would wrap to a negative
    // number, which kill() reads as a process group (-1: every process we may signal).
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    // A process that ended but was not reaped yet is no longer running.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close >= 0 && close + 2 < line.size() && (line.at(close + 2) == 'Z' || line.at(close + 2) == 'X'))
            return false;
    }
    return true;
}

QList<std::uint32_t> X11Desktop::windowsOfProcess(qint64 pid)
{
    QList<std::uint32_t> result;
    if (!connection())
        return result;
    QList<std::uint32_t> clients = connection()->values32(connection()->root(), "_NET_CLIENT_LIST_STACKING");
    if (clients.isEmpty())
        clients = connection()->values32(connection()->root(), "_NET_CLIENT_LIST");
    if (clients.isEmpty()) {
        // No window manager: the root's children.
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(
            connection()->raw(), xcb_query_tree(connection()->raw(), connection()->root()), nullptr);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
                clients.append(children[i]);
            std::free(tree);
        }
    }
    for (qsizetype i = 0; i < clients.size() && i < maximumWindows; ++i) {
        if (processOfWindow(clients.at(i)) == pid)
            result.append(clients.at(i));
    }
    return result;
}

bool X11Desktop::activate(qint64 pid)
{
    if (!connection() || !isRunning(pid))
        return false;
    const QList<std::uint32_t> windows = windowsOfProcess(pid);
    if (windows.isEmpty())
        return false;
    const std::uint32_t target = windows.constLast();
    xcb_connection_t* c = connection()->raw();
    if (hasWindowManager()) {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = target;
        event.type = connection()->atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2; // from a pager: never refused as focus stealing
        event.data.data32[1] = XCB_CURRENT_TIME;
        event.data.data32[2] = activeWindow();
        xcb_send_event(c, 0, connection()->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, target, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, target, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
    return true;
}

bool X11Desktop::canSendKeystrokes()
{
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    return hasXTest();
}

bool X11Desktop::hasXTest()
{
    if (!connection() || connection()->hasError())
        return false;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection()->raw(), &xcb_test_id);
    return xtest && xtest->present;
}

bool X11Desktop::keyboardFocusBelongsTo(qint64 pid)
{
    if (!connection() || pid <= 0)
        return false;
    xcb_connection_t* c = connection()->raw();
    xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!focus)
        return false;
    std::uint32_t window = focus->focus;
    std::free(focus);
    if (window <= XCB_INPUT_FOCUS_POINTER_ROOT)
        return false;
    // The focus may sit on a child of the program's top-level (or on a window embedded in it);
    // the window manager's frame and the root belong to no program.
    for (int depth = 0; depth < 32 && window && window != connection()->root(); ++depth) {
        if (processOfWindow(window) == pid)
            return true;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree)
            return false;
        window = tree->parent;
        std::free(tree);
    }
    return false;
}

bool X11Desktop::pasteInto(qint64 pid)
{
    if (!connection())
        return false;
    xcb_connection_t* c = connection()->raw();
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!symbols)
        return false;
    std::optional<xcb_keycode_t> control = keycodeFor(symbols, keysymControlL);
    if (!control)
        control = keycodeFor(symbols, keysymControlR);
    const std::optional<xcb_keycode_t> v = keycodeFor(symbols, keysymV);
    xcb_key_symbols_free(symbols);
    if (!control || !v)
        return false;

    // While the server is held it serves this connection only: the focus seen here is the
    // focus the keystroke meets.
    xcb_grab_server(c);
    const bool focused = keyboardFocusBelongsTo(pid);
    if (focused) {
        // Release every modifier key that is down now.
        xcb_query_keymap_reply_t* keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        xcb_get_modifier_mapping_reply_t* modifiers =
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
        if (keymap && modifiers) {
            const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers);
            const int count = xcb_get_modifier_mapping_keycodes_length(modifiers);
            for (int i = 0; i < count; ++i) {
                const xcb_keycode_t code = codes[i];
                if (code && (keymap->keys[code / 8] & (1 << (code % 8))))
                    xcb_test_fake_input(c, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            }
        }
        std::free(keymap);
        std::free(modifiers);

        xcb_test_fake_input(c, XCB_KEY_PRESS, *control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_KEY_PRESS, *v, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_KEY_RELEASE, *v, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_KEY_RELEASE, *control, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        // A round trip before letting go: the server has delivered the keystroke once it answers.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    xcb_ungrab_server(c);
    xcb_flush(c);
    return focused;
}

bool X11Desktop::isViewable(std::uint32_t window)
{
    if (!connection() || !window)
        return false;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection()->raw(), xcb_get_window_attributes(connection()->raw(), window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
}

bool X11Desktop::isModalWindow(std::uint32_t window)
{
    const std::uint32_t modal = connection()->atom("_NET_WM_STATE_MODAL");
    return connection()->values32(window, "_NET_WM_STATE").contains(modal);
}

bool X11Desktop::isDialogWindow(std::uint32_t window)
{
    if (isModalWindow(window))
        return true;
    const std::uint32_t dialog = connection()->atom("_NET_WM_WINDOW_TYPE_DIALOG");
    if (connection()->values32(window, "_NET_WM_WINDOW_TYPE").contains(dialog))
        return true;
    const std::optional<std::uint32_t> transientFor = connection()->value32(window, "WM_TRANSIENT_FOR");
    return transientFor && *transientFor != 0;
}

bool X11Desktop::hasBlockingDialog(qint64 pid, std::chrono::milliseconds budget)
{
    if (!connection())
        return false;
    QDeadlineTimer deadline(budget);
    const std::uint32_t active = activeWindow();
    if (active && processOfWindow(active) == pid && isDialogWindow(active))
        return true;
    if (deadline.hasExpired())
        return false;
    QList<std::uint32_t> clients = connection()->values32(connection()->root(), "_NET_CLIENT_LIST");
    for (qsizetype i = 0; i < clients.size() && i < maximumWindows; ++i) {
        if (deadline.hasExpired())
            return false;
        if (processOfWindow(clients.at(i)) == pid && isModalWindow(clients.at(i)))
            return true;
    }
    return false;
}

std::optional<QString> X11Desktop::describe(std::optional<qint64> pid)
{
    if (!pid)
        return std::nullopt;
    const QString tail = QStringLiteral("(PID %1)").arg(*pid);
    if (!isRunning(*pid))
        return QStringLiteral("Unavailable process ") + tail;
    QString name;
    std::optional<QString> identifier;
    const QList<std::uint32_t> windows = windowsOfProcess(*pid);
    if (!windows.isEmpty()) {
        const RunningApplication application = applicationOfWindow(windows.constLast());
        name = application.name;
        identifier = application.identifier;
    }
    if (name.isEmpty())
        name = QStringLiteral("Unknown app");
    return name + QStringLiteral(" [") + identifier.value_or(QStringLiteral("no bundle identifier")) +
           QStringLiteral("] ") + tail;
}

X11ActivationWatcher::X11ActivationWatcher(QObject* parent) : QObject(parent), connection_(X11Connection::open())
{
    if (!connection_)
        return;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_->raw(), connection_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_->raw());
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_->raw()), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &X11ActivationWatcher::readEvents);
    const std::uint32_t active = connection_->value32(connection_->root(), "_NET_ACTIVE_WINDOW").value_or(0);
    lastPid_ = X11Workspace::processOfWindow(*connection_, active);
    if (active) {
        const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_->raw(), active, XCB_CW_EVENT_MASK, &structure);
        xcb_flush(connection_->raw());
        watchedWindow_ = active;
    }
}

X11ActivationWatcher::~X11ActivationWatcher() = default;

void X11ActivationWatcher::readEvents()
{
    const std::uint32_t activeAtom = connection_->atom("_NET_ACTIVE_WINDOW");
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->raw())) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (notify->window == connection_->root() && notify->atom == activeAtom)
                changed = true;
        } else if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
            if (watchedWindow_ && notify->window == watchedWindow_) {
                watchedWindow_ = 0;
                changed = true;
            }
        }
        std::free(event);
    }
    if (changed) {
        emit frontWindowChanged();
        activeWindowChanged();
    }
}

void X11ActivationWatcher::activeWindowChanged()
{
    const std::uint32_t window = connection_->value32(connection_->root(), "_NET_ACTIVE_WINDOW").value_or(0);
    if (window != watchedWindow_) {
        const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (watchedWindow_)
            xcb_change_window_attributes(connection_->raw(), watchedWindow_, XCB_CW_EVENT_MASK, &none);
        watchedWindow_ = window;
        if (window)
            xcb_change_window_attributes(connection_->raw(), window, XCB_CW_EVENT_MASK, &structure);
        xcb_flush(connection_->raw());
    }
    const std::optional<qint64> pid = X11Workspace::processOfWindow(*connection_, window);
    // The property reads above may have queued further events: look at them next time round.
    QMetaObject::invokeMethod(this, &X11ActivationWatcher::readEvents, Qt::QueuedConnection);
    if (!pid || pid == lastPid_)
        return;
    lastPid_ = pid;
    emit applicationActivated(*pid);
}

} // namespace tolvi
