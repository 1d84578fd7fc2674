#pragma once
// The X server as the tests that drive real programs see it: windows found by process and title,
// their properties, places and pixels, the system tray, and XTest key presses and pointer moves.
#include "EventTimeout.h"

#include <QByteArray>
#include <QRect>

#include <X11/Xlib.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

namespace tolvi::test {

class X11TestDisplay {
public:
    X11TestDisplay();
    ~X11TestDisplay();
    X11TestDisplay(const X11TestDisplay&) = delete;
    X11TestDisplay& operator=(const X11TestDisplay&) = delete;

    // Null when no X server answers at DISPLAY.
    Display* display() const { return m_display; }

    // A CARDINAL property of the window (such as "_NET_WM_PID"); -1 when it has none.
    long cardinal(Window window, const char* property);
    // The window's title (WM_NAME).
    QByteArray name(Window window);
    // The class of its WM_CLASS; empty when it has none.
    QByteArray windowClass(Window window);
    bool isViewable(Window window);
    // The window's rectangle on the root window.
    QRect geometry(Window window);
    // What a viewable window shows, as 0xRRGGBB values row by row (24-bit true colour, as
    // with-x11's server has it); empty when it could not be read.
    struct Pixels {
        int width = 0;
        int height = 0;
        std::vector<quint32> values;
        quint32 at(int x, int y) const { return values[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    };
    Pixels pixels(Window window);

    // Visits the window and every window below it, each with its parent.
    void forEachWindow(Window window, const std::function<void(Window, Window)>& visit, Window parent = None);
    // The first viewable window of the process with this title; with an empty title, any.
    std::optional<Window> viewableWindow(qint64 pid, const QByteArray& title = {});
    bool hasViewableWindow(qint64 pid, const QByteArray& title) { return viewableWindow(pid, title).has_value(); }
    // A viewable window of the process embedded in a window of the system tray's process.
    bool hasIconInTray(qint64 pid) { return trayIcon(pid).has_value(); }
    // The process's viewable window embedded in the system tray.
    std::optional<Window> trayIcon(qint64 pid);
    // Whether the keyboard focus is in the process's viewable window with this title: keys sent
    // from then on reach it, in order after the focus change.
    bool hasInputFocus(qint64 pid, const QByteArray& title);

    // Asks the window manager to activate the window, as a pager would.
    void activate(Window window);
    // Gives the window the keyboard focus directly.
    void focus(Window window);
    // The window that has the keyboard focus (None, PointerRoot or a window).
    Window inputFocus();
    // The window the window manager has made active (_NET_ACTIVE_WINDOW); None when there is none.
    Window activeWindow();

    void key(KeySym keysym, bool down);
    // Presses and releases the key, then lets the program in front take it.
    void tap(KeySym keysym);
    void chord(std::initializer_list<KeySym> modifiers, KeySym keysym);
    void movePointer(int x, int y);
    // Presses or releases a pointer button (1 is the left one) where the pointer is.
    void button(unsigned int button, bool down);
    // Whether another client holds this chord: our own grab of it is refused with BadAccess.
    bool chordTaken(unsigned int modifiers, KeySym keysym);

private:
    Window embedded(Window window, qint64 pid, long trayPid, bool insideTray);

    Display* m_display;
};

// Polls every 50 ms until `done` holds or `ms` have passed; whether it held. No events are
// processed: the tests using it look at other processes.
bool pollUntil(const std::function<bool()>& done, int ms = eventTimeoutMs);

// Puts the text on the clipboard with xclip; whether xclip took it.
bool copyToClipboard(const QByteArray& text);

} // namespace tolvi::test
