// Qt's headers come before Xlib's, whose macros (Status, Bool) they would not survive.
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include "X11TestDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace tolvi::test {

X11TestDisplay::X11TestDisplay() : m_display(XOpenDisplay(nullptr))
{
    // Windows come and go while we look at them: a vanished window is not an error here.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

X11TestDisplay::~X11TestDisplay()
{
    if (m_display)
        XCloseDisplay(m_display);
}

long X11TestDisplay::cardinal(Window window, const char* property)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, property, False), 0, 1, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) == Success && data && count == 1)
        value = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return value;
}

QByteArray X11TestDisplay::name(Window window)
{
    char* text = nullptr;
    QByteArray result;
    if (XFetchName(m_display, window, &text) && text)
        result = text;
    if (text)
        XFree(text);
    return result;
}

QByteArray X11TestDisplay::windowClass(Window window)
{
    XClassHint hint{};
    if (!XGetClassHint(m_display, window, &hint))
        return {};
    const QByteArray result = hint.res_class ? QByteArray(hint.res_class) : QByteArray("?");
    XFree(hint.res_name);
    XFree(hint.res_class);
    return result;
}

bool X11TestDisplay::isViewable(Window window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable;
}

QRect X11TestDisplay::geometry(Window window)
{
    XWindowAttributes attributes{};
    XGetWindowAttributes(m_display, window, &attributes);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

X11TestDisplay::Pixels X11TestDisplay::pixels(Window window)
{
    Pixels result;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, window, &attributes) || attributes.width <= 0 || attributes.height <= 0)
        return result;
    XImage* image = XGetImage(m_display, window, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (!image)
        return result;
    result.width = attributes.width;
    result.height = attributes.height;
    result.values.reserve(std::size_t(result.width) * std::size_t(result.height));
    for (int y = 0; y < result.height; ++y) {
        for (int x = 0; x < result.width; ++x)
            result.values.push_back(quint32(XGetPixel(image, x, y) & 0xffffff));
    }
    XDestroyImage(image);
    return result;
}

void X11TestDisplay::forEachWindow(Window window, const std::function<void(Window, Window)>& visit, Window parent)
{
    visit(window, parent);
    Window root, parentOut, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, window, &root, &parentOut, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i)
        forEachWindow(children[i], visit, window);
    if (children)
        XFree(children);
}

std::optional<Window> X11TestDisplay::viewableWindow(qint64 pid, const QByteArray& title)
{
    std::optional<Window> found;
    forEachWindow(DefaultRootWindow(m_display), [&](Window window, Window) {
        if (!found && cardinal(window, "_NET_WM_PID") == pid && (title.isEmpty() || name(window) == title)
            && isViewable(window))
            found = window;
    });
    return found;
}

bool X11TestDisplay::hasInputFocus(qint64 pid, const QByteArray& title)
{
    const std::optional<Window> window = viewableWindow(pid, title);
    if (!window)
        return false;
    Window focused = None;
    int revertTo = 0;
    XGetInputFocus(m_display, &focused, &revertTo);
    // The focus is on the window itself or on a window inside it.
    while (focused != None && focused != PointerRoot) {
        if (focused == *window)
            return true;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, focused, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (parent == root)
            return false;
        focused = parent;
    }
    return false;
}

std::optional<Window> X11TestDisplay::trayIcon(qint64 pid)
{
    const Window owner = XGetSelectionOwner(m_display, XInternAtom(m_display, "_NET_SYSTEM_TRAY_S0", False));
    if (owner == None)
        return std::nullopt;
    const long trayPid = cardinal(owner, "_NET_WM_PID");
    if (trayPid <= 0)
        return std::nullopt;
    const Window icon = embedded(DefaultRootWindow(m_display), pid, trayPid, false);
    if (icon == None)
        return std::nullopt;
    return icon;
}

Window X11TestDisplay::embedded(Window window, qint64 pid, long trayPid, bool insideTray)
{
    const long owner = cardinal(window, "_NET_WM_PID");
    if (insideTray && owner == pid && isViewable(window))
        return window;
    insideTray = insideTray || owner == trayPid;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
        return None;
    Window found = None;
    for (unsigned int i = 0; i < count && found == None; ++i)
        found = embedded(children[i], pid, trayPid, insideTray);
    if (children)
        XFree(children);
    return found;
}

void X11TestDisplay::activate(Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, DefaultRootWindow(m_display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(m_display, False);
}

Window X11TestDisplay::inputFocus()
{
    Window focused = None;
    int revert = 0;
    XGetInputFocus(m_display, &focused, &revert);
    return focused;
}

Window X11TestDisplay::activeWindow()
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    Window active = None;
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False),
                           0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success
        && data && count == 1 && format == 32)
        active = Window(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return active;
}

void X11TestDisplay::focus(Window window)
{
    XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
    XSync(m_display, False);
}

void X11TestDisplay::key(KeySym keysym, bool down)
{
    XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keysym), down, CurrentTime);
    XSync(m_display, False);
}

void X11TestDisplay::tap(KeySym keysym)
{
    key(keysym, true);
    key(keysym, false);
    QThread::msleep(40);
}

void X11TestDisplay::chord(std::initializer_list<KeySym> modifiers, KeySym keysym)
{
    for (KeySym modifier : modifiers)
        key(modifier, true);
    key(keysym, true);
    key(keysym, false);
    for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
        key(*it, false);
}

void X11TestDisplay::movePointer(int x, int y)
{
    XTestFakeMotionEvent(m_display, DefaultScreen(m_display), x, y, CurrentTime);
    XSync(m_display, False);
}

void X11TestDisplay::button(unsigned int button, bool down)
{
    XTestFakeButtonEvent(m_display, button, down, CurrentTime);
    XSync(m_display, False);
}

bool X11TestDisplay::chordTaken(unsigned int modifiers, KeySym keysym)
{
    static int lastError = 0;
    lastError = 0;
    XSync(m_display, False);
    auto* previous = XSetErrorHandler([](Display*, XErrorEvent* event) {
        lastError = event->error_code;
        return 0;
    });
    const KeyCode code = XKeysymToKeycode(m_display, keysym);
    const Window root = DefaultRootWindow(m_display);
    XGrabKey(m_display, code, modifiers, root, True, GrabModeAsync, GrabModeAsync);
    XSync(m_display, False);
    const bool taken = lastError == BadAccess;
    if (!lastError)
        XUngrabKey(m_display, code, modifiers, root);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return taken;
}

bool pollUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

bool copyToClipboard(const QByteArray& text)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")});
    if (!xclip.waitForStarted(eventTimeoutMs))
        return false;
    xclip.write(text);
    xclip.closeWriteChannel();
    return xclip.waitForFinished(eventTimeoutMs);
}

} // namespace tolvi::test
