// Pasting into another program on a private X server with a window manager: our own window has
// the focus (as a panel would), and the clip must arrive in the other program's line edit.
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/x11/X11Connection.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "PeerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QUuid>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>
#include <xcb/xcb.h>

using namespace tolvi;
using namespace tolvi::test;
using Status = PasteService::PasteQueueStatus;

namespace {

class PasteX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.isValid());
        ASSERT_TRUE(desktop.canSendKeystrokes());
        ASSERT_TRUE(watcher.isValid());
        service = std::make_unique<PasteService>(board, makeLiveEnvironment());
        connectActivations(watcher, *service);

        ASSERT_TRUE(peer.start());
        const std::optional<quint32> window = peer.showWindow();
        ASSERT_TRUE(window.has_value());
        peerWindow = *window;
        ASSERT_TRUE(activatePeer());
        // A panel of ours opens: the destination is what was in front.
        service->captureTarget();
        ASSERT_EQ(service->targetPID(), peer.pid());
        own.resize(300, 200);
        own.show();
        ASSERT_TRUE(focusOwnWindow());
    }

    PasteService::Environment makeLiveEnvironment() { return makeLivePasteEnvironment(desktop, scheduler); }

    bool activatePeer()
    {
        return activateUntil(peerWindow, [&] { return desktop.frontmostPID() == peer.pid(); });
    }
    bool focusOwnWindow()
    {
        return activateUntil(quint32(own.winId()),
                             [&] { return desktop.frontmostPID() == QCoreApplication::applicationPid(); });
    }
    bool waitForStatus(const Status& status)
    {
        return waitUntil([&] { return service->queueStatus() == status; }, 5000);
    }
    static ClipboardItem rich(const QString& text)
    {
        return ClipboardItem(QUuid::createUuid(), text, 0.0, false, {}, std::nullopt,
                             ClipboardOriginalPayload::create(std::nullopt, "<b>" + text.toUtf8() + "</b>", {}));
    }

    X11Desktop desktop;
    X11ActivationWatcher watcher;
    QtScheduler scheduler;
    SystemPasteboard board;
    std::unique_ptr<PasteService> service;
    PeerProcess peer;
    quint32 peerWindow = 0;
    QWidget own;
};

} // namespace

TEST_F(PasteX11, PastesExactlyTheClipsTextIntoTheDestination)
{
    const QString text = QStringLiteral("Grüße, 🙂 & <tags> stay as they are");
    service->pasteItem(ClipboardItem(text));
    ASSERT_TRUE(peer.waitForText([&](const QString& current) { return current == text; }))
        << peer.lastText().toStdString() << " / " << service->queueStatus().reason.toStdString();
    EXPECT_EQ(service->queueStatus(), Status::idle());
    EXPECT_EQ(desktop.frontmostPID(), peer.pid());
}

TEST_F(PasteX11, HeldModifierDoesNotSpoilThePaste)
{
    // The user still holds Alt from the hot key when the paste goes out.
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("Alt_L")}), 0);
    service->pasteItem(ClipboardItem(QStringLiteral("with alt held")));
    const bool arrived = peer.waitForText([](const QString& current) { return current == QLatin1String("with alt held"); });
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("Alt_L")});
    EXPECT_TRUE(arrived) << peer.lastText().toStdString();
}

TEST_F(PasteX11, QueueOfThreeWithPasteNext)
{
    service->pasteItems({rich("one "), rich("two "), rich("three")});
    ASSERT_TRUE(waitForStatus(Status::ready(1, 3))) << service->queueStatus().reason.toStdString();
    ASSERT_TRUE(peer.waitForText([](const QString& t) { return t == QLatin1String("one "); }));

    ASSERT_TRUE(focusOwnWindow());
    service->pasteNextQueuedItem();
    ASSERT_TRUE(waitForStatus(Status::ready(2, 3))) << service->queueStatus().reason.toStdString();
    ASSERT_TRUE(peer.waitForText([](const QString& t) { return t == QLatin1String("one two "); }));

    ASSERT_TRUE(focusOwnWindow());
    service->pasteNextQueuedItem();
    ASSERT_TRUE(waitForStatus(Status::completedAll(3))) << service->queueStatus().reason.toStdString();
    EXPECT_TRUE(peer.waitForText([](const QString& t) { return t == QLatin1String("one two three"); }))
        << peer.lastText().toStdString();
}

TEST_F(PasteX11, ModalDialogPausesTheQueueAndAThirdProgramStopsIt)
{
    service->pasteItems({rich("first"), rich("second"), rich("third")});
    ASSERT_TRUE(waitForStatus(Status::ready(1, 3)));
    ASSERT_TRUE(peer.waitForText([](const QString& t) { return t == QLatin1String("first"); }));

    ASSERT_TRUE(peer.command("modal", "ok modal").has_value());
    ASSERT_TRUE(waitUntil([&] { return desktop.hasBlockingDialog(peer.pid()); }));
    ASSERT_TRUE(focusOwnWindow());
    service->pasteNextQueuedItem();
    ASSERT_TRUE(waitForStatus(Status::ready(1, 3))) << service->queueStatus().reason.toStdString();
    EXPECT_EQ(service->queueDestinationWarning(),
              QStringLiteral("Finish the dialog in the destination app, then choose Paste Next."));
    EXPECT_EQ(peer.lastText(), QStringLiteral("first"));

    // Another program comes to the front: the queue stops.
    PeerProcess third;
    ASSERT_TRUE(third.start());
    const std::optional<quint32> thirdWindow = third.showWindow();
    ASSERT_TRUE(thirdWindow.has_value());
    ASSERT_TRUE(activateUntil(*thirdWindow, [&] { return desktop.frontmostPID() == third.pid(); }));
    ASSERT_TRUE(waitForStatus(Status::cancelled(QStringLiteral("The destination app changed."))))
        << service->queueStatus().reason.toStdString();
    EXPECT_EQ(service->lastNonTolviPID(), third.pid());
}

TEST_F(PasteX11, ActivationNoticesDropNoWindowAndRepeats)
{
    const qint64 own = QCoreApplication::applicationPid();
    // Let notices of the set-up's own activations arrive first.
    waitUntil([] { return false; }, 150);
    QList<qint64> notices;
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, [&](qint64 pid) { notices.append(pid); });

    ASSERT_TRUE(activatePeer());
    ASSERT_TRUE(waitUntil([&] { return !notices.isEmpty(); }));
    EXPECT_EQ(notices, QList<qint64>{peer.pid()});

    // The active window becomes none, then the same program's window again: neither is a new
    // activation.
    std::unique_ptr<X11Connection> connection = X11Connection::open();
    ASSERT_TRUE(connection);
    const auto setActive = [&](std::uint32_t window) {
        xcb_change_property(connection->raw(), XCB_PROP_MODE_REPLACE, connection->root(),
                            connection->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &window);
        xcb_flush(connection->raw());
        return waitUntil([&] { return connection->value32(connection->root(), "_NET_ACTIVE_WINDOW") == window; }) &&
               !waitUntil([&] { return notices.size() > 1; }, 200);
    };
    EXPECT_TRUE(setActive(0));
    EXPECT_TRUE(setActive(peerWindow));

    ASSERT_TRUE(focusOwnWindow());
    ASSERT_TRUE(waitUntil([&] { return notices.size() > 1; }));
    EXPECT_EQ(notices, QList<qint64>({peer.pid(), own}));

    // The descriptions name the program by its window class.
    EXPECT_EQ(desktop.describe(peer.pid()),
              QStringLiteral("TolviTestPeer [TolviTestPeer] (PID %1)").arg(peer.pid()));
    EXPECT_EQ(desktop.describe(own), QStringLiteral("PasteX11Test [PasteX11Test] (PID %1)").arg(own));
}

TEST_F(PasteX11, DialogProbeAnswersPromptlyForAFrozenProgram)
{
    ASSERT_TRUE(peer.command("modal", "ok modal").has_value());
    ASSERT_TRUE(waitUntil([&] { return desktop.hasBlockingDialog(peer.pid()); }));
    peer.suspend();
    QElapsedTimer timer;
    timer.start();
    const bool dialog = desktop.hasBlockingDialog(peer.pid());
    const bool plainWindow = desktop.hasBlockingDialog(QCoreApplication::applicationPid());
    const qint64 elapsed = timer.elapsed();
    peer.resume();
    EXPECT_TRUE(dialog);
    EXPECT_FALSE(plainWindow);
    EXPECT_LT(elapsed, 1000);
}

TEST(X11DesktopProcesses, RunningDescribeAndActivateUnknown)
{
    X11Desktop desktop;
    const qint64 own = QCoreApplication::applicationPid();
    EXPECT_TRUE(X11Desktop::isRunning(own));
    EXPECT_FALSE(X11Desktop::isRunning(0));
    // A window may claim any 32-bit process id; one past pid_t must not wrap onto a process
    // group or onto our own id.
    EXPECT_FALSE(X11Desktop::isRunning(0xFFFFFFFFLL));
    EXPECT_FALSE(X11Desktop::isRunning((qint64(1) << 32) + own));
    EXPECT_FALSE(X11Desktop::isRunning((qint64(1) << 32) - ::getpgrp()));
    EXPECT_FALSE(desktop.activate(4194304 + 7));
    EXPECT_EQ(desktop.describe(std::nullopt), std::nullopt);
    EXPECT_EQ(desktop.describe(4194304 + 7), QStringLiteral("Unavailable process (PID 4194311)"));
    // XTEST on an X11 display is the right to send keystrokes; a Wayland session gives an X11
    // client no such right even though its display has the extension.
    EXPECT_TRUE(desktop.canSendKeystrokes());
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_FALSE(desktop.canSendKeystrokes());
    qunsetenv("WAYLAND_DISPLAY");
    const std::optional<QByteArray> sessionType =
        qEnvironmentVariableIsSet("XDG_SESSION_TYPE") ? std::optional(qgetenv("XDG_SESSION_TYPE")) : std::nullopt;
    qputenv("XDG_SESSION_TYPE", "wayland");
    EXPECT_FALSE(desktop.canSendKeystrokes());
    qputenv("XDG_SESSION_TYPE", "x11");
    EXPECT_TRUE(desktop.canSendKeystrokes());
    if (sessionType)
        qputenv("XDG_SESSION_TYPE", *sessionType);
    else
        qunsetenv("XDG_SESSION_TYPE");

    // Our own process has no window here: its description names no identifier.
    EXPECT_EQ(desktop.describe(own), QStringLiteral("Unknown app [no bundle identifier] (PID %1)").arg(own));
}
