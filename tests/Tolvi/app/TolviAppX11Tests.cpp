// The real program under Xvfb with openbox and a tray: started as a separate process with a
// private home folder, driven with XTest key presses and the clipboard, as a user would.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include "PeerProcess.h"
#include "RunningTolvi.h"
#include "SilentListener.h"
#include "X11TestDisplay.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <optional>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using tolvi::test::copyToClipboard;
using tolvi::test::eventTimeoutMs;
using tolvi::test::pollUntil;
using tolvi::test::RunningApp;
using tolvi::test::silentListener;
using tolvi::test::X11TestDisplay;

namespace {

// Start-up is over once the first window is due: on a first start that is the onboarding tour.
// Escape closes it (recording nothing), so the test goes on from a quiet desktop. The window
// manager may map the tour without handing it the keyboard (right after an earlier test's
// program went away, the focus can stay elsewhere): the tour is asked for as a pager would
// before each Escape.
bool closeTourOnceShown(X11TestDisplay& x, RunningApp& app)
{
    const qint64 pid = app.process.processId();
    Window tour = None;
    auto findTour = [&] {
        tour = x.viewableWindow(pid, "Tolvi Setup").value_or(None);
        return tour != None;
    };
    if (!pollUntil(findTour))
        return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        x.activate(tour);
        QThread::msleep(200);
        x.key(XK_Escape, true);
        x.key(XK_Escape, false);
        if (pollUntil([&] { return !findTour(); }, 1500))
            return true;
    }
    return false;
}

// Starts the program once an earlier test's program has let go of the history chord, and closes
// its tour.
bool startPastTheTour(X11TestDisplay& x, RunningApp& app)
{
    if (!pollUntil([&] { return !x.chordTaken(ControlMask | Mod1Mask, XK_v); }))
        return false;
    app.start();
    return app.process.state() == QProcess::Running && closeTourOnceShown(x, app);
}

} // namespace

TEST(TolviApp, TrayHotKeySecondLaunchAndFlushOnSigterm)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    app.start();
    const qint64 pid = app.process.processId();

    EXPECT_TRUE(pollUntil([&] { return x.hasIconInTray(pid); })) << app.output().constData();

    // The history hot key (Ctrl+Alt+V by default) shows the history window, and hides it again.
    EXPECT_TRUE(closeTourOnceShown(x, app));
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi"); })) << app.output().constData();
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));
    // And again: the press that hid the window (while it had the focus) must not leave the key
    // looking held, which would swallow this one as a repeat.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi"); }));
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));

    // Launching Tolvi again hands over to the running one, which shows its history window.
    ASSERT_EQ(app.launch({}), 0);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi"); }));
    x.key(XK_Escape, true);
    x.key(XK_Escape, false);

    // A copy made in another program is captured, and SIGTERM writes the history before exiting.
    ASSERT_TRUE(copyToClipboard("captured before shutdown"));
    EXPECT_TRUE(pollUntil([&] { return app.output().contains("Tolvi recorded clipboard item"); }))
        << app.output().constData();
    app.process.terminate();
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    QFile history(app.home.filePath("data/Tolvi/history.json"));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly)) << app.output().constData();
    EXPECT_TRUE(history.readAll().contains("captured before shutdown"));
}

TEST(TolviApp, HistoryHotKeyFilterAndReturnPastesIntoAnotherProgram)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    ASSERT_TRUE(startPastTheTour(x, app)) << app.output().constData();
    const qint64 pid = app.process.processId();

    tolvi::test::PeerProcess peer;
    ASSERT_TRUE(peer.start());
    ASSERT_TRUE(peer.showWindow().has_value());
    // A copy made while the app in front changes is skipped: let the capture see it settle.
    QThread::msleep(1200);

    // The window hides as soon as another program becomes active.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi"); })) << app.output().constData();
    ASSERT_TRUE(peer.command("activate", "ok activate").has_value());
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); })) << app.output().constData();
    QThread::msleep(1200);

    // Two copies made elsewhere while the other program is in front.
    ASSERT_TRUE(copyToClipboard("paste me into the peer"));
    ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == 1; }))
        << app.output().constData();
    ASSERT_TRUE(copyToClipboard("another clip, newer"));
    ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == 2; }))
        << app.output().constData();

    // The hot key opens the history window with the search field focused; typing filters the
    // list to the older clip, Tab moves to the list and Return pastes it where we came from.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi"); })) << app.output().constData();
    for (const KeySym key : {XK_p, XK_a, XK_s, XK_t, XK_e}) {
        x.key(key, true);
        x.key(key, false);
    }
    QThread::msleep(300);
    x.key(XK_Tab, true);
    x.key(XK_Tab, false);
    QThread::msleep(200);
    x.key(XK_Return, true);
    x.key(XK_Return, false);
    EXPECT_TRUE(peer.waitForText([](const QString& text) { return text == QStringLiteral("paste me into the peer"); },
                                 eventTimeoutMs))
        << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));
}

TEST(TolviApp, ControlCommaOpensSettingsFromAnyWindow)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    ASSERT_TRUE(startPastTheTour(x, app)) << app.output().constData();
    const qint64 pid = app.process.processId();

    // From the history window, whose search field has the keyboard.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi"); })) << app.output().constData();
    x.chord({XK_Control_L}, XK_comma);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi Settings"); })) << app.output().constData();
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));

    // Pressed again in Settings it leaves Settings open.
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi Settings"); })) << app.output().constData();
    x.chord({XK_Control_L}, XK_comma);
    QThread::msleep(500);
    EXPECT_TRUE(x.hasViewableWindow(pid, "Tolvi Settings"));
}

TEST(TolviApp, ChordHeldByAnotherProgramIsReported)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    // The server lets go of an earlier test's program's grabs only once it has seen it close.
    ASSERT_TRUE(pollUntil([&] { return !x.chordTaken(Mod4Mask | ShiftMask, XK_v); }));
    // Another program holds Ctrl+Alt+V (with and without Num Lock) before Tolvi starts.
    const KeyCode v = XKeysymToKeycode(x.display(), XK_v);
    for (const unsigned int extra : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(x.display(), v, ControlMask | Mod1Mask | extra, DefaultRootWindow(x.display()), True, GrabModeAsync,
                 GrabModeAsync);
    XSync(x.display(), False);

    RunningApp app;
    app.start();
    EXPECT_TRUE(pollUntil([&] { return app.output().contains("Tolvi failed to register global hotkey: 10"); }))
        << app.output().constData();
    // The compact hot key (Super+Shift+V) still works: its window appears.
    // Start-up (hot keys included) is over once the first window is due. Probing the chord with a
    // grab of our own here would race the program's registration.
    ASSERT_TRUE(closeTourOnceShown(x, app))
        << app.output().constData();
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(app.process.processId(), "Tolvi Compact"); }))
        << app.output().constData();
}

namespace {


mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString plantLeftover(const QString& folder)
{
    const QString path = folder + QStringLiteral("/.tolvi-private-")
                         + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".tmp");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("clips of a save that was killed");
    return path;
}

} // namespace

// Two programs never share one history: a second one that cannot reach the first (its socket is
// held by something that never answers) says so and quits without touching the history. The one
// that holds the history tidies what killed saves left, and creates its settings privately
// whatever the umask.
// Presses Return in the first window the process shows; whether one came.
bool answerDialogOf(X11TestDisplay& x, qint64 pid)
{
    std::optional<Window> dialog;
    if (!pollUntil([&] { return (dialog = x.viewableWindow(pid)).has_value(); }))
        return false;
    x.focus(*dialog);
    QThread::msleep(200);
    x.key(XK_Return, true);
    x.key(XK_Return, false);
    return true;
}

// A history lock that cannot even be opened (here a folder under its name) guards a history
// this program does not own: it says so and quits without writing one.
TEST(TolviApp, AHistoryLockThatCannotBeOpenedIsRefused)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    const QString folder = app.home.filePath("data/Tolvi");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/history.lock")));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    app.start();
    EXPECT_TRUE(pollUntil([&] { return app.output().contains("could not lock its history folder"); }, eventTimeoutMs))
        << app.output().constData();
    EXPECT_TRUE(answerDialogOf(x, app.process.processId()));
    EXPECT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(app.process.exitCode(), 1) << app.output().constData();
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("history.lock")});
}

TEST(TolviApp, ASecondProgramThatCannotTakeTheHistoryLeavesItAlone)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    const QString folder = app.home.filePath("data/Tolvi");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    const QString leftover = plantLeftover(folder);
    app.process.setChildProcessModifier([] { ::umask(0); });
    app.start();
    ASSERT_TRUE(closeTourOnceShown(x, app)) << app.output().constData();
    EXPECT_FALSE(QFileInfo::exists(leftover));
    EXPECT_EQ(modeOf(app.home.filePath("config")), 0700u);
    EXPECT_EQ(modeOf(app.home.filePath("config/Tolvi")), 0700u);
    EXPECT_EQ(modeOf(app.home.filePath("config/Tolvi/Tolvi.conf")), 0600u);

    QThread::msleep(1200); // a copy made while the app in front changes is skipped
    ASSERT_TRUE(copyToClipboard("kept by the first program"));
    const QString history = folder + QStringLiteral("/history.json");
    ASSERT_TRUE(pollUntil([&] { return contentOf(history).contains("kept by the first program"); }))
        << app.output().constData();
    const QByteArray before = contentOf(history);
    const QString lateLeftover = plantLeftover(folder);

    QTemporaryDir otherRuntime;
    const int stuck = silentListener(otherRuntime.filePath("tolvi.instance"));
    ASSERT_GE(stuck, 0);
    RunningApp second;
    QProcessEnvironment environment = app.environment();
    environment.insert("XDG_RUNTIME_DIR", otherRuntime.path());
    second.process.setProcessEnvironment(environment);
    second.process.setProcessChannelMode(QProcess::MergedChannels);
    second.process.start(TOLVI_APP_PATH, {});
    ASSERT_TRUE(second.process.waitForStarted(eventTimeoutMs));
    EXPECT_TRUE(pollUntil([&] { return second.output().contains("Another Tolvi is using the history in"); }, eventTimeoutMs))
        << second.output().constData();
    // It says so in a dialog too, and quits once that is answered.
    EXPECT_TRUE(answerDialogOf(x, second.process.processId()));
    EXPECT_TRUE(second.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(second.process.exitCode(), 1) << second.output().constData();
    ::close(stuck);

    EXPECT_EQ(contentOf(history), before);
    EXPECT_TRUE(QFileInfo::exists(lateLeftover));
    // The first program goes on capturing (once the desktop has settled after the second one's
    // window went away: a copy made while the app in front changes is skipped).
    QThread::msleep(1200);
    ASSERT_TRUE(copyToClipboard("still captured by the first"));
    EXPECT_TRUE(pollUntil([&] { return contentOf(history).contains("still captured by the first"); }))
        << app.output().constData();
}

// Last in this file: it replaces the session's tray with one of its own.
TEST(TolviApp, IconAppearsInATrayThatStartsAfterTolvi)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    const Atom trayAtom = XInternAtom(x.display(), "_NET_SYSTEM_TRAY_S0", False);
    const Window owner = XGetSelectionOwner(x.display(), trayAtom);
    if (owner != None) {
        const long trayPid = x.cardinal(owner, "_NET_WM_PID");
        ASSERT_GT(trayPid, 0);
        ::kill(pid_t(trayPid), SIGTERM);
        ASSERT_TRUE(pollUntil([&] { return XGetSelectionOwner(x.display(), trayAtom) == None; }));
    }

    RunningApp app;
    app.start();
    const qint64 pid = app.process.processId();
    ASSERT_TRUE(pollUntil([&] { return app.output().contains("No system tray"); })) << app.output().constData();

    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(tray.waitForStarted(eventTimeoutMs));
    EXPECT_TRUE(pollUntil([&] { return x.hasIconInTray(pid); })) << app.output().constData();
    tray.terminate();
    tray.waitForFinished(3000);
}
