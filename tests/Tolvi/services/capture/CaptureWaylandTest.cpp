// Capture end to end in a headless sway session (tests/support/with-sway): wl-copy copies while a
// Wayland-native window (foot) holds the focus, and the monitor, polling at once on each change of
// the data-control pasteboard, records every copy in order.
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "EventTimeout.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"

#include "CaptureTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
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

// Runs a wl-clipboard command as the session's user (sway's own clients run as that user).
bool runInSession(const QString& command, const QByteArray& input = {}, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), qEnvironmentVariable("TOLVI_TEST_SWAY_RUN") + QLatin1Char(' ') + command});
    if (!process.waitForStarted(eventTimeoutMs))
        return false;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(eventTimeoutMs))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class CaptureWayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = WaylandConnection::connect();
        ASSERT_TRUE(connection) << "no compositor at WAYLAND_DISPLAY";
        clipboard = DataControlClipboard::create(*connection);
        ASSERT_TRUE(clipboard) << "the compositor offers no data control";
        connection->startDispatching();
        DataControlPasteboard& board = clipboard->pasteboard();
        monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
            board, *store, exclusions, preferences, scheduler,
            [] { return std::optional<ClipboardSourceApp>(); },
            [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {},
            [this](const QString& line) { logs.append(line); }});
        // The first selection event (what is on the clipboard now) is seen before watching starts.
        connection->roundtrip();
        QCoreApplication::processEvents();
        monitor->start(false);
        QObject::connect(&board, &DataControlPasteboard::changed, monitor.get(), [this] {
            if (monitor->isRunning())
                monitor->poll();
        });
    }
    void TearDown() override
    {
        monitor.reset();
        if (connection)
            connection->stopDispatching();
        clipboard.reset();
        connection.reset();
    }

    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<DataControlClipboard> clipboard;
    std::unique_ptr<ClipboardStore> store = makeStore();
    InMemoryKeyValueSettings settings;
    AppExclusionStore exclusions{settings};
    SwitchablePreferences preferences;
    ManualScheduler scheduler;
    QStringList logs;
    std::unique_ptr<PasteboardMonitor> monitor;
};

} // namespace

TEST_F(CaptureWayland, EveryCopyInAWaylandProgramIsRecordedInOrder)
{
    QStringList copied;
    for (int i = 1; i <= 10; ++i) {
        const QString text = QStringLiteral("copy %1 from a Wayland window").arg(i);
        // wl-copy stays behind as the selection's owner until the next copy replaces it.
        ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), text.toUtf8()));
        copied.prepend(text);
        ASSERT_TRUE(waitFor([&] { return store->itemCount() == i; }))
            << "copy " << i << " not recorded: " << logs.join(QLatin1Char('|')).toStdString();
    }
    QStringList recorded;
    for (int i = 0; i < store->itemCount(); ++i)
        recorded.append(store->itemAt(i).content().textValue());
    EXPECT_EQ(recorded, copied);
}

TEST_F(CaptureWayland, RichTextAndImagesKeepTheirBytes)
{
    const QByteArray png = encodedImage(64, 48);
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy --type image/png"), png));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 1; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(store->itemAt(0).content().isImage());
    EXPECT_TRUE(store->itemAt(0).content().imageValue().data() == png);

    const QByteArray uris = "file:///tmp/report%202026.pdf\r\nfile:///tmp/notes.txt\r\n";
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy --type text/uri-list"), uris));
    ASSERT_TRUE(waitFor([&] { return store->itemCount() == 2; })) << logs.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(store->itemAt(0).originalPayload().has_value());
    EXPECT_EQ(store->itemAt(0).originalPayload()->fileURLs(),
              QStringList({"file:///tmp/report%202026.pdf", "file:///tmp/notes.txt"}));
}

TEST_F(CaptureWayland, APasteSetsTheSelectionForWaylandProgramsAndCountsOnce)
{
    DataControlPasteboard& board = clipboard->pasteboard();
    const qint64 before = board.changeCount();
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("pasted by Tolvi \u00e9"));
    ASSERT_TRUE(board.write({item}, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board.changeCount(), before + 1);
    // The compositor's announcement of our own selection is no new change.
    connection->roundtrip();
    QCoreApplication::processEvents();
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_TRUE(board.holdsOwnWrite());

    QByteArray pasted;
    ASSERT_TRUE(runInSession(QStringLiteral("wl-paste --no-newline"), {}, &pasted));
    EXPECT_EQ(QString::fromUtf8(pasted), QStringLiteral("pasted by Tolvi \u00e9"));

    // Another program's copy afterwards is recorded as usual.
    ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), "after the paste"));
    // (KWin's XWayland bridge may announce our own selection once more first.)
    EXPECT_TRUE(waitFor([&] {
        return board.changeCount() >= before + 2 && board.string(T::plainText) == QStringLiteral("after the paste");
    }));
    EXPECT_FALSE(board.holdsOwnWrite());
}
