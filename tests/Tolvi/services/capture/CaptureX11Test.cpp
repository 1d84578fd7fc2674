// Capture end to end on a private X server with a window manager: another program copies while
// its window is active, and the monitor records (or refuses) the copy.
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/x11/X11Desktop.h"
#include "Tolvi/platform/x11/X11Workspace.h"

#include "CaptureTestSupport.h"
#include "HungSelectionOwner.h"
#include "PeerProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;

namespace {

class CaptureX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile entry(entries.filePath(QStringLiteral("peer.desktop")));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Peer Editor\nStartupWMClass=TolviTestPeer\n");
        entry.close();
        workspace = std::make_unique<X11Workspace>(DesktopEntries({entries.path()}));
        ASSERT_TRUE(workspace->isValid());

        ASSERT_TRUE(peer.start());
        const std::optional<quint32> window = peer.showWindow();
        ASSERT_TRUE(window.has_value());
        peerWindow = *window;
        ASSERT_TRUE(activateUntil(*window, [&] { return workspace->activeWindow() == *window; }));

        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            board, *store, exclusions, preferences, scheduler,
            [this] { return PasteboardMonitor::frontmostSourceApplication(*workspace); },
            [this](const QByteArray& bytes, std::function<void(ImageRecognitionOutcome)>) { recognized.append(bytes); },
            [this](const QString& line) { logs.append(line); }});
        monitor->start(false);
    }
    void TearDown() override
    {
        monitor.reset();
        for (QProcess* process : xclips) {
            process->kill();
            process->waitForFinished(2000);
            delete process;
        }
    }

    // Runs the copy, waits until the clipboard moved, then polls once.
    bool copyAndPoll(const std::function<bool()>& copy, bool expectEmpty = false)
    {
        const qint64 before = board.changeCount();
        // Waits for this copy, not for a late notice of an earlier owner's exit.
        if (!copy() || !waitUntil([&] {
                return board.changeCount() != before &&
                       board.types().value_or(QStringList()).isEmpty() == expectEmpty;
            }))
            return false;
        monitor->poll();
        return true;
    }

    QTemporaryDir entries;
    std::unique_ptr<X11Workspace> workspace;
    PeerProcess peer;
    quint32 peerWindow = 0;
    // A long budget: a main thread held up by an owner that never answers would miss seconds.
    SystemPasteboard board{std::chrono::milliseconds(3000)};
    std::unique_ptr<ClipboardStore> store = makeStore();
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    SwitchablePreferences preferences;
    ManualScheduler scheduler;
    QStringList logs;
    QList<QByteArray> recognized;
    QList<QProcess*> xclips;
    std::unique_ptr<PasteboardMonitor> monitor;
};

} // namespace

TEST_F(CaptureX11, TextFromTheActiveProgramIsRecordedWithItAsSource)
{
    ASSERT_TRUE(copyAndPoll([&] { return peer.copyText(QStringLiteral("copied in the peer")); }));
    ASSERT_EQ(store->itemCount(), 1) << logs.join(QLatin1Char('|')).toStdString();
    const ClipboardItem item = store->itemAt(0);
    EXPECT_EQ(item.content().textValue(), QStringLiteral("copied in the peer"));
    ASSERT_TRUE(item.sourceApp().has_value());
    EXPECT_EQ(item.sourceApp()->bundleIdentifier(), QStringLiteral("TolviTestPeer"));
    EXPECT_EQ(item.sourceApp()->name(), QStringLiteral("Peer Editor"));
    EXPECT_EQ(logs, QStringList{"Tolvi recorded clipboard item"});
}

TEST_F(CaptureX11, RichTextKeepsItsBytesExactly)
{
    const QByteArray html = "<meta charset=\"utf-8\"><p style=\"x\">caf\xc3\xa9</p>\r\n";
    const QByteArray rtf = "{\\rtf1\\ansi caf\\'e9\\par}";
    ASSERT_TRUE(copyAndPoll([&] {
        return peer.copy({{"text/plain", "caf\xc3\xa9"}, {"text/html", html}, {"text/rtf", rtf}});
    }));
    ASSERT_EQ(store->itemCount(), 1);
    const ClipboardItem item = store->itemAt(0);
    EXPECT_EQ(item.content().textValue(), QStringLiteral("café"));
    ASSERT_TRUE(item.originalPayload().has_value());
    EXPECT_EQ(item.originalPayload()->html(), html);
    EXPECT_EQ(item.originalPayload()->rtf(), rtf);
}

TEST_F(CaptureX11, FileListBecomesFileReferences)
{
    ASSERT_TRUE(copyAndPoll([&] {
        QProcess* xclip = startXclip({"-quiet", "-selection", "clipboard", "-t", "text/uri-list", "-i"},
                                     "file:///tmp/report%202026.pdf\r\nfile:///tmp/notes.txt\r\n");
        xclips.append(xclip);
        return xclip != nullptr;
    }));
    ASSERT_EQ(store->itemCount(), 1) << logs.join(QLatin1Char('|')).toStdString();
    const ClipboardItem item = store->itemAt(0);
    EXPECT_EQ(item.content().textValue(), QStringLiteral("/tmp/report 2026.pdf\n/tmp/notes.txt"));
    ASSERT_TRUE(item.originalPayload().has_value());
    EXPECT_EQ(item.originalPayload()->fileURLs(),
              QStringList({"file:///tmp/report%202026.pdf", "file:///tmp/notes.txt"}));
}

TEST_F(CaptureX11, ImageIsRecordedByteForByteAndSentForRecognition)
{
    const QByteArray png = encodedImage(320, 200);
    ASSERT_TRUE(copyAndPoll([&] { return peer.copy({{"image/png", png}}); }));
    ASSERT_EQ(store->itemCount(), 1) << logs.join(QLatin1Char('|')).toStdString();
    const ClipboardImage& image = store->itemAt(0).content().imageValue();
    EXPECT_TRUE(image.data() == png);
    EXPECT_EQ(image.typeIdentifier(), T::png);
    EXPECT_EQ(image.pixelWidth(), 320);
    EXPECT_EQ(image.pixelHeight(), 200);
    ASSERT_EQ(recognized.size(), 1);
    EXPECT_TRUE(recognized.at(0) == png);
}

TEST_F(CaptureX11, SecretAndExcludedCopiesNeverLand)
{
    ASSERT_TRUE(copyAndPoll([&] { return peer.command("copy-secret hunter2", "ok copy-secret").has_value(); }));
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(logs.isEmpty());

    exclusions.add(QStringLiteral("TolviTestPeer"), QStringLiteral("Peer Editor"));
    ASSERT_TRUE(copyAndPoll([&] { return peer.copyText(QStringLiteral("from an excluded app")); }));
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(logs, QStringList{"Tolvi skipped excluded source app"});
}

TEST_F(CaptureX11, OwnerThatNeverAnswersIsSkippedWithoutHoldingUpTheMainThread)
{
    TickWatch ticker;
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    // The monitor looks at the copy by itself once the reading thread gives up on it.
    ASSERT_TRUE(waitUntil([&] { return !logs.isEmpty(); }, eventTimeoutMs));
    ticker.stop();
    EXPECT_LT(ticker.longestGap(), 1500);
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(logs, QStringList{"Tolvi skipped unsupported pasteboard types: none"});
}

// A copy replaced by the next before its owner answered is never read; the log says so.
TEST_F(CaptureX11, ACopyReplacedBeforeItWasReadIsLogged)
{
    int noticed = 0;
    QObject::connect(&board, &Pasteboard::changeNoticed, [&] { ++noticed; });
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    ASSERT_TRUE(waitUntil([&] { return noticed == 1; }));
    ASSERT_TRUE(peer.copyText(QStringLiteral("the copy that replaced it")));
    ASSERT_TRUE(waitUntil([&] { return store->itemCount() == 1; }, 10000)) << logs.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("the copy that replaced it"));
    EXPECT_EQ(logs, QStringList({"Tolvi skipped clipboard change replaced before it was read",
                                 "Tolvi recorded clipboard item"}));
}

TEST_F(CaptureX11, FiftyRapidCopiesAreAllRecordedInOrder)
{
    // How long one copy takes here, from xclip's start to the recorded item, as the machine is
    // loaded now.
    QElapsedTimer oneCopy;
    oneCopy.start();
    QProcess* first = startXclip({"-quiet", "-selection", "clipboard", "-i"}, QByteArrayLiteral("first"));
    ASSERT_NE(first, nullptr);
    xclips.append(first);
    ASSERT_TRUE(waitUntil([&] { return store->itemCount() == 1; })) << logs.join(QLatin1Char('|')).toStdString();
    const int spacing = int(std::max<qint64>(100, 2 * oneCopy.elapsed()));

    // 0.1 s apart (or twice one copy's time on a slow machine), far faster than the fallback
    // timer (which never fires here): every copy is taken when the pasteboard announces it.
    constexpr int copies = 50;
    for (int i = 0; i < copies; ++i) {
        QProcess* xclip = startXclipOwning({"-quiet", "-selection", "clipboard", "-i"},
                                           QStringLiteral("rapid %1").arg(i).toUtf8());
        ASSERT_NE(xclip, nullptr);
        xclips.append(xclip);
        pause(spacing);
    }
    ASSERT_TRUE(waitUntil([&] { return store->itemCount() >= copies + 1; }))
        << store->itemCount() << ": " << logs.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(store->itemCount(), copies + 1);
    for (int i = 0; i < copies; ++i)
        EXPECT_EQ(store->itemAt(i).content().textValue(), QStringLiteral("rapid %1").arg(copies - 1 - i));
    EXPECT_EQ(logs, QStringList(copies + 1, QStringLiteral("Tolvi recorded clipboard item")));
}

TEST_F(CaptureX11, CopyFollowedAtOnceBySwitchingIsCreditedToTheProgramItWasMadeIn)
{
    X11ActivationWatcher watcher;
    ASSERT_TRUE(watcher.isValid());
    QList<qint64> activated;
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, [&](qint64 pid) { activated.append(pid); });
    QObject::connect(&watcher, &X11ActivationWatcher::frontWindowChanged, [&] { monitor->frontApplicationChanged(); });
    QProcess terminal;
    terminal.start(QStringLiteral("xterm"), {"-class", "TolviTestTerm"});
    ASSERT_TRUE(terminal.waitForStarted(eventTimeoutMs));
    // The window manager puts the new terminal in front.
    ASSERT_TRUE(waitUntil([&] {
        const std::optional<RunningApplication> front = workspace->frontmostApplication();
        return front && front->identifier == QStringLiteral("TolviTestTerm");
    }));
    const quint32 terminalWindow = workspace->activeWindow();
    ASSERT_NE(terminalWindow, 0u);
    ASSERT_TRUE(peerWindow);
    ASSERT_TRUE(activateUntil(peerWindow, [&] { return workspace->activeWindow() == peerWindow; }));
    ASSERT_TRUE(activateUntil(terminalWindow, [&] { return workspace->activeWindow() == terminalWindow; }));
    ASSERT_TRUE(waitUntil([&] { return activated.contains(terminal.processId()); }));
    monitor->poll();

    constexpr int copies = 5;
    for (int i = 0; i < copies; ++i) {
        // The user comes to the peer (and Tolvi has heard of it) after a look at the clipboard
        // made while the terminal was in front.
        ASSERT_TRUE(activateUntil(peerWindow, [&] { return workspace->activeWindow() == peerWindow; }));
        ASSERT_TRUE(waitUntil([&] { return activated.contains(peer.pid()); }));
        // Copies, and switches away at once.
        activated.clear();
        ASSERT_TRUE(peer.copyText(QStringLiteral("copy then switch %1").arg(i)));
        QProcess::startDetached(QStringLiteral("xdotool"), {"windowactivate", QString::number(terminalWindow)});
        ASSERT_TRUE(waitUntil([&] { return store->itemCount() == i + 1; }))
            << logs.join(QLatin1Char('|')).toStdString();
        ASSERT_TRUE(waitUntil([&] { return activated.contains(terminal.processId()); }));
        // A tick of the fallback timer while the terminal is in front.
        monitor->poll();
    }
    for (int i = 0; i < copies; ++i) {
        const ClipboardItem item = store->itemAt(copies - 1 - i);
        EXPECT_EQ(item.content().textValue(), QStringLiteral("copy then switch %1").arg(i));
        ASSERT_TRUE(item.sourceApp().has_value());
        EXPECT_EQ(item.sourceApp()->bundleIdentifier(), QStringLiteral("TolviTestPeer"));
    }
    EXPECT_EQ(logs, QStringList(copies, QStringLiteral("Tolvi recorded clipboard item")));
    terminal.kill();
    terminal.waitForFinished(2000);
}

TEST_F(CaptureX11, FilesCopiedInFileManagersAreRecorded)
{
    // PCManFM's list, ended by a NUL.
    ASSERT_TRUE(copyAndPoll([&] {
        QProcess* xclip = startXclip({"-quiet", "-selection", "clipboard", "-t", "text/uri-list", "-i"},
                                     QByteArray("file:///tmp/x\0", 14));
        xclips.append(xclip);
        return xclip != nullptr;
    }));
    // GNOME's list alone.
    ASSERT_TRUE(copyAndPoll([&] {
        QProcess* xclip = startXclip({"-quiet", "-selection", "clipboard", "-t", "x-special/gnome-copied-files", "-i"},
                                     "copy\nfile:///tmp/one.txt\nfile:///tmp/two%20words.txt");
        xclips.append(xclip);
        return xclip != nullptr;
    }));
    ASSERT_EQ(store->itemCount(), 2) << logs.join(QLatin1Char('|')).toStdString();
    const ClipboardItem gnome = store->itemAt(0);
    EXPECT_EQ(gnome.content().textValue(), QStringLiteral("/tmp/one.txt\n/tmp/two words.txt"));
    ASSERT_TRUE(gnome.originalPayload().has_value());
    EXPECT_EQ(gnome.originalPayload()->fileURLs(), QStringList({"file:///tmp/one.txt", "file:///tmp/two%20words.txt"}));
    const ClipboardItem pcmanfm = store->itemAt(1);
    EXPECT_EQ(pcmanfm.content().textValue(), QStringLiteral("/tmp/x"));
    ASSERT_TRUE(pcmanfm.originalPayload().has_value());
    EXPECT_EQ(pcmanfm.originalPayload()->fileURLs(), QStringList{"file:///tmp/x"});
}

TEST_F(CaptureX11, OwnerExitEmptiesTheClipboardWithoutARecord)
{
    // xclip owns the selection without a window of its own, so the active program stays the same.
    ASSERT_TRUE(copyAndPoll([&] {
        QProcess* xclip = startXclip({"-quiet", "-selection", "clipboard", "-i"}, "kept");
        xclips.append(xclip);
        return xclip != nullptr;
    }));
    ASSERT_EQ(store->itemCount(), 1);
    ASSERT_TRUE(copyAndPoll([&] {
        xclips.last()->kill();
        return xclips.last()->waitForFinished(2000);
    }, true));
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_EQ(logs, QStringList({"Tolvi recorded clipboard item", "Tolvi skipped unsupported pasteboard types: "}));
}

// As the program runs it: the X11 clipboard announces every copy and the window manager's
// switches are reported, so no timer runs, and copies are still taken and credited to the
// program they were made in, also when the user switches away at once.
TEST_F(CaptureX11, WithSwitchesReportedCopiesAreTakenOnAnnouncementsAloneWithoutATimer)
{
    X11ActivationWatcher watcher;
    ASSERT_TRUE(watcher.isValid());
    QList<qint64> activated;
    QObject::connect(&watcher, &X11ActivationWatcher::applicationActivated, [&](qint64 pid) { activated.append(pid); });
    monitor.reset();
    monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
        board, *store, exclusions, preferences, scheduler,
        [this] { return PasteboardMonitor::frontmostSourceApplication(*workspace); },
        [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
        [this](const QString& line) { logs.append(line); }, true});
    QObject::connect(&watcher, &X11ActivationWatcher::frontWindowChanged, [&] { monitor->frontApplicationChanged(); });
    EXPECT_TRUE(board.announcesEveryChange());
    EXPECT_TRUE(monitor->pollsOnlyOnAnnouncements());
    monitor->start(false);
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);

    QProcess terminal;
    terminal.start(QStringLiteral("xterm"), {"-class", "TolviTestTerm"});
    ASSERT_TRUE(terminal.waitForStarted(eventTimeoutMs));
    ASSERT_TRUE(waitUntil([&] {
        const std::optional<RunningApplication> front = workspace->frontmostApplication();
        return front && front->identifier == QStringLiteral("TolviTestTerm");
    }));
    const quint32 terminalWindow = workspace->activeWindow();
    ASSERT_NE(terminalWindow, 0u);
    ASSERT_TRUE(activateUntil(peerWindow, [&] { return workspace->activeWindow() == peerWindow; }));
    ASSERT_TRUE(activateUntil(terminalWindow, [&] { return workspace->activeWindow() == terminalWindow; }));
    ASSERT_TRUE(waitUntil([&] { return activated.contains(terminal.processId()); }));

    constexpr int copies = 3;
    for (int i = 0; i < copies; ++i) {
        ASSERT_TRUE(activateUntil(peerWindow, [&] { return workspace->activeWindow() == peerWindow; }));
        ASSERT_TRUE(waitUntil([&] { return activated.contains(peer.pid()); }));
        activated.clear();
        ASSERT_TRUE(peer.copyText(QStringLiteral("announced %1").arg(i)));
        QProcess::startDetached(QStringLiteral("xdotool"), {"windowactivate", QString::number(terminalWindow)});
        ASSERT_TRUE(waitUntil([&] { return store->itemCount() == i + 1; }))
            << logs.join(QLatin1Char('|')).toStdString();
        ASSERT_TRUE(waitUntil([&] { return activated.contains(terminal.processId()); }));
    }
    // With the terminal in front (its switch reported, never looked up by a tick), a copy made
    // there is the terminal's.
    QProcess* xclip = startXclip({"-quiet", "-selection", "clipboard", "-i"}, "made with the terminal in front");
    ASSERT_NE(xclip, nullptr);
    xclips.append(xclip);
    ASSERT_TRUE(waitUntil([&] { return store->itemCount() == copies + 1; }))
        << logs.join(QLatin1Char('|')).toStdString();

    ASSERT_TRUE(store->itemAt(0).sourceApp().has_value());
    EXPECT_EQ(store->itemAt(0).sourceApp()->bundleIdentifier(), QStringLiteral("TolviTestTerm"));
    for (int i = 0; i < copies; ++i) {
        const ClipboardItem item = store->itemAt(copies - i);
        EXPECT_EQ(item.content().textValue(), QStringLiteral("announced %1").arg(i));
        ASSERT_TRUE(item.sourceApp().has_value());
        EXPECT_EQ(item.sourceApp()->bundleIdentifier(), QStringLiteral("TolviTestPeer"));
    }
    EXPECT_EQ(logs, QStringList(copies + 1, QStringLiteral("Tolvi recorded clipboard item")));
    EXPECT_EQ(scheduler.activeRepeatingCount(), 0);
    terminal.kill();
    terminal.waitForFinished(2000);
}
