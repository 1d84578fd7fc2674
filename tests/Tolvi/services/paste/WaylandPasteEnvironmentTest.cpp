// The desktop of a Wayland session (WaylandDesktop) over fakes of its parts (the XWayland side, the
// compositor's window list and our keyboard), on its own and under the paste service: which app
// is in front and what a copy is credited to, when a keystroke may go out, and what the user is
// told when none can.
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/wayland/ToplevelWindows.h"
#include "Tolvi/platform/wayland/WaylandDesktop.h"
#include "Tolvi/platform/wayland/WaylandKeyboard.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <QCoreApplication>
#include <QUuid>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

// The XWayland side: which X11 process is in front and holds the focus; keystrokes it was asked
// to post.
class FakeXWayland final : public PasteDesktop {
public:
    std::optional<qint64> front;
    bool unidentifiedFront = false;
    QList<qint64> running;
    QList<qint64> pastedInto;
    QList<qint64> activated;

    std::optional<qint64> frontmostPID() override { return front; }
    bool frontmostIsUnidentified() override { return unidentifiedFront; }
    bool targetIsRunning(qint64 pid) override { return running.contains(pid); }
    bool activate(qint64 pid) override
    {
        activated.append(pid);
        if (!running.contains(pid))
            return false;
        front = pid;
        return true;
    }
    bool canSendKeystrokes() override { return true; }
    bool keyboardFocusBelongsTo(qint64 pid) override { return front == pid; }
    bool pasteInto(qint64 pid) override
    {
        if (front != pid)
            return false;
        pastedInto.append(pid);
        return true;
    }
    bool isViewable(std::uint32_t) override { return false; }
    bool hasBlockingDialog(qint64, std::chrono::milliseconds) override { return false; }
    std::optional<QString> describe(std::optional<qint64> pid) override
    {
        return pid ? std::optional<QString>(QStringLiteral("X11 %1").arg(*pid)) : std::nullopt;
    }
};

class WaylandPasteEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(entriesFolder.isValid());
        QFile entry(entriesFolder.filePath(QStringLiteral("org.example.Editor.desktop")));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Example Editor\nExec=editor\n");
    }

    std::unique_ptr<WaylandDesktop> makeDesktop(bool withWindowList, bool withKeyboard, bool xtest = true)
    {
        return std::make_unique<WaylandDesktop>(
            WaylandDesktop::Parts{xwayland, xwaylandApps, [xtest] { return xtest; },
                                  withWindowList ? &windows : nullptr, withKeyboard ? &keyboard : nullptr},
            DesktopEntries({entriesFolder.path()}));
    }

    QTemporaryDir entriesFolder;
    FakeXWayland xwayland;
    FakeWorkspace xwaylandApps;
    FakeToplevelWindows windows;
    FakeWaylandKeyboard keyboard;
    InMemoryPasteboard pasteboard;
    ManualScheduler scheduler;
};

const QString pressCtrlV = QStringLiteral("Press Ctrl+V to paste.");

} // namespace

TEST_F(WaylandPasteEnvironment, TheFrontIsTheActiveX11WindowElseTheActivatedWaylandWindow)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({7, QStringLiteral("org.example.Editor"), true, std::nullopt});
    windows.setWindow({8, QStringLiteral("foot"), false, std::nullopt});

    EXPECT_EQ(desktop->frontmostPID(), WaylandDesktop::targetForWindow(7));
    std::optional<RunningApplication> front = desktop->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->identifier, QStringLiteral("org.example.Editor"));
    // The name comes from the desktop entry the app_id names.
    EXPECT_EQ(front->name, QStringLiteral("Example Editor"));
    EXPECT_EQ(PasteboardMonitor::frontmostSourceApplication(*desktop),
              ClipboardSourceApp(QStringLiteral("Example Editor"), QStringLiteral("org.example.Editor")));

    // An app_id without a desktop entry names itself.
    windows.setWindow({8, QStringLiteral("foot"), true, std::nullopt});
    EXPECT_EQ(desktop->frontmostApplication()->name, QStringLiteral("foot"));

    // An X11 window that XWayland has active is in front, whatever the list says.
    xwayland.front = 4242;
    xwaylandApps.setFrontmost(RunningApplication{4242, QStringLiteral("XTerm"), QStringLiteral("XTerm")});
    EXPECT_EQ(desktop->frontmostPID(), 4242);
    EXPECT_EQ(desktop->frontmostApplication()->identifier, QStringLiteral("XTerm"));

    // Nothing activated, nothing in front.
    xwayland.front.reset();
    xwaylandApps.setFrontmost(std::nullopt);
    windows.setWindow({8, QStringLiteral("foot"), false, std::nullopt});
    windows.setWindow({7, QStringLiteral("org.example.Editor"), false, std::nullopt});
    EXPECT_FALSE(desktop->frontmostPID());
    EXPECT_FALSE(desktop->frontmostApplication());
    EXPECT_FALSE(desktop->frontmostIsUnidentified());
}

TEST_F(WaylandPasteEnvironment, WithoutAWindowListTheSourceIsNoneAndTheTargetIsTheWindowTheFocusReturnsTo)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(false, false);
    EXPECT_FALSE(desktop->frontmostApplication());
    EXPECT_EQ(desktop->frontmostPID(), WaylandDesktop::focusReturnTarget);
    EXPECT_TRUE(desktop->targetIsRunning(WaylandDesktop::focusReturnTarget));
    // XTest reaches X11 windows only: the session can type, but not into that window.
    EXPECT_TRUE(desktop->canSendKeystrokes());
    EXPECT_FALSE(desktop->canTypeInto(WaylandDesktop::focusReturnTarget));

    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    service.captureTarget();
    EXPECT_EQ(service.targetPID(), WaylandDesktop::focusReturnTarget);
    service.pasteText("by hand");
    EXPECT_EQ(service.queueStatus(),
              PasteService::PasteQueueStatus::cancelled(
                  QStringLiteral("Tolvi cannot type into this app in this session. The item was copied to the "
                                 "clipboard. ") + pressCtrlV));
    EXPECT_EQ(pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "by hand");
    EXPECT_EQ(scheduler.pendingOnceCount(), 0);
}

TEST_F(WaylandPasteEnvironment, WhereOnlyThePortalCanTypeTheFirstPasteAsksAndLaterOnesTypeIntoTheWindowTheFocusReturnsTo)
{
    keyboard.setReady(false);
    keyboard.setNeedsConsent(true);
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(false, true);
    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    service.captureTarget();
    service.pasteText(QStringLiteral("first"));
    EXPECT_EQ(keyboard.preparedCount(), 1);
    EXPECT_EQ(keyboard.typedCount(), 0);
    EXPECT_TRUE(service.queueStatus().reason.startsWith(QStringLiteral("Tolvi cannot type into this app")));

    // The user agreed. Our window is still in front at first; the focus then returns.
    keyboard.setReady(true);
    xwayland.front = QCoreApplication::applicationPid();
    service.pasteText(QStringLiteral("second"));
    EXPECT_EQ(keyboard.typedCount(), 0);
    xwayland.front.reset();
    scheduler.runNext();
    EXPECT_EQ(keyboard.typedCount(), 1);
    EXPECT_EQ(service.queueStatus(), PasteService::PasteQueueStatus::idle());
}

TEST_F(WaylandPasteEnvironment, AKeystrokeGoesOutOnlyWhileTheTargetIsActivatedAndNoX11WindowHasTheFocus)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({3, QStringLiteral("org.example.Editor"), false, std::nullopt});
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    const qint64 target = WaylandDesktop::targetForWindow(3);

    EXPECT_FALSE(desktop->keyboardFocusBelongsTo(target));
    EXPECT_FALSE(desktop->pasteInto(target));

    windows.setWindow({3, QStringLiteral("org.example.Editor"), true, std::nullopt});
    // One of our X11 windows (or any) still holds the focus.
    xwayland.front = 99;
    EXPECT_FALSE(desktop->pasteInto(target));
    xwayland.front.reset();
    // A keyboard that is not set up yet cannot type.
    keyboard.setReady(false);
    EXPECT_FALSE(desktop->keyboardFocusBelongsTo(target));
    EXPECT_FALSE(desktop->pasteInto(target));
    EXPECT_EQ(keyboard.typedCount(), 0);

    keyboard.setReady(true);
    EXPECT_TRUE(desktop->keyboardFocusBelongsTo(target));
    EXPECT_TRUE(desktop->pasteInto(target));
    EXPECT_EQ(keyboard.typedCount(), 1);
    // A window that closed is no target.
    windows.removeWindow(3);
    EXPECT_FALSE(desktop->targetIsRunning(target));
    EXPECT_FALSE(desktop->pasteInto(target));
    EXPECT_EQ(keyboard.typedCount(), 1);
}

TEST_F(WaylandPasteEnvironment, APasteActivatesTheWaylandTargetAndTypesOnceItIsActivated)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({3, QStringLiteral("org.example.Editor"), true, std::nullopt});
    windows.setWindow({4, QStringLiteral("foot"), false, std::nullopt});
    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    service.captureTarget();
    // The user's own window of ours opened over it and took the focus.
    xwayland.front = QCoreApplication::applicationPid();
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    xwayland.front.reset();

    service.pasteText("typed");
    EXPECT_EQ(windows.activationRequests(), QList<quint64>{3});
    EXPECT_EQ(keyboard.typedCount(), 1);
    EXPECT_EQ(service.queueStatus(), PasteService::PasteQueueStatus::idle());
    EXPECT_EQ(pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "typed");
}

TEST_F(WaylandPasteEnvironment, ATargetThatNeverTakesTheFocusGetsNoKeystrokeAndTheUserIsToldToPasteByHand)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({3, QStringLiteral("org.example.Editor"), true, std::nullopt});
    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    service.captureTarget();
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    // The compositor does not act on the request.
    windows.setActivationGranted(false);

    service.pasteText("left on the clipboard");
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(keyboard.typedCount(), 0);
    EXPECT_EQ(service.queueStatus(),
              PasteService::PasteQueueStatus::cancelled(
                  QStringLiteral("The destination app did not activate. Paste was cancelled. ") + pressCtrlV));
    EXPECT_EQ(pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "left on the clipboard");
}

TEST_F(WaylandPasteEnvironment, X11WindowsAreTypedIntoThroughXTestOnlyWhereTheDisplayHasIt)
{
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    xwayland.running = {4242};
    xwaylandApps.setRunning({RunningApplication{4242, QStringLiteral("XTerm"), QStringLiteral("XTerm")}});
    windows.setWindow({5, QStringLiteral("XTerm"), false, std::nullopt});

    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, false, true);
    EXPECT_TRUE(desktop->canTypeInto(4242));
    EXPECT_FALSE(desktop->canTypeInto(WaylandDesktop::targetForWindow(4)));
    // Activating an X11 window asks XWayland and the compositor, for the window of its class.
    EXPECT_TRUE(desktop->activate(4242));
    EXPECT_EQ(windows.activationRequests(), QList<quint64>{5});
    EXPECT_TRUE(desktop->pasteInto(4242));
    EXPECT_EQ(xwayland.pastedInto, QList<qint64>{4242});

    std::unique_ptr<WaylandDesktop> withoutXTest = makeDesktop(true, false, false);
    EXPECT_FALSE(withoutXTest->canSendKeystrokes());
    EXPECT_FALSE(withoutXTest->pasteInto(4242));
    EXPECT_EQ(xwayland.pastedInto, QList<qint64>{4242});

    PasteService service(pasteboard, makeLivePasteEnvironment(*withoutXTest, scheduler));
    service.captureTarget();
    service.pasteText(QStringLiteral("no way to type"));
    EXPECT_EQ(service.queueStatus().kind, PasteService::PasteQueueStatus::Kind::cancelled);
    EXPECT_TRUE(service.queueStatus().reason.startsWith(
        QStringLiteral("Automatic paste needs permission in a Wayland session whose compositor lets Tolvi type")));
    EXPECT_TRUE(service.queueStatus().reason.endsWith(pressCtrlV));
}

TEST_F(WaylandPasteEnvironment, OurOwnListedWindowMeansTolviIsInFrontNotAnotherApp)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({3, QStringLiteral("org.example.Editor"), true, std::nullopt});
    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    service.captureTarget();
    ASSERT_EQ(service.targetPID(), WaylandDesktop::targetForWindow(3));

    // Our panel (an XWayland window, listed under our window class) takes the focus before
    // XWayland says so: that is Tolvi, not another destination.
    windows.setWindow({9, QCoreApplication::applicationName(), true, std::nullopt});
    EXPECT_EQ(desktop->frontmostPID(), QCoreApplication::applicationPid());
    EXPECT_FALSE(desktop->keyboardFocusBelongsTo(WaylandDesktop::targetForWindow(9)));
    // Where the compositor names processes, by process.
    windows.setWindow({9, QStringLiteral("tolvi"), true, QCoreApplication::applicationPid()});
    EXPECT_EQ(desktop->frontmostPID(), QCoreApplication::applicationPid());
    service.captureTarget();
    EXPECT_EQ(service.targetPID(), WaylandDesktop::targetForWindow(3));
}

TEST_F(WaylandPasteEnvironment, AQueueIntoAWaylandWindowSurvivesOurPanelInBetween)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    windows.setWindow({3, QStringLiteral("org.example.Editor"), true, std::nullopt});
    windows.setWindow({9, QCoreApplication::applicationName(), false, std::nullopt});
    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    // As Tolvi wires it: a listed window that is in front is reported to the service.
    windows.setActivationHandler([&](quint64 id) {
        if (desktop->frontmostPID() == WaylandDesktop::targetForWindow(id))
            service.applicationActivated(WaylandDesktop::targetForWindow(id));
    });
    service.captureTarget();
    // Clips with kept representations go one by one.
    const auto rich = [](const QString& text) {
        return ClipboardItem(QUuid::createUuid(), text, 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, "<b>" + text.toUtf8() + "</b>", {}));
    };
    service.pasteItems({rich(QStringLiteral("one")), rich(QStringLiteral("two")), rich(QStringLiteral("three"))});
    while (scheduler.runNext()) {
    }
    ASSERT_EQ(service.queueStatus(), PasteService::PasteQueueStatus::ready(1, 3));
    for (int step = 2; step <= 3; ++step) {
        // The user opens our panel (listed before XWayland names it active) and picks Paste Next;
        // the panel hides and the editor comes back.
        windows.setWindow({9, QCoreApplication::applicationName(), true, std::nullopt});
        EXPECT_EQ(service.queueStatus().kind, PasteService::PasteQueueStatus::Kind::ready) << "step " << step;
        service.pasteNextQueuedItem();
        windows.setWindow({9, QCoreApplication::applicationName(), false, std::nullopt});
        while (scheduler.runNext()) {
        }
    }
    EXPECT_EQ(service.queueStatus(), PasteService::PasteQueueStatus::completedAll(3));
    EXPECT_EQ(keyboard.typedCount(), 3);
    EXPECT_EQ(pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "three");
}

TEST_F(WaylandPasteEnvironment, AnX11TargetIsRaisedOnlyWhereItsWindowCanBeToldApart)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    xwayland.running = {4242};
    const RunningApplication x11Mousepad{4242, QStringLiteral("Mousepad"), QStringLiteral("Mousepad")};
    xwaylandApps.setRunning({x11Mousepad});
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    windows.setWindow({5, QStringLiteral("Mousepad"), false, std::nullopt});
    // A Wayland Mousepad beside the X11 one, listed under the same app_id, no processes named.
    windows.setWindow({6, QStringLiteral("Mousepad"), false, std::nullopt});

    PasteService service(pasteboard, makeLivePasteEnvironment(*desktop, scheduler));
    xwayland.front = 4242;
    xwaylandApps.setFrontmost(x11Mousepad);
    windows.setWindow({5, QStringLiteral("Mousepad"), true, std::nullopt});
    service.captureTarget();
    ASSERT_EQ(service.targetPID(), 4242);
    xwayland.front.reset();
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});

    service.pasteText(QStringLiteral("for the X11 window"));
    while (scheduler.runNext()) {
    }
    // Neither window is raised, no key goes out, and the user is told why.
    EXPECT_TRUE(windows.activationRequests().isEmpty());
    EXPECT_TRUE(xwayland.activated.isEmpty());
    EXPECT_TRUE(xwayland.pastedInto.isEmpty());
    EXPECT_EQ(keyboard.typedCount(), 0);
    EXPECT_EQ(service.queueStatus(),
              PasteService::PasteQueueStatus::cancelled(WaylandDesktop::indistinctWindow() + QLatin1Char(' ') + pressCtrlV));

    // The Wayland window itself is a target of its own: it gets the paste, the X11 one nothing.
    windows.setWindow({6, QStringLiteral("Mousepad"), true, std::nullopt});
    service.captureTarget();
    ASSERT_EQ(service.targetPID(), WaylandDesktop::targetForWindow(6));
    windows.setWindow({4, QStringLiteral("foot"), true, std::nullopt});
    service.pasteText(QStringLiteral("for the Wayland window"));
    while (scheduler.runNext()) {
    }
    EXPECT_EQ(windows.activationRequests(), QList<quint64>{6});
    EXPECT_EQ(keyboard.typedCount(), 1);
    EXPECT_TRUE(xwayland.pastedInto.isEmpty());

    // Where the compositor names each window's process (KDE Plasma), the X11 window is found by it.
    windows.setWindow({5, QStringLiteral("mousepad"), false, 4242});
    windows.setWindow({6, QStringLiteral("mousepad"), false, 5151});
    windows.setWindow({4, QStringLiteral("foot"), true, 6161});
    ASSERT_TRUE(desktop->activate(4242));
    EXPECT_EQ(windows.activationRequests(), (QList<quint64>{6, 5}));
    EXPECT_TRUE(desktop->pasteInto(4242));
    EXPECT_EQ(xwayland.pastedInto, QList<qint64>{4242});
}

TEST_F(WaylandPasteEnvironment, AStaleX11FocusGetsNoKeystrokeWhileAnotherAppsWindowIsActive)
{
    std::unique_ptr<WaylandDesktop> desktop = makeDesktop(true, true);
    xwayland.running = {4242};
    // XWayland keeps its focus on the X11 window while KWin activates another program's window.
    xwayland.front = 4242;
    windows.setWindow({5, QStringLiteral("mousepad"), false, 4242});
    windows.setWindow({6, QStringLiteral("mousepad"), true, 5151});
    EXPECT_FALSE(desktop->keyboardFocusBelongsTo(4242));
    EXPECT_FALSE(desktop->pasteInto(4242));
    EXPECT_TRUE(xwayland.pastedInto.isEmpty());
    windows.setWindow({5, QStringLiteral("mousepad"), true, 4242});
    EXPECT_TRUE(desktop->keyboardFocusBelongsTo(4242));
    EXPECT_TRUE(desktop->pasteInto(4242));
}

TEST(ControlVKeys, AreFoundInTheKeymapInUse)
{
    const QByteArray us = ControlVKeys::defaultKeymap();
    ASSERT_FALSE(us.isEmpty());
    // evdev: KEY_LEFTCTRL 29, KEY_V 47; Control is the third modifier.
    EXPECT_EQ(ControlVKeys::fromKeymap(us), (ControlVKeys{29, 47, 4}));

    // In a Dvorak layout v sits where the US layout has the full stop.
    qputenv("XKB_DEFAULT_LAYOUT", "us");
    qputenv("XKB_DEFAULT_VARIANT", "dvorak");
    const QByteArray dvorak = ControlVKeys::defaultKeymap();
    qunsetenv("XKB_DEFAULT_LAYOUT");
    qunsetenv("XKB_DEFAULT_VARIANT");
    const std::optional<ControlVKeys> keys = ControlVKeys::fromKeymap(dvorak);
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->v, 52u);
    EXPECT_EQ(keys->control, 29u);

    EXPECT_FALSE(ControlVKeys::fromKeymap("not a keymap"));
    EXPECT_FALSE(ControlVKeys::fromKeymap({}));
}
