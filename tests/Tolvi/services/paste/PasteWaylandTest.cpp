// Pasting in a headless sway session (tests/support/with-sway), as Tolvi does there: the app in
// front from the compositor's window list (or XWayland's active window), activation through the
// compositor, Ctrl+V from a virtual keyboard for Wayland windows and XTest for X11 ones. The
// targets are the Qt test peer, run once as a Wayland-native client and once under XWayland; it
// reports what its line edit received.
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/ClipboardPasteboardWriter.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/FakeInputKeyboard.h"
#include "Tolvi/platform/wayland/ForeignToplevelWindows.h"
#include "Tolvi/platform/wayland/PlasmaToplevelWindows.h"
#include "Tolvi/platform/wayland/VirtualKeyboard.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"
#include "Tolvi/platform/wayland/WaylandDesktop.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include "CaptureTestSupport.h"
#include "PeerProcess.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QProcess>
#include <QUuid>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

// The Wayland window that holds the focus when the test starts (with-sway's foot terminal; when the
// test is run by hand in another compositor, whichever window the variable names).
const QString footAppId = qEnvironmentVariable("TOLVI_TEST_OTHER_APP_ID", QStringLiteral("tolvi-test-foot"));

// Copies as the session's user, through data control (wl-copy).
bool copyInSession(const QString& text)
{
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), qEnvironmentVariable("TOLVI_TEST_SWAY_RUN") + QStringLiteral(" wl-copy")});
    if (!process.waitForStarted(eventTimeoutMs))
        return false;
    process.write(text.toUtf8());
    process.closeWriteChannel();
    return process.waitForFinished(eventTimeoutMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class PasteWayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = WaylandConnection::connect();
        ASSERT_TRUE(connection) << "no compositor at WAYLAND_DISPLAY";
        clipboard = DataControlClipboard::create(*connection);
        ASSERT_TRUE(clipboard) << "the compositor offers no data control";
        // sway here; KWin too, where the test is run by hand inside it.
        windows = ForeignToplevelWindows::create(*connection);
        if (!windows)
            windows = PlasmaToplevelWindows::create(*connection);
        ASSERT_TRUE(windows) << "the compositor lists no windows";
        keyboard = VirtualKeyboard::create(*connection);
        if (!keyboard)
            keyboard = FakeInputKeyboard::create(*connection);
        ASSERT_TRUE(keyboard) << "the compositor offers no keyboard of ours";
        connection->startDispatching();
        ASSERT_TRUE(x11.isValid()) << "no XWayland display";
        desktop = std::make_unique<WaylandDesktop>(WaylandDesktop::Parts{
            x11, x11, [this] { return x11.hasXTest(); }, windows.get(), keyboard.get(),
            [this] { return x11.applicationWindows(); }});
        service = std::make_unique<PasteService>(clipboard->pasteboard(), makeLivePasteEnvironment(*desktop, scheduler));
        ASSERT_TRUE(waitUntil([this] { return keyboard->isReady(); }));
    }
    void TearDown() override
    {
        service.reset();
        peer.stop();
        if (connection)
            connection->stopDispatching();
        keyboard.reset();
        windows.reset();
        clipboard.reset();
        connection.reset();
    }

    // The activated window's app_id, once the compositor says one other than foot's is.
    std::optional<ToplevelWindow> activatedPeerWindow()
    {
        std::optional<ToplevelWindow> found;
        waitUntil([&] {
            found = windows->activatedWindow();
            return found && found->appId != footAppId;
        });
        if (found && found->appId == footAppId)
            return std::nullopt;
        return found;
    }

    // Gives the focus to the foot terminal, away from the peer, as the compositor's task bar would.
    bool focusFoot()
    {
        std::optional<quint64> foot;
        for (const ToplevelWindow& window : windows->windows()) {
            if (window.appId == footAppId)
                foot = window.id;
        }
        if (!foot || !windows->activate(*foot))
            return false;
        return waitUntil([this] {
            const std::optional<ToplevelWindow> active = windows->activatedWindow();
            return active && active->appId == footAppId && !x11.frontmostPID();
        });
    }

    void startPeer(const QString& platform)
    {
        peer.setPlatform(platform);
        ASSERT_TRUE(peer.start());
        ASSERT_TRUE(peer.showWindow());
    }

    bool pasted(const QString& text)
    {
        bool arrived = peer.waitForText([&](const QString& received) { return received == text; });
        return arrived;
    }

    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<DataControlClipboard> clipboard;
    std::unique_ptr<ToplevelWindows> windows;
    std::unique_ptr<WaylandKeyboard> keyboard;
    X11Desktop x11;
    std::unique_ptr<WaylandDesktop> desktop;
    QtScheduler scheduler;
    std::unique_ptr<PasteService> service;
    PeerProcess peer;
};

} // namespace

TEST_F(PasteWayland, PastesIntoAWaylandNativeWindowThroughTheVirtualKeyboard)
{
    startPeer(QStringLiteral("wayland"));
    const std::optional<ToplevelWindow> target = activatedPeerWindow();
    ASSERT_TRUE(target) << "the peer's window never became the activated one";
    EXPECT_FALSE(x11.frontmostPID()) << "no X11 window may be in front";

    service->captureTarget();
    ASSERT_EQ(service->targetPID(), WaylandDesktop::targetForWindow(target->id));
    // The user went elsewhere meanwhile: the paste must bring the peer back first.
    ASSERT_TRUE(focusFoot());

    const QString text = QStringLiteral("Grüße aus Wayland – %1").arg(1);
    service->pasteText(text);
    EXPECT_TRUE(pasted(text)) << "the peer received: " << peer.lastText().toStdString()
                              << "; status: " << service->queueStatus().reason.toStdString();
    EXPECT_EQ(service->queueStatus(), PasteService::PasteQueueStatus::idle());
    EXPECT_EQ(windows->activatedWindow().value_or(ToplevelWindow{}).id, target->id);
}

TEST_F(PasteWayland, PastesIntoAnX11WindowThroughXTest)
{
    startPeer(QStringLiteral("xcb"));
    // XWayland and the compositor's window list both say so (KWin tells them apart a moment apart).
    ASSERT_TRUE(waitUntil([this] { return x11.frontmostPID() == peer.pid() && desktop->frontmostPID() == peer.pid(); }))
        << "the peer's X11 window never became active";
    service->captureTarget();
    ASSERT_EQ(service->targetPID(), peer.pid());
    ASSERT_TRUE(focusFoot());

    const QString text = QStringLiteral("into XWayland, %1").arg(2);
    service->pasteText(text);
    EXPECT_TRUE(pasted(text)) << "the peer received: " << peer.lastText().toStdString()
                              << "; status: " << service->queueStatus().reason.toStdString();
    EXPECT_EQ(service->queueStatus(), PasteService::PasteQueueStatus::idle());
}

TEST_F(PasteWayland, TheFocusCheckRefusesATargetThatDoesNotHoldTheFocus)
{
    startPeer(QStringLiteral("wayland"));
    const std::optional<ToplevelWindow> target = activatedPeerWindow();
    ASSERT_TRUE(target);
    const qint64 peerTarget = WaylandDesktop::targetForWindow(target->id);
    ASSERT_TRUE(ClipboardPasteboardWriter::writeText(QStringLiteral("must not arrive"), clipboard->pasteboard(),
                                                     Pasteboard::WriteKind::paste));
    ASSERT_TRUE(focusFoot());

    // foot holds the focus: nothing is typed, neither into the peer nor into foot.
    EXPECT_FALSE(desktop->keyboardFocusBelongsTo(peerTarget));
    EXPECT_FALSE(desktop->pasteInto(peerTarget));
    // A target that went away is refused too.
    EXPECT_FALSE(desktop->pasteInto(WaylandDesktop::targetForWindow(target->id + 1000)));
    EXPECT_FALSE(peer.waitForText([](const QString& text) { return !text.isEmpty(); }, 500));

    // With the peer activated again, the same check lets the keystroke through.
    ASSERT_TRUE(desktop->activate(peerTarget));
    ASSERT_TRUE(waitUntil([&] { return desktop->keyboardFocusBelongsTo(peerTarget); }));
    EXPECT_TRUE(desktop->pasteInto(peerTarget));
    EXPECT_TRUE(pasted(QStringLiteral("must not arrive")));
}

TEST_F(PasteWayland, ACopyIsCreditedToTheWaylandAppThatMadeIt)
{
    std::unique_ptr<ClipboardStore> store = makeStore();
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions(settings);
    SwitchablePreferences preferences;
    ManualScheduler pollScheduler;
    QStringList logs;
    PasteboardMonitor monitor(PasteboardMonitor::Dependencies{
        clipboard->pasteboard(), *store, exclusions, preferences, pollScheduler,
        [this] { return PasteboardMonitor::frontmostSourceApplication(*desktop); },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [&logs](const QString& line) { logs.append(line); }});
    connection->roundtrip();
    QCoreApplication::processEvents();
    monitor.start(false);
    QObject::connect(&clipboard->pasteboard(), &DataControlPasteboard::changed, &monitor, [&monitor] {
        if (monitor.isRunning())
            monitor.poll();
    });

    startPeer(QStringLiteral("wayland"));
    const std::optional<ToplevelWindow> target = activatedPeerWindow();
    ASSERT_TRUE(target);
    ASSERT_FALSE(target->appId.isEmpty());
    // The monitor's regular look sees the peer in front before the copy.
    monitor.poll();
    // The copy is made while the peer's window holds the focus, the way a user copies there: the
    // selection is set through wl-copy, since sway gives a client's own selection request a
    // serial only after real input, which a headless seat does not have.
    ASSERT_TRUE(copyInSession(QStringLiteral("copied in a Wayland window")));
    ASSERT_TRUE(waitUntil([&] { return store->itemCount() == 1; })) << logs.join(QLatin1Char('|')).toStdString();
    const ClipboardItem item = store->itemAt(0);
    EXPECT_EQ(item.content().textValue(), QStringLiteral("copied in a Wayland window"));
    ASSERT_TRUE(item.sourceApp());
    EXPECT_EQ(item.sourceApp()->bundleIdentifier(), target->appId);

    // Excluding the app by that identifier keeps its next copy out.
    exclusions.add(target->appId, target->appId);
    ASSERT_TRUE(copyInSession(QStringLiteral("copied after the exclusion")));
    waitUntil([&] { return store->itemCount() > 1; }, 1000);
    EXPECT_EQ(store->itemCount(), 1);
}

namespace {

// A clip with a kept representation: several of them are pasted one by one, as a queue.
ClipboardItem richClip(const QString& text)
{
    return ClipboardItem(QUuid::createUuid(), text, 0.0, false, {}, std::nullopt,
                         ClipboardOriginalPayload::create(std::nullopt, "<b>" + text.toUtf8() + "</b>", {}));
}

} // namespace

TEST_F(PasteWayland, AQueueIntoAWaylandWindowCompletesWithOurPanelOpenedBetweenItems)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb")) << "our panel must be an XWayland window";
    // As Tolvi wires it: the X11 program and the listed window that come to the front.
    X11ActivationWatcher watcher;
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, service.get(),
                     [this](qint64 pid) { service->applicationActivated(pid); });
    QPointer<PasteService> guarded(service.get());
    windows->setActivationHandler([this, guarded](quint64 id) {
        QMetaObject::invokeMethod(guarded, [this, guarded, id] {
            if (guarded && desktop->frontmostPID() == WaylandDesktop::targetForWindow(id))
                guarded->applicationActivated(WaylandDesktop::targetForWindow(id));
        });
    });

    startPeer(QStringLiteral("wayland"));
    const std::optional<ToplevelWindow> target = activatedPeerWindow();
    ASSERT_TRUE(target);
    ASSERT_TRUE(peer.command("clear-text", "ok"));
    service->captureTarget();
    ASSERT_EQ(service->targetPID(), WaylandDesktop::targetForWindow(target->id));

    service->pasteItems({richClip(QStringLiteral("one ")), richClip(QStringLiteral("two ")),
                         richClip(QStringLiteral("three"))});
    ASSERT_TRUE(waitUntil([this] { return service->queueStatus() == PasteService::PasteQueueStatus::ready(1, 3); }))
        << service->queueStatus().reason.toStdString();
    ASSERT_TRUE(pasted(QStringLiteral("one ")));

    QWidget panel;
    panel.setWindowTitle(QStringLiteral("Tolvi panel"));
    panel.resize(300, 200);
    for (int step = 2; step <= 3; ++step) {
        // The user opens our panel and chooses Paste Next there; the panel hides first.
        panel.show();
        std::optional<quint64> listedPanel;
        ASSERT_TRUE(waitUntil([&] {
            for (const ToplevelWindow& window : windows->windows()) {
                if (window.appId == QCoreApplication::applicationName())
                    listedPanel = window.id;
            }
            return listedPanel.has_value();
        })) << "sway never listed our panel";
        ASSERT_TRUE(windows->activate(*listedPanel));
        ASSERT_TRUE(waitUntil([&] {
            const std::optional<ToplevelWindow> active = windows->activatedWindow();
            return active && active->id == *listedPanel && x11.frontmostPID() == QCoreApplication::applicationPid();
        })) << "our panel never took the focus";
        ASSERT_EQ(service->queueStatus(), PasteService::PasteQueueStatus::ready(step - 1, 3))
            << service->queueStatus().reason.toStdString();
        panel.hide();
        service->pasteNextQueuedItem();
        const QString expected = step == 2 ? QStringLiteral("one two ") : QStringLiteral("one two three");
        EXPECT_TRUE(pasted(expected)) << "step " << step << ": the peer received " << peer.lastText().toStdString()
                                      << "; status: " << service->queueStatus().reason.toStdString();
    }
    EXPECT_TRUE(waitUntil([this] { return service->queueStatus() == PasteService::PasteQueueStatus::completedAll(3); }))
        << service->queueStatus().reason.toStdString();
    windows->setActivationHandler({});
}

TEST_F(PasteWayland, OfTwoWindowsWithOneAppIdTheExactOneGetsThePasteOrNoneDoes)
{
    // The same program as an X11 client and as a Wayland client: both listed as "TolviTestPeer".
    PeerProcess x11Peer;
    x11Peer.setPlatform(QStringLiteral("xcb"));
    ASSERT_TRUE(x11Peer.start());
    ASSERT_TRUE(x11Peer.showWindow());
    ASSERT_TRUE(waitUntil([&] { return desktop->frontmostPID() == x11Peer.pid(); }));
    const std::optional<ToplevelWindow> x11Window = activatedPeerWindow();
    ASSERT_TRUE(x11Window);
    startPeer(QStringLiteral("wayland"));
    std::optional<ToplevelWindow> waylandWindow;
    ASSERT_TRUE(waitUntil([&] {
        waylandWindow = windows->activatedWindow();
        return waylandWindow && waylandWindow->id != x11Window->id && waylandWindow->appId != footAppId;
    }));
    ASSERT_EQ(waylandWindow->appId, x11Window->appId);

    // The Wayland window as the target: it gets the paste, the X11 one nothing.
    service->captureTarget();
    ASSERT_EQ(service->targetPID(), WaylandDesktop::targetForWindow(waylandWindow->id));
    ASSERT_TRUE(focusFoot());
    service->pasteText(QStringLiteral("for the Wayland window"));
    EXPECT_TRUE(pasted(QStringLiteral("for the Wayland window"))) << service->queueStatus().reason.toStdString();
    EXPECT_FALSE(x11Peer.waitForText([](const QString& text) { return !text.isEmpty(); }, 300));

    // The X11 window as the target: which listed window is it cannot be told, so nothing is
    // raised or typed, and the user is told.
    ASSERT_TRUE(x11Peer.command("activate", "ok"));
    ASSERT_TRUE(windows->activate(x11Window->id));
    ASSERT_TRUE(waitUntil([&] { return desktop->frontmostPID() == x11Peer.pid(); }));
    service->captureTarget();
    ASSERT_EQ(service->targetPID(), x11Peer.pid());
    ASSERT_TRUE(focusFoot());
    service->pasteText(QStringLiteral("for the X11 window"));
    EXPECT_TRUE(waitUntil([this] { return service->queueStatus().kind == PasteService::PasteQueueStatus::Kind::cancelled; }));
    EXPECT_EQ(service->queueStatus().reason,
              WaylandDesktop::indistinctWindow() + QLatin1Char(' ') + desktop->pasteByHandHint());
    const auto arrived = [](const QString& text) { return text.contains(QStringLiteral("for the X11 window")); };
    EXPECT_FALSE(x11Peer.waitForText(arrived, 300));
    EXPECT_FALSE(peer.waitForText(arrived, 300));
    EXPECT_EQ(windows->activatedWindow().value_or(ToplevelWindow{}).appId, footAppId);
    x11Peer.stop();
}
