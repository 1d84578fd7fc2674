// The real program under Xvfb with openbox and a tray: started as a separate process with a
// private home folder, driven with XTest key presses and the clipboard, as a user would.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include "PeerProcess.h"
#include "RunningTolvi.h"
#include "RunningTolviX11.h"
#include "SilentListener.h"
#include "X11TestDisplay.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <map>
#include <optional>

#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <vector>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using tolvi::test::activateUntil;
using tolvi::test::captureTookInTheProgramInFront;
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
        // Short: a tour the window manager does not hand the keyboard is asked for again.
        pollUntil([&] { return x.hasInputFocus(pid, "Tolvi Setup"); }, 2000);
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

// A clip of the history file as it was written: its place, id, date and source.
struct StoredClip {
    int index = -1;
    QString id;
    QJsonValue createdAt;
    QJsonValue sourceApp;
    friend bool operator==(const StoredClip&, const StoredClip&) = default;
};

// The text clips of the history file, by text; nothing while it cannot be read.
std::map<QString, StoredClip> storedClips(const QString& path)
{
    std::map<QString, StoredClip> clips;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return clips;
    const QJsonArray items = QJsonDocument::fromJson(file.readAll()).object().value("items").toArray();
    for (int i = 0; i < items.size(); ++i) {
        const QJsonObject item = items.at(i).toObject();
        clips[item.value("content").toObject().value("text").toString()] =
            StoredClip{i, item.value("id").toString(), item.value("createdAt"), item.value("sourceApp")};
    }
    return clips;
}

void type(X11TestDisplay& x, const QByteArray& text)
{
    for (const char c : text)
        x.tap(KeySym(c));
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
    const std::optional<quint32> peerWindow = peer.showWindow();
    ASSERT_TRUE(peerWindow.has_value());

    // The window hides as soon as another program becomes active. It is first let take the
    // keyboard: its own request for it, late on a busy machine, would otherwise win over the
    // other program's.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi"); })) << app.output().constData();
    // Made active as a pager would (a program's own request may be refused as stealing the focus
    // from the window the user has just opened).
    ASSERT_TRUE(activateUntil(*peerWindow, [&] { return x.activeWindow() == Window(*peerWindow); }));
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); })) << app.output().constData();
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app, Window(*peerWindow)))
        << app.frontApplication().toStdString() << "\n" << app.output().constData();

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
    if (!pollUntil([&] { return x.hasInputFocus(pid, x.name(*dialog)); }))
        return false;
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

    ASSERT_TRUE(captureTookInTheProgramInFront(x, app)) << app.output().constData();
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
    // The first program goes on capturing (once it has seen the second one's window go away: a
    // copy made while the app in front changes is skipped).
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app)) << app.output().constData();
    ASSERT_TRUE(copyToClipboard("still captured by the first"));
    EXPECT_TRUE(pollUntil([&] { return contentOf(history).contains("still captured by the first"); }))
        << app.output().constData();
}

// An XSETTINGS manager of the test's own publishing `count` settings, none of them in use.
class CrowdedSettingsManager {
public:
    explicit CrowdedSettingsManager(quint32 count) : m_display(XOpenDisplay(nullptr))
    {
        const Window window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        QByteArray bytes(12, '\0');  // least significant byte first, serial 0
        auto card32 = [&bytes](quint32 v) {
            for (int shift = 0; shift < 32; shift += 8)
                bytes.append(char((v >> shift) & 0xff));
        };
        bytes.truncate(8);
        card32(count);
        for (quint32 i = 0; i < count; ++i) {
            const QByteArray name = "Crowd/Setting" + QByteArray::number(i).rightJustified(7, '0');  // 20 bytes
            bytes.append('\0').append('\0').append(char(name.size())).append('\0').append(name);
            card32(0);
            card32(i);
        }
        const Atom settings = XInternAtom(m_display, "_XSETTINGS_SETTINGS", False);
        XChangeProperty(m_display, window, settings, settings, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
        XSetSelectionOwner(m_display, XInternAtom(m_display, "_XSETTINGS_S0", False), window, CurrentTime);
        XSync(m_display, False);
    }
    ~CrowdedSettingsManager() { XCloseDisplay(m_display); }

private:
    Display* m_display;
};

// Files Tolvi reads at start that are FIFOs or links to a device, and a settings manager with
// a hundred thousand settings: Tolvi starts, and quits on SIGTERM, every time.
TEST(TolviApp, StartsAndQuitsWhateverStandsUnderTheNamesOfItsFiles)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    CrowdedSettingsManager crowded(100000);
    for (const bool fifos : {true, false}) {
        SCOPED_TRACE(fifos ? "FIFOs" : "links to /dev/zero");
        RunningApp app;
        // KDE without a settings daemon of its own reads kdeglobals.
        app.extraEnvironment.insert("XDG_CURRENT_DESKTOP", "KDE");
        const QString data = app.home.filePath("data/Tolvi");
        const QString config = app.home.filePath("config");
        ASSERT_TRUE(QDir().mkpath(data));
        ASSERT_TRUE(QDir().mkpath(config + QStringLiteral("/Tolvi")));
        for (const QString& folder : {app.home.filePath("data"), data, config, config + QStringLiteral("/Tolvi")})
            ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        const QStringList files{data + QStringLiteral("/unsaved-drafts.json"), config + QStringLiteral("/kdeglobals"),
                                config + QStringLiteral("/Tolvi/Tolvi.conf")};
        for (const QString& file : files) {
            if (fifos)
                ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            else
                ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), file));
        }
        if (!pollUntil([&] { return !x.chordTaken(ControlMask | Mod1Mask, XK_v); }))
            FAIL() << "an earlier program still holds the history chord";
        app.start();
        // Start-up is over once the first window is due (the settings start afresh: the tour).
        EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(app.process.processId(), "Tolvi Setup"); }, 30000))
            << app.output().constData();
        app.process.terminate();
        // Generous: the program must quit at all, not quickly.
        ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs)) << app.output().constData();
        EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit) << app.output().constData();
        EXPECT_EQ(app.process.exitCode(), 0) << app.output().constData();
        for (const QString& file : files) {
            struct stat info {};
            ASSERT_EQ(::lstat(QFile::encodeName(file).constData(), &info), 0) << file.toStdString();
            EXPECT_TRUE(fifos ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode)) << file.toStdString();
        }
    }
}

// A thousand connections to the instance socket that send the start of a line and stay open,
// with the program allowed 1,024 open files: it keeps its socket, takes copies and quits.
TEST(TolviApp, AFloodOfConnectionsToTheInstanceSocketLeavesItWorking)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    app.process.setChildProcessModifier([] {
        rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    ASSERT_TRUE(startPastTheTour(x, app)) << app.output().constData();
    const QString socketPath = app.root + QStringLiteral("/runtime/tolvi.instance");
    ASSERT_TRUE(QFileInfo::exists(socketPath));

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    QList<int> flood;
    const auto closeFlood = qScopeGuard([&] {
        for (const int fd : std::as_const(flood))
            ::close(fd);
    });
    for (int i = 0; i < 1000; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        flood.append(fd);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << i;
        ASSERT_EQ(::write(fd, "hist", 4), 4);
    }

    ASSERT_TRUE(captureTookInTheProgramInFront(x, app)) << app.output().constData();
    ASSERT_TRUE(copyToClipboard("copied during the flood"));
    EXPECT_TRUE(pollUntil([&] { return app.output().contains("Tolvi recorded clipboard item"); }))
        << app.output().constData();
    EXPECT_TRUE(QFileInfo::exists(socketPath));
    // A launch still reaches it.
    EXPECT_EQ(app.launch({}), 0);
    app.process.terminate();
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit) << app.output().constData();
    EXPECT_EQ(app.process.exitCode(), 0) << app.output().constData();
}

TEST(TolviApp, PastingFromEachWindowAndTheTrayMenuLeavesThePastedClipAsItWas)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    ASSERT_TRUE(startPastTheTour(x, app)) << app.output().constData();
    const qint64 pid = app.process.processId();
    ASSERT_TRUE(pollUntil([&] { return x.hasIconInTray(pid); })) << app.output().constData();

    tolvi::test::PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const std::optional<quint32> peerWindow = peer.showWindow();
    ASSERT_TRUE(peerWindow.has_value());
    ASSERT_TRUE(activateUntil(*peerWindow, [&] { return x.activeWindow() == Window(*peerWindow); }));
    // A copy made while the program in front changes is skipped: the capture must have taken in
    // the other program.
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app, Window(*peerWindow)))
        << app.frontApplication().toStdString() << "\n" << app.output().constData();
    ASSERT_TRUE(copyToClipboard("alpha-old"));
    ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == 1; }))
        << app.output().constData();
    ASSERT_TRUE(copyToClipboard("beta-new"));
    ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == 2; }))
        << app.output().constData();
    const QString historyPath = app.home.filePath("data/Tolvi/history.json");
    std::map<QString, StoredClip> before;
    ASSERT_TRUE(pollUntil([&] { return (before = storedClips(historyPath)).size() == 2; })) << app.output().constData();
    ASSERT_EQ(before["beta-new"].index, 0);
    ASSERT_EQ(before["alpha-old"].index, 1);
    ASSERT_TRUE(before["alpha-old"].sourceApp.isObject());

    // Each paste adds the older clip once more to the other program's line.
    int pastes = 0;
    const auto pastedAgain = [&] {
        ++pastes;
        return peer.waitForText([&](const QString& text) { return text == QStringLiteral("alpha-old").repeated(pastes); });
    };

    // From the history window: typing filters to the older clip, Tab goes to the list, Return pastes.
    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi"); })) << app.output().constData();
    type(x, "alpha");
    QThread::msleep(300);
    x.tap(XK_Tab);
    QThread::msleep(200);
    x.tap(XK_Return);
    ASSERT_TRUE(pastedAgain()) << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    ASSERT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));
    // The other program is in front again, and Tolvi knows it: the next window pastes there.
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app, Window(*peerWindow))) << app.output().constData();

    // From the compact panel: typing filters, Return opens the clip's actions, Paste is the fourth.
    x.chord({XK_Super_L, XK_Shift_L}, XK_v);
    ASSERT_TRUE(pollUntil([&] { return x.hasInputFocus(pid, "Tolvi Compact"); })) << app.output().constData();
    type(x, "alpha");
    QThread::msleep(300);
    x.tap(XK_Return);
    QThread::msleep(300);
    for (int i = 0; i < 3; ++i)
        x.tap(XK_Down);
    x.tap(XK_Return);
    ASSERT_TRUE(pastedAgain()) << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    ASSERT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi Compact"); }));
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app, Window(*peerWindow))) << app.output().constData();

    // From the tray menu: a click on the icon opens it; the older clip is the seventh row that
    // can be chosen (three commands, Pause Capture, Clear Last 15 Minutes, then the clips).
    const std::optional<Window> icon = x.trayIcon(pid);
    ASSERT_TRUE(icon.has_value());
    const QRect iconFrame = x.geometry(*icon);
    x.movePointer(iconFrame.center().x(), iconFrame.center().y());
    QThread::msleep(100);
    x.button(1, true);
    x.button(1, false);
    // The menu is the program's only other window on screen.
    ASSERT_TRUE(pollUntil([&] {
        bool shown = false;
        x.forEachWindow(DefaultRootWindow(x.display()), [&](Window window, Window) {
            shown = shown || (window != *icon && x.cardinal(window, "_NET_WM_PID") == pid && x.isViewable(window));
        });
        return shown;
    }));
    // Away from the rows, so that only the keys choose.
    x.movePointer(700, 600);
    QThread::msleep(300);
    for (int i = 0; i < 7; ++i)
        x.tap(XK_Down);
    x.tap(XK_Return);
    ASSERT_TRUE(pastedAgain()) << "peer has: " << peer.lastText().toStdString() << "\n" << app.output().constData();
    QThread::msleep(1500);

    // Nothing was recorded anew: the clip keeps its id, date, source and place.
    EXPECT_EQ(app.output().count("Tolvi recorded clipboard item"), 2) << app.output().constData();
    app.process.terminate();
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    const std::map<QString, StoredClip> after = storedClips(historyPath);
    EXPECT_EQ(after.size(), 2u);
    EXPECT_TRUE(after == before) << QFile(historyPath).exists();
}

TEST(TolviApp, DraggingTheHistoryWindowByItsTopMovesItAndKeepsItOpen)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    RunningApp app;
    ASSERT_TRUE(startPastTheTour(x, app)) << app.output().constData();
    const qint64 pid = app.process.processId();

    x.chord({XK_Control_L, XK_Alt_L}, XK_v);
    std::optional<Window> window;
    ASSERT_TRUE(pollUntil([&] { return (window = x.viewableWindow(pid, "Tolvi")).has_value(); }))
        << app.output().constData();
    QThread::msleep(500);
    const QRect before = x.geometry(*window);

    // Pressed on the band above the header (below the resize edge), dragged 60 px to the right
    // at a hand's pace, released. The move begins at the first 10 px step, past the drag distance
    // (Qt's, and the desktops' own, are 10 px or less), and the window follows from there.
    const QPoint start(before.center().x(), before.top() + 10);
    x.movePointer(start.x(), start.y());
    QThread::msleep(100);
    x.button(1, true);
    for (int step = 1; step <= 6; ++step) {
        QThread::msleep(150);
        x.movePointer(start.x() + 10 * step, start.y());
    }
    QThread::msleep(300);
    x.button(1, false);
    QThread::msleep(800);

    EXPECT_TRUE(x.isViewable(*window)) << app.output().constData();
    EXPECT_TRUE(pollUntil([&] { return x.geometry(*window) == before.translated(50, 0); }))
        << "at " << x.geometry(*window).x() << "," << x.geometry(*window).y() << " from " << before.x() << ","
        << before.y();
    // The keyboard is still the window's: Escape closes it.
    x.tap(XK_Escape);
    EXPECT_TRUE(pollUntil([&] { return !x.isViewable(*window); })) << app.output().constData();
}

// A launcher that keeps Tolvi's standard error open without reading it, a pipe of 4 KiB already
// full: Tolvi goes on taking copies (a log line each), answers later launches with its windows,
// and quits on SIGTERM.
TEST(TolviApp, AStandardErrorNobodyReadsHoldsNothingUp)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const auto closePipe = qScopeGuard([&] { ::close(ends[0]); ::close(ends[1]); });
    const int capacity = ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    ASSERT_EQ(::write(ends[1], QByteArray(capacity, '.').constData(), size_t(capacity)), capacity);
    RunningApp app;
    app.outputDescriptor = ends[1];
    ASSERT_TRUE(startPastTheTour(x, app));
    const auto stored = [&](const QStringList& texts, int ms) {
        return pollUntil([&] {
            const std::map<QString, StoredClip> clips = storedClips(app.home.filePath("data/Tolvi/history.json"));
            return std::all_of(texts.begin(), texts.end(), [&](const QString& text) { return clips.count(text); });
        }, ms);
    };

    // Only the history file tells that the capture has taken in the desktop as the tour left it
    // (a copy made before then is skipped on purpose).
    bool capturing = false;
    for (int attempt = 0; attempt < 10 && !capturing; ++attempt) {
        ASSERT_TRUE(copyToClipboard("before the flood " + QByteArray::number(attempt)));
        capturing = stored({QStringLiteral("before the flood %1").arg(attempt)}, 3000);
    }
    ASSERT_TRUE(capturing);
    // Each copy 30 ms after the one before was taken in (a copy replaced before it is read is
    // skipped on purpose).
    QStringList copies;
    std::unique_ptr<QProcess> owner;
    for (int i = 0; i < 200; ++i) {
        copies.append(QStringLiteral("flood copy %1").arg(i));
        std::unique_ptr<QProcess> next(tolvi::test::startXclipOwning({"-quiet", "-selection", "clipboard", "-i"},
                                                                     copies.last().toUtf8()));
        ASSERT_NE(next, nullptr);
        if (owner)
            owner->waitForFinished(eventTimeoutMs);  // xclip ends once another program owns the clipboard
        owner = std::move(next);
        ASSERT_TRUE(stored({copies.last()}, eventTimeoutMs)) << i;
        QThread::msleep(30);
    }

    // A later launch is answered, and the window it asks for is shown.
    EXPECT_EQ(app.launch({"--history"}), 0);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(app.process.processId(), "Tolvi"); }));
    app.process.terminate();
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(stored(copies, 0));
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
