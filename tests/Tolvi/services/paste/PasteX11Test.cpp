// Pasting into another program on a private X server with a window manager: our own window has
// the focus (as a panel would), and the clip must arrive in the other program's line edit, or in
// a Tk text window while a terminal is open beside it, and never in the terminal.
#include "Tolvi/menu/TrayController.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/services/capture/Scheduler.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/x11/X11Connection.h"
#include "Tolvi/platform/x11/X11Desktop.h"

#include "PeerProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>

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
        return waitUntil([&] { return service->queueStatus() == status; });
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

namespace {

std::uint32_t parentOf(std::uint32_t window)
{
    std::unique_ptr<X11Connection> connection = X11Connection::open();
    if (!connection)
        return 0;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection->raw(), xcb_query_tree(connection->raw(), window), nullptr);
    const std::uint32_t parent = tree ? tree->parent : 0;
    std::free(tree);
    return parent;
}

// A wish text window (TkEditor.tcl). Tk's top-level is a wrapper window that the window manager
// manages, holding the widget's own window.
class TkEditor {
public:
    ~TkEditor()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }

    bool start(const QStringList& arguments = {})
    {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("wish"),
                       QStringList{QStringLiteral(TOLVI_TK_EDITOR_SCRIPT), QStringLiteral("--")} + arguments);
        const auto shown = [&] {
            read();
            return inner_ != 0;
        };
        if (!process_.waitForStarted(eventTimeoutMs) || !waitUntil(shown))
            return false;
        window_ = parentOf(inner_);
        return window_ != 0;
    }
    qint64 pid() const { return process_.processId(); }
    std::uint32_t window() const { return window_; }
    QString text() const { return text_; }
    bool waitForText(const QString& expected, int timeoutMs = eventTimeoutMs)
    {
        return waitUntil(
            [&] {
                read();
                return text_ == expected;
            },
            timeoutMs);
    }

private:
    void read()
    {
        buffer_.append(process_.readAllStandardOutput());
        qsizetype end;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            if (line.startsWith("window "))
                inner_ = line.mid(7).toUInt(nullptr, 0);
            else if (line.startsWith("text "))
                text_ = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        }
    }

    QProcess process_;
    QByteArray buffer_;
    std::uint32_t inner_ = 0;
    std::uint32_t window_ = 0;
    QString text_;
};

// An xterm whose shell writes everything typed into it, raw (a Ctrl+V is byte 0x16), to a file.
class Terminal {
public:
    ~Terminal()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }

    bool start(X11Desktop& desktop)
    {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("xterm"), {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                 QStringLiteral("stty raw -echo; exec cat > \"$0\""), path_});
        if (!process_.waitForStarted(eventTimeoutMs))
            return false;
        // The shell names the file only after switching the terminal to raw input.
        return waitUntil([&] { return QFile::exists(path_) && !desktop.windowsOfProcess(pid()).isEmpty(); }) &&
               (window_ = desktop.windowsOfProcess(pid()).constLast()) != 0;
    }
    qint64 pid() const { return process_.processId(); }
    std::uint32_t window() const { return window_; }
    QByteArray received() const
    {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    // Nothing arrives within a while (typing reaches a terminal within milliseconds).
    bool staysEmpty() const
    {
        return !waitUntil([&] { return !received().isEmpty(); }, 300);
    }

private:
    QTemporaryDir directory_;
    QString path_ = directory_.filePath(QStringLiteral("typed"));
    QProcess process_;
    std::uint32_t window_ = 0;
};

class PasteIntoTk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.isValid());
        ASSERT_TRUE(desktop.canSendKeystrokes());
        ASSERT_TRUE(watcher.isValid());
        service = std::make_unique<PasteService>(board, makeLivePasteEnvironment(desktop, scheduler));
        connectActivations(watcher, *service);
        ASSERT_TRUE(terminal.start(desktop));
        ASSERT_TRUE(activateUntil(terminal.window(), [&] { return desktop.frontmostPID() == terminal.pid(); }));
        panel.resize(300, 200);
    }

    std::unique_ptr<TkEditor> openEditor(const QStringList& arguments = {})
    {
        auto editor = std::make_unique<TkEditor>();
        if (!editor->start(arguments) ||
            !activateUntil(editor->window(), [&] { return desktop.activeWindow() == editor->window(); }))
            return nullptr;
        return editor;
    }

    bool showPanel(QWidget& window)
    {
        window.show();
        return activateUntil(quint32(window.winId()),
                             [&] { return desktop.frontmostPID() == QCoreApplication::applicationPid(); });
    }

    // Our panel has the focus; choosing a clip hides it and pastes.
    bool pasteFromPanel(const QString& text)
    {
        if (!showPanel(panel))
            return false;
        panel.hide();
        service->pasteItem(ClipboardItem(text));
        return true;
    }

    X11Desktop desktop;
    X11ActivationWatcher watcher;
    QtScheduler scheduler;
    SystemPasteboard board;
    std::unique_ptr<PasteService> service;
    Terminal terminal;
    QWidget panel;
};

} // namespace

TEST_F(PasteIntoTk, TextLandsInTheTkWindowAndNeverInTheTerminal)
{
    // Tk names neither its process nor its machine unless told with `wm client`; a _NET_WM_PID
    // set from outside names no machine either.
    enum class Naming { nothing, processOnly, clientMachine };
    for (const Naming naming : {Naming::nothing, Naming::processOnly, Naming::clientMachine}) {
        SCOPED_TRACE(int(naming));
        const std::unique_ptr<TkEditor> editor =
            openEditor(naming == Naming::clientMachine
                           ? QStringList{QStringLiteral("--client-machine"), QString::fromUtf8(X11Connection::hostName())}
                           : QStringList{});
        ASSERT_TRUE(editor);
        if (naming == Naming::processOnly) {
            std::unique_ptr<X11Connection> connection = X11Connection::open();
            const std::uint32_t pid = std::uint32_t(editor->pid());
            xcb_change_property(connection->raw(), XCB_PROP_MODE_REPLACE, editor->window(),
                                connection->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
            std::free(xcb_get_input_focus_reply(connection->raw(), xcb_get_input_focus(connection->raw()), nullptr));
        }
        service->captureTarget();
        ASSERT_EQ(service->targetPID(), editor->pid());

        const QString text = QStringLiteral("echo pasted %1").arg(int(naming));
        ASSERT_TRUE(pasteFromPanel(text));
        EXPECT_TRUE(editor->waitForText(text))
            << editor->text().toStdString() << " / " << service->queueStatus().reason.toStdString();
        EXPECT_TRUE(terminal.staysEmpty()) << terminal.received().toHex().constData();
        EXPECT_EQ(service->queueStatus(), Status::idle());
    }
}

TEST_F(PasteIntoTk, PanelOpenedOverOurOwnWindowPastesIntoTheProgramBefore)
{
    const std::unique_ptr<TkEditor> editor = openEditor();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(waitUntil([&] { return service->lastNonTolviPID() == editor->pid(); }));
    // Another window of ours is in front when the panel opens: the destination is the program
    // before it, and hiding the panel hands the focus back to our other window first.
    QWidget other;
    other.resize(200, 100);
    ASSERT_TRUE(showPanel(other));
    service->captureTarget();
    ASSERT_EQ(service->targetPID(), editor->pid());
    ASSERT_TRUE(pasteFromPanel(QStringLiteral("via our other window")));
    EXPECT_TRUE(editor->waitForText(QStringLiteral("via our other window")))
        << editor->text().toStdString() << " / " << service->queueStatus().reason.toStdString();
    EXPECT_TRUE(terminal.staysEmpty()) << terminal.received().toHex().constData();
}

TEST_F(PasteIntoTk, WindowOfAnotherMachineGetsNoPasteAndNeitherDoesTheTerminal)
{
    // The terminal was the last program we could name; the window in front is a remote one.
    const std::unique_ptr<TkEditor> editor =
        openEditor({QStringLiteral("--client-machine"), QStringLiteral("elsewhere.invalid")});
    ASSERT_TRUE(editor);
    ASSERT_EQ(service->lastNonTolviPID(), terminal.pid());
    service->captureTarget();
    EXPECT_FALSE(service->targetPID().has_value());
    ASSERT_TRUE(pasteFromPanel(QStringLiteral("not for the terminal")));
    EXPECT_EQ(service->queueStatus(),
              Status::cancelled("The destination app is no longer available. The item remains on the clipboard."));
    EXPECT_TRUE(terminal.staysEmpty()) << terminal.received().toHex().constData();
    EXPECT_TRUE(editor->text().isEmpty());
    EXPECT_EQ(board.string(PasteboardTypes::plainText), QStringLiteral("not for the terminal"));
}

TEST_F(PasteIntoTk, KeystrokeGoesOnlyWhereTheKeyboardFocusIs)
{
    const std::unique_ptr<TkEditor> editor = openEditor();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(desktop.keyboardFocusBelongsTo(editor->pid()));
    EXPECT_FALSE(desktop.keyboardFocusBelongsTo(terminal.pid()));
    ASSERT_TRUE(activateUntil(terminal.window(), [&] { return desktop.keyboardFocusBelongsTo(terminal.pid()); }));
    EXPECT_FALSE(desktop.keyboardFocusBelongsTo(editor->pid()));
    EXPECT_FALSE(desktop.frontmostIsUnidentified());

    service->copyText(QStringLiteral("only into Tk"));
    EXPECT_FALSE(desktop.pasteInto(editor->pid()));
    EXPECT_TRUE(terminal.staysEmpty()) << terminal.received().toHex().constData();

    ASSERT_TRUE(activateUntil(editor->window(), [&] { return desktop.keyboardFocusBelongsTo(editor->pid()); }));
    EXPECT_TRUE(desktop.pasteInto(editor->pid()));
    EXPECT_TRUE(editor->waitForText(QStringLiteral("only into Tk"))) << editor->text().toStdString();
    EXPECT_TRUE(terminal.received().isEmpty());
}

TEST_F(PasteIntoTk, FocusKeptInTheTerminalMeansNothingIsTyped)
{
    const std::unique_ptr<TkEditor> editor = openEditor();
    ASSERT_TRUE(editor);
    ASSERT_TRUE(showPanel(panel));

    // The window manager's record names the Tk window as the active one, but the keyboard stays
    // in the terminal, and asking for the Tk window changes nothing.
    PasteService::Environment environment = makeLivePasteEnvironment(desktop, scheduler);
    environment.activate = [](PasteService::Pid) { return true; };
    service = std::make_unique<PasteService>(board, environment);
    service->applicationActivated(editor->pid());
    std::unique_ptr<X11Connection> connection = X11Connection::open();
    ASSERT_TRUE(connection);
    const auto misdirect = [&] {
        if (!desktop.keyboardFocusBelongsTo(terminal.pid()))
            xcb_set_input_focus(connection->raw(), XCB_INPUT_FOCUS_POINTER_ROOT, terminal.window(), XCB_CURRENT_TIME);
        if (desktop.activeWindow() != editor->window()) {
            const std::uint32_t active = editor->window();
            xcb_change_property(connection->raw(), XCB_PROP_MODE_REPLACE, connection->root(),
                                connection->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &active);
        }
        xcb_flush(connection->raw());
    };
    QTimer keeper;
    QObject::connect(&keeper, &QTimer::timeout, misdirect);
    keeper.start(5);
    ASSERT_TRUE(waitUntil([&] {
        return desktop.frontmostPID() == editor->pid() && desktop.keyboardFocusBelongsTo(terminal.pid());
    }));
    panel.hide();
    service->pasteItem(ClipboardItem(QStringLiteral("held elsewhere")));
    // A single paste is pending until it is posted or given up.
    ASSERT_TRUE(waitUntil([&] { return !service->activeTargetPID().has_value(); }));
    keeper.stop();
    EXPECT_EQ(service->queueStatus().kind, Status::Kind::cancelled);
    EXPECT_TRUE(terminal.staysEmpty()) << terminal.received().toHex().constData();
    EXPECT_TRUE(editor->text().isEmpty());
}

namespace {

QAction* findAction(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->menu()) {
            if (QAction* found = findAction(*action->menu(), text))
                return found;
        } else if (action->text().contains(text)) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

TEST_F(PasteX11, TrayMenuClipGoesToTheProgramInFrontWhenTheMenuOpens)
{
    // A panel was opened over the peer earlier (the set-up). The user is now in another program
    // and chooses a clip in the tray menu: it is for that program, and the peer stays untouched.
    PeerProcess other;
    ASSERT_TRUE(other.start());
    const std::optional<quint32> otherWindow = other.showWindow();
    ASSERT_TRUE(otherWindow.has_value());
    ASSERT_TRUE(activateUntil(*otherWindow, [&] { return desktop.frontmostPID() == other.pid(); }));
    ASSERT_EQ(service->targetPID(), peer.pid());

    const ClipboardItem clip(QStringLiteral("chosen in the tray menu"));
    MenuBarContent snapshot;
    snapshot.recentItems = {clip};
    TrayController tray([&] { return snapshot; },
                        [&](const MenuBarEntry& entry) {
                            if (entry.action == MenuBarAction::PasteItem && entry.clipID == clip.id())
                                service->pasteItem(clip);
                        },
                        [&] { service->captureTarget(); });
    ASSERT_TRUE(waitUntil([&] { return findAction(*tray.menu(), QStringLiteral("chosen in the tray menu")) != nullptr; }));
    tray.menu()->popup(QPoint(200, 200));
    ASSERT_TRUE(waitUntil([&] { return tray.menu()->isVisible(); }));
    EXPECT_EQ(service->targetPID(), other.pid());
    QAction* action = findAction(*tray.menu(), QStringLiteral("chosen in the tray menu"));
    ASSERT_NE(action, nullptr);
    // Chosen with the keyboard, as a user would: the menu closes, then the clip is pasted.
    tray.menu()->setActiveAction(action);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(tray.menu(), &enter);

    ASSERT_TRUE(other.waitForText([&](const QString& current) { return current == QStringLiteral("chosen in the tray menu"); }))
        << other.lastText().toStdString() << " / " << service->queueStatus().reason.toStdString();
    EXPECT_EQ(desktop.frontmostPID(), other.pid());
    EXPECT_TRUE(peer.lastText().isEmpty()) << peer.lastText().toStdString();
}
