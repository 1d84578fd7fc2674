// Capture from both sides of a headless sway session (tests/support/with-sway), as Tolvi watches
// it: data control for the seat and XFixes on XWayland, one history. Copies made in X11
// programs are recorded whichever window has the focus, and a copy the compositor carries from
// one side to the other (ours too) is recorded once.
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/BridgedPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/session/LinuxSessionPlatform.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "CaptureTestSupport.h"
#include "EventTimeout.h"
#include "PeerProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;

namespace {

bool waitFor(const std::function<bool()>& done, int ms = eventTimeoutMs)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs a command as the session's user (wl-copy, wl-paste) and gives its output.
std::optional<QByteArray> runInSession(const QString& command, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), qEnvironmentVariable("TOLVI_TEST_SWAY_RUN") + QLatin1Char(' ') + command});
    if (!process.waitForStarted(eventTimeoutMs))
        return std::nullopt;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(eventTimeoutMs) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// What X11 programs get when they paste.
std::optional<QByteArray> x11Clipboard()
{
    QProcess process;
    process.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                            QStringLiteral("-o")});
    if (!process.waitForFinished(eventTimeoutMs) || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

class CaptureXWayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "Qt must run on XWayland here";
        connection = WaylandConnection::connect();
        ASSERT_TRUE(connection) << "no compositor at WAYLAND_DISPLAY";
        clipboard = DataControlClipboard::create(*connection);
        ASSERT_TRUE(clipboard) << "the compositor offers no data control";
        connection->startDispatching();
        xwayland = std::make_unique<SystemPasteboard>();
        ASSERT_TRUE(xwayland->readsInBackground()) << "XFixes is not watched on XWayland";
        // The first selection event (what is on the clipboard now, maybe a copy an earlier test
        // left) is taken in before watching starts.
        ASSERT_TRUE(waitFor([this] { return clipboard->pasteboard().changeCount() > 0; }));
        QCoreApplication::processEvents();
        board = std::make_unique<BridgedPasteboard>(BridgedPasteboard::Sides{
            clipboard->pasteboard(), *xwayland, [this] { return xwayland->copyCameFromWindowManager(); }});
        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            *board, *store, exclusions, preferences, scheduler,
            [] { return std::optional<ClipboardSourceApp>(); },
            [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
            [this](const QString& line) { logs.append(line); }});
        monitor->start(false);
    }
    void TearDown() override
    {
        monitor.reset();
        board.reset();
        xwayland.reset();
        peer.stop();
        for (QProcess* owner : xclips) {
            owner->kill();
            owner->waitForFinished(2000);
            delete owner;
        }
        if (connection)
            connection->stopDispatching();
        clipboard.reset();
        connection.reset();
    }

    QStringList recorded() const
    {
        QStringList texts;
        for (int i = 0; i < store->itemCount(); ++i)
            texts.append(store->itemAt(i).content().textValue());
        return texts;
    }

    // Lets late announcements of either side arrive: a carried-over copy comes within milliseconds.
    void settle()
    {
        connection->roundtrip();
        QDeadlineTimer quiet(400);
        while (!quiet.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    // An X11 window of the test peer, in front.
    void showX11Peer()
    {
        peer.setPlatform(QStringLiteral("xcb"));
        ASSERT_TRUE(peer.start());
        ASSERT_TRUE(peer.showWindow());
        ASSERT_TRUE(waitFor([this] { return x11.frontmostPID() == peer.pid(); })) << "the peer never took the focus";
    }

    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<DataControlClipboard> clipboard;
    std::unique_ptr<SystemPasteboard> xwayland;
    std::unique_ptr<BridgedPasteboard> board;
    std::unique_ptr<ClipboardStore> store = makeStore();
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    SwitchablePreferences preferences;
    ManualScheduler scheduler;
    QStringList logs;
    std::unique_ptr<PasteboardMonitor> monitor;
    X11Desktop x11;
    PeerProcess peer;
    QList<QProcess*> xclips;
};

} // namespace

TEST_F(CaptureXWayland, AnX11CopyWhileAWaylandWindowHasTheFocusIsRecordedOnce)
{
    // with-sway's foot terminal holds the focus: no X11 window does.
    ASSERT_FALSE(x11.frontmostPID());
    for (int i = 1; i <= 3; ++i) {
        const QString text = QStringLiteral("xclip copy %1 beside foot").arg(i);
        QProcess* owner = startXclip({QStringLiteral("-selection"), QStringLiteral("clipboard")}, text.toUtf8());
        ASSERT_TRUE(owner);
        xclips.append(owner);
        ASSERT_TRUE(waitFor([&] { return store->itemCount() == i; }))
            << "copy " << i << " not recorded: " << logs.join(QLatin1Char('|')).toStdString();
    }
    settle();
    EXPECT_EQ(recorded(), QStringList({QStringLiteral("xclip copy 3 beside foot"), QStringLiteral("xclip copy 2 beside foot"),
                                       QStringLiteral("xclip copy 1 beside foot")}));

    // A Wayland copy afterwards wins over the X11 one.
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), "wl-copy after xclip"));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 4; })) << logs.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(recorded().constFirst(), QStringLiteral("wl-copy after xclip"));

    // Well after it, an X11 window takes the focus and sway offers the seat's copy to X11
    // programs only now: still the one copy.
    QDeadlineTimer later(1200);
    while (!later.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    showX11Peer();
    ASSERT_TRUE(waitFor([] { return x11Clipboard() == QByteArray("wl-copy after xclip"); }))
        << "sway did not carry the seat's copy over to X11";
    settle();
    EXPECT_EQ(store->itemCount(), 4) << recorded().join(QLatin1Char('|')).toStdString();
}

TEST_F(CaptureXWayland, ACopyTheCompositorCarriesToTheOtherSideIsRecordedOnce)
{
    showX11Peer();

    // Made in the X11 window that has the focus: sway offers it on the seat too.
    ASSERT_TRUE(peer.copyText(QStringLiteral("copied in an X11 window")));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 1; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(waitFor([] {
        return runInSession(QStringLiteral("wl-paste --no-newline")) == QByteArray("copied in an X11 window");
    })) << "sway did not carry the X11 copy over to the seat";
    settle();
    EXPECT_EQ(recorded(), QStringList({QStringLiteral("copied in an X11 window")}));

    // Made through data control while the X11 window has the focus: sway offers it to X11.
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), "copied on the seat"));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 2; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(waitFor([] { return x11Clipboard() == QByteArray("copied on the seat"); }))
        << "sway did not carry the seat's copy over to X11";
    settle();
    EXPECT_EQ(recorded(), QStringList({QStringLiteral("copied on the seat"), QStringLiteral("copied in an X11 window")}));
    EXPECT_EQ(board->currentSide(), BridgedPasteboard::Side::seat);

    // A paste's write of ours: counted once as it is made, also once X11 programs have been
    // offered it, and never recorded.
    const qint64 before = board->changeCount();
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("pasted by Tolvi"));
    ASSERT_TRUE(board->write({item}, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board->changeCount(), before + 1);
    ASSERT_TRUE(waitFor([] { return x11Clipboard() == QByteArray("pasted by Tolvi"); }));
    settle();
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_EQ(store->itemCount(), 2);

    // A copy of ours: recorded once, also once X11 programs have been offered it.
    item.setString(T::plainText, QStringLiteral("copied in Tolvi"));
    ASSERT_TRUE(board->write({item}, Pasteboard::WriteKind::copy));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 3; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(waitFor([] { return x11Clipboard() == QByteArray("copied in Tolvi"); }));
    settle();
    EXPECT_EQ(board->changeCount(), before + 2);
    EXPECT_EQ(recorded(), QStringList({QStringLiteral("copied in Tolvi"), QStringLiteral("copied on the seat"),
                                       QStringLiteral("copied in an X11 window")}));
}

// As the program runs it (switches reported): copies of both sides are taken on their
// announcements alone, with no timer running.
TEST_F(CaptureXWayland, WithSwitchesReportedBothSidesAreTakenWithoutATimer)
{
    monitor.reset();
    monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
        *board, *store, exclusions, preferences, scheduler,
        [] { return std::optional<ClipboardSourceApp>(); },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [this](const QString& line) { logs.append(line); }, true});
    EXPECT_TRUE(monitor->pollsOnlyOnAnnouncements());
    monitor->start(false);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);

    QProcess* owner = startXclip({QStringLiteral("-selection"), QStringLiteral("clipboard")}, "an X11 copy, untimed");
    ASSERT_TRUE(owner);
    xclips.append(owner);
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 1; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), "a seat copy, untimed"));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 2; })) << logs.join(QLatin1Char('|')).toStdString();
    settle();
    EXPECT_EQ(recorded(), QStringList({QStringLiteral("a seat copy, untimed"), QStringLiteral("an X11 copy, untimed")}));
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
}

TEST(LinuxSessionPlatformInSway, PutsTheSessionTogetherFromWhatSwayOffers)
{
    InMemoryKeyValueSettings settings;
    const std::unique_ptr<LinuxSessionPlatform> platform = LinuxSessionPlatform::create(settings);
    ASSERT_TRUE(platform);
    EXPECT_EQ(platform->plan(),
              (SessionPlan{SessionKind::waylandWithDataControl, SessionPlan::Clipboard::seatAndXWayland,
                           SessionPlan::WindowList::foreignToplevels, SessionPlan::Keyboard::virtualKeyboard,
                           SessionPlan::Shortcuts::desktop}));
    EXPECT_TRUE(platform->typesThroughCompositor());
    EXPECT_TRUE(platform->captureScopeNote().isEmpty());
    ASSERT_TRUE(platform->shortcutsPortal());
    EXPECT_EQ(platform->shortcutRoute(), ShortcutAccess::Route::boundCommands);
    // foot, a Wayland window, is in front.
    ASSERT_TRUE(waitFor([&] {
        const std::optional<qint64> front = platform->pasteDesktop().frontmostPID();
        return front && *front < 0;
    }));

    // Its clipboard sees X11 programs' copies while foot has the focus, and announces every copy
    // of both sides: the monitor needs no timer here.
    Pasteboard& board = platform->pasteboard();
    EXPECT_TRUE(board.announcesEveryChange());
    // A first copy settles what earlier owners left: one going away is a change of its own,
    // announced whenever the server gets to it.
    std::unique_ptr<QProcess> first(
        startXclip({QStringLiteral("-selection"), QStringLiteral("clipboard")}, "settles the clipboard"));
    ASSERT_TRUE(first);
    ASSERT_TRUE(waitFor([&] { return board.string(T::plainText) == QStringLiteral("settles the clipboard"); }));
    const qint64 before = board.changeCount();
    std::unique_ptr<QProcess> owner(
        startXclip({QStringLiteral("-selection"), QStringLiteral("clipboard")}, "through the session platform"));
    ASSERT_TRUE(owner);
    EXPECT_TRUE(waitFor([&] {
        return board.changeCount() == before + 1
               && board.string(T::plainText) == QStringLiteral("through the session platform");
    }));
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("through the session platform"));
    platform->shutDown();
    for (QProcess* xclip : {first.get(), owner.get()}) {
        xclip->kill();
        xclip->waitForFinished(2000);
    }
}
