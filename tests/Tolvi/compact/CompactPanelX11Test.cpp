// The real program under Xvfb with openbox and a tray: the compact hot key opens the panel
// under the pointer, typing filters it, and Return on the clip and on its Paste action pastes
// into another program, driven with XTest key presses as a user would.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "PeerProcess.h"

#include <functional>
#include <optional>

#include <csignal>
#include <sys/stat.h>

namespace {

class X11 {
public:
    X11() : m_display(XOpenDisplay(nullptr))
    {
        // Windows come and go while we look at them: a vanished window is not an error here.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~X11()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }

    long cardinal(Window window, const char* property)
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        long value = -1;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, property, False), 0, 1, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data) == Success && data && count == 1)
            value = *reinterpret_cast<long*>(data);
        if (data)
            XFree(data);
        return value;
    }

    QByteArray name(Window window)
    {
        char* text = nullptr;
        QByteArray result;
        if (XFetchName(m_display, window, &text) && text)
            result = text;
        if (text)
            XFree(text);
        return result;
    }

    void forEachWindow(Window window, const std::function<void(Window)>& visit)
    {
        visit(window);
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
            return;
        for (unsigned int i = 0; i < count; ++i)
            forEachWindow(children[i], visit);
        if (children)
            XFree(children);
    }

    // A viewable window of the process with this title.
    std::optional<Window> viewableWindow(qint64 pid, const QByteArray& title)
    {
        std::optional<Window> found;
        forEachWindow(DefaultRootWindow(m_display), [&](Window window) {
            XWindowAttributes attributes{};
            if (!found && cardinal(window, "_NET_WM_PID") == pid && name(window) == title
                && XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable)
                found = window;
        });
        return found;
    }

    // The window's rectangle on the root window.
    QRect geometry(Window window)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_display, window, &attributes);
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

    bool hasIconInTray(qint64 pid)
    {
        const Window owner = XGetSelectionOwner(m_display, XInternAtom(m_display, "_NET_SYSTEM_TRAY_S0", False));
        if (owner == None)
            return false;
        bool found = false;
        forEachWindow(DefaultRootWindow(m_display), [&](Window window) {
            XWindowAttributes attributes{};
            Window root, parent, *children = nullptr;
            unsigned int count = 0;
            if (found || cardinal(window, "_NET_WM_PID") != pid || !XGetWindowAttributes(m_display, window, &attributes)
                || attributes.map_state != IsViewable || !XQueryTree(m_display, window, &root, &parent, &children, &count))
                return;
            if (children)
                XFree(children);
            // Embedded: its parent is not the root (nor a frame of the window manager's own).
            found = parent != root && cardinal(parent, "_NET_WM_PID") != pid && name(window).isEmpty() == false;
        });
        return found;
    }

    void key(KeySym keysym, bool down)
    {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, keysym), down, CurrentTime);
        XSync(m_display, False);
    }

    void tap(KeySym keysym)
    {
        key(keysym, true);
        key(keysym, false);
        QThread::msleep(40);
    }

    void chord(std::initializer_list<KeySym> modifiers, KeySym keysym)
    {
        for (KeySym modifier : modifiers)
            key(modifier, true);
        key(keysym, true);
        key(keysym, false);
        for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it)
            key(*it, false);
    }

    void movePointer(int x, int y)
    {
        XTestFakeMotionEvent(m_display, DefaultScreen(m_display), x, y, CurrentTime);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

bool waitUntil(const std::function<bool()>& done, int ms = 8000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

struct RunningApp {
    QTemporaryDir home;
    QProcess process;

    // In a home of its own, or in `at` (the home of an earlier run).
    void start(const QString& at = QString())
    {
        const QDir homeDir(at.isEmpty() ? home.path() : at);
        root = homeDir.path();
        homeDir.mkpath("runtime");
        QFile::setPermissions(homeDir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", homeDir.path());
        env.insert("XDG_DATA_HOME", homeDir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", homeDir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", homeDir.filePath("runtime"));
        env.insert("QT_LOGGING_RULES", "tolvi.*=true");
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(TOLVI_APP_PATH, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    QByteArray output()
    {
        process.waitForReadyRead(10);
        m_output += process.readAll();
        return m_output;
    }

    ~RunningApp()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    QString root;
    QByteArray m_output;
};

void copyToClipboard(const QByteArray& text)
{
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard"});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write(text);
    xclip.closeWriteChannel();
    ASSERT_TRUE(xclip.waitForFinished(5000));
}

// The program started (its hot keys in place, which the tray icon shows, and the first window
// of start-up come and gone), the peer program in front, and `clips` copied and recorded.
void startWithPeerAndClips(X11& x, RunningApp& app, tolvi::test::PeerProcess& peer,
                           std::initializer_list<QByteArray> clips)
{
    app.start();
    const qint64 pid = app.process.processId();
    ASSERT_TRUE(waitUntil([&] { return x.hasIconInTray(pid); }, 15000)) << app.output().constData();
    QThread::msleep(1500);
    ASSERT_TRUE(peer.start());
    ASSERT_TRUE(peer.showWindow().has_value());
    ASSERT_TRUE(peer.command("activate", "ok activate").has_value());
    // A copy made while the program in front changes is skipped: let the capture see it settle.
    QThread::msleep(1200);
    int recorded = 0;
    for (const QByteArray& clip : clips) {
        copyToClipboard(clip);
        ++recorded;
        ASSERT_TRUE(waitUntil([&] { return app.output().count("Tolvi recorded clipboard item") == recorded; }))
            << app.output().constData();
    }
}

} // namespace

TEST(CompactPanelX11, HotKeyOpensUnderThePointerTypingFiltersAndReturnPastesIntoAnotherProgram)
{
    X11 x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"paste me into the peer", "another clip, newer"}));
    const qint64 pid = app.process.processId();

    // Super+Shift+V with the pointer at (300, 250): the panel opens centred under it, its top
    // edge 18 pixels below it.
    x.movePointer(300, 250);
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    std::optional<Window> panel;
    ASSERT_TRUE(waitUntil([&] { return (panel = x.viewableWindow(pid, "Tolvi Compact")).has_value(); }))
        << app.output().constData();
    QThread::msleep(400);
    const QRect frame = x.geometry(*panel);
    EXPECT_EQ(frame.width(), 520);
    EXPECT_NEAR(frame.center().x(), 300, 2);
    EXPECT_NEAR(frame.top(), 250 + 18, 2);

    // Typing filters to the older clip; Return opens its actions, Down goes from the
    // recommended actions to Paste, and Return pastes it where we came from.
    for (const KeySym key : {XK_p, XK_a, XK_s, XK_t, XK_e})
        x.tap(key);
    QThread::msleep(300);
    x.tap(XK_Return);
    QThread::msleep(300);
    for (int i = 0; i < 3; ++i)
        x.tap(XK_Down);
    x.tap(XK_Return);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("paste me into the peer"); },
                                 10000))
        << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    EXPECT_TRUE(waitUntil([&] { return !x.viewableWindow(pid, "Tolvi Compact"); }));
}

TEST(CompactPanelX11, TextTypedInTheEditorSurvivesSigtermAndComesBackAtTheNextStart)
{
    X11 x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    tolvi::test::PeerProcess peer;
    ASSERT_NO_FATAL_FAILURE(startWithPeerAndClips(x, app, peer, {"draft base"}));
    const qint64 pid = app.process.processId();

    // The compact panel's editor on the clip, with a few words typed and not saved.
    x.movePointer(300, 250);
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    ASSERT_TRUE(waitUntil([&] { return x.viewableWindow(pid, "Tolvi Compact").has_value(); }))
        << app.output().constData();
    QThread::msleep(400);
    x.chord({XK_Control_L}, XK_e);
    QThread::msleep(400);
    for (const KeySym key : {XK_space, XK_k, XK_e, XK_p, XK_t})
        x.tap(key);
    QThread::msleep(300);

    // SIGTERM: the program ends at once, the typed text in a file only its user can read.
    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    ASSERT_TRUE(app.process.waitForFinished(10000));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    const QString draftFile = app.root + "/data/Tolvi/unsaved-drafts.json";
    QFile file(draftFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << app.output().constData();
    EXPECT_TRUE(file.readAll().contains("draft base kept"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(draftFile).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The next start hands it back to the editor: opened again, Control+Return pastes it.
    RunningApp next;
    next.start(app.root);
    const qint64 nextPid = next.process.processId();
    ASSERT_TRUE(waitUntil([&] { return x.hasIconInTray(nextPid); }, 15000)) << next.output().constData();
    ASSERT_TRUE(waitUntil([&] { return next.output().contains("Tolvi offers unsaved text kept at the last end"); }))
        << next.output().constData();
    QThread::msleep(1500);
    ASSERT_TRUE(peer.command("activate", "ok activate").has_value());
    QThread::msleep(600);
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    ASSERT_TRUE(waitUntil([&] { return x.viewableWindow(nextPid, "Tolvi Compact").has_value(); }))
        << next.output().constData();
    QThread::msleep(400);
    x.chord({XK_Control_L}, XK_Return);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("draft base kept"); }, 10000))
        << "peer has: " << peer.lastText().toStdString() << "\n" << next.output().constData();
}
