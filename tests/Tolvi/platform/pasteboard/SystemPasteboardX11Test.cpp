// The CLIPBOARD selection read and written against real owners (xclip and a Qt program) on a
// private X server.
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"

#include "HungSelectionOwner.h"
#include "PeerProcess.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace tolvi;
using namespace tolvi::test;
namespace T = tolvi::PasteboardTypes;

namespace {

class SystemPasteboardX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // A long budget: far above what reading a real owner takes even on a busy machine (a
        // large image included), so that only an owner that never answers runs it out; a thread
        // held up by such an owner would miss seconds, far more than any load explains.
        board = std::make_unique<SystemPasteboard>(budget);
    }
    void TearDown() override
    {
        for (QProcess* process : xclips) {
            process->kill();
            process->waitForFinished(2000);
            delete process;
        }
    }

    // Another program copies; waits until we have noticed the change.
    bool xclipCopy(const QByteArray& bytes, const QString& target = QStringLiteral("UTF8_STRING"),
                   const QString& expectedType = T::plainText)
    {
        const qint64 before = board->changeCount();
        QProcess* process =
            startXclip({"-quiet", "-selection", "clipboard", "-t", target, "-i"}, bytes);
        if (!process)
            return false;
        xclips.append(process);
        // A late notice of an earlier owner's exit may move the count first: wait for the copy.
        return waitUntil([&] {
            return board->changeCount() != before &&
                   board->types().value_or(QStringList()).contains(expectedType);
        });
    }

    bool peerCopy(PeerProcess& peer, const QList<std::pair<QString, QByteArray>>& representations)
    {
        const qint64 before = board->changeCount();
        return peer.copy(representations) && waitUntil([&] {
                   return board->changeCount() != before && !board->types().value_or(QStringList()).isEmpty();
               });
    }

    // Timed from the copy seen by the test: how long another program's copy takes to be taken up
    // and read on this machine, as it is loaded now.
    qint64 timedXclipCopy(const QByteArray& bytes)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        return xclipCopy(bytes) ? elapsed.elapsed() : -1;
    }

    static constexpr std::chrono::milliseconds budget{15'000};
    std::unique_ptr<SystemPasteboard> board;
    QList<QProcess*> xclips;
};

QByteArray xclipOutput(const QString& target)
{
    QProcess process;
    process.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", target});
    // Our own process serves the data: keep the event loop going while xclip reads.
    waitUntil([&] { return process.state() == QProcess::NotRunning; });
    return process.readAllStandardOutput();
}

QByteArray noisePng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random->generate();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 0);
    return bytes;
}

} // namespace

TEST_F(SystemPasteboardX11, ReadsPlainTextOfAnotherProgram)
{
    ASSERT_TRUE(xclipCopy(QStringLiteral("grüße aus xclip").toUtf8()));
    const std::optional<QStringList> types = board->types();
    ASSERT_TRUE(types.has_value());
    EXPECT_TRUE(types->contains(T::plainText));
    for (const QString& type : *types)
        EXPECT_NE(type, QStringLiteral("TARGETS"));
    EXPECT_EQ(board->itemCount(), 1);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("grüße aus xclip"));
}

TEST_F(SystemPasteboardX11, RichRepresentationsAndMarkersRoundTripExactly)
{
    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const QByteArray html = "<meta charset=\"utf-8\"><b>bold</b> \xc3\xa9";
    const QByteArray rtf = "{\\rtf1\\ansi {\\b bold} \\'e9}";
    ASSERT_TRUE(peerCopy(peer, {{"text/plain", "bold \xc3\xa9"}, {"text/html", html}, {"text/rtf", rtf}}));
    const std::optional<QStringList> types = board->types();
    ASSERT_TRUE(types.has_value());
    EXPECT_TRUE(types->contains(T::plainText));
    EXPECT_TRUE(types->contains(T::html));
    EXPECT_TRUE(types->contains(T::rtf));
    EXPECT_EQ(board->data(T::html), html);
    EXPECT_EQ(board->data(T::rtf), rtf);
    EXPECT_EQ(board->data(T::plainText), QByteArray("bold \xc3\xa9"));

    peer.command("copy-secret hunter2", "ok copy-secret");
    ASSERT_TRUE(waitUntil([&] { return board->types().value_or(QStringList()).contains(T::passwordManagerHint); }));
}

TEST_F(SystemPasteboardX11, FileListGivesOneItemPerFileReference)
{
    ASSERT_TRUE(xclipCopy("# copied\r\nfile:///tmp/one.txt\r\nfile:///tmp/two%20words.txt\r\n",
                          QStringLiteral("text/uri-list"), T::fileURL));
    EXPECT_TRUE(board->types().value_or(QStringList()).contains(T::fileURL));
    ASSERT_EQ(board->itemCount(), 2);
    EXPECT_EQ(board->itemTypes(0), QStringList{T::fileURL});
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/one.txt"));
    EXPECT_EQ(board->itemData(1, T::fileURL), QByteArray("file:///tmp/two%20words.txt"));

    // A list of web links is no set of file references.
    ASSERT_TRUE(xclipCopy("https://example.org/a\r\n", QStringLiteral("text/uri-list"), QStringLiteral("text/uri-list")));
    EXPECT_EQ(board->itemCount(), 1);
    EXPECT_FALSE(board->types().value_or(QStringList()).contains(T::fileURL));
}

TEST_F(SystemPasteboardX11, LargeImageArrivesIntactInIncrements)
{
    PeerProcess peer;
    ASSERT_TRUE(peer.start());
    const QByteArray png = noisePng(1500, 1100);
    ASSERT_GT(png.size(), 4 * 1024 * 1024);
    ASSERT_TRUE(peerCopy(peer, {{"image/png", png}}));
    EXPECT_TRUE(board->types().value_or(QStringList()).contains(T::png));
    const std::optional<QByteArray> read = board->data(T::png);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->size(), png.size());
    EXPECT_TRUE(*read == png);
}

TEST_F(SystemPasteboardX11, OwnWriteReplacesContentsInOneStepAndServesOthers)
{
    ASSERT_TRUE(xclipCopy("previous"));
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("ours ✓"));
    item.setData(T::html, "<i>ours</i>");
    const qint64 before = board->changeCount();
    ASSERT_TRUE(board->write({item}));
    EXPECT_EQ(board->changeCount(), before + 1);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("ours ✓"));
    EXPECT_EQ(board->data(T::html), QByteArray("<i>ours</i>"));
    // Other programs see exactly what we wrote.
    EXPECT_EQ(xclipOutput(QStringLiteral("text/html")), QByteArray("<i>ours</i>"));
    EXPECT_EQ(xclipOutput(QStringLiteral("UTF8_STRING")), QStringLiteral("ours ✓").toUtf8());
    // Nothing else moved the count meanwhile.
    QCoreApplication::processEvents();
    EXPECT_EQ(board->changeCount(), before + 1);
}

TEST_F(SystemPasteboardX11, OwnerThatNeverAnswersNeverHoldsUpTheCallingThread)
{
    // This test waits the budget out: a shorter one, still far above what a read takes here.
    const qint64 ordinaryCopy = timedXclipCopy("first");
    ASSERT_GE(ordinaryCopy, 0);
    const qint64 shortBudget = std::max<qint64>(3000, 5 * ordinaryCopy);
    board = std::make_unique<SystemPasteboard>(std::chrono::milliseconds(shortBudget));
    // A timer of the calling thread keeps ticking while the owner's contents are awaited.
    TickWatch ticker;

    ASSERT_TRUE(xclipCopy("before the hang"));
    const qint64 before = board->changeCount();
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(waitUntil([&] { return board->changeCount() != before; }));
    // The copy is offered once its budget is spent, and reads as nothing, at once.
    EXPECT_GE(elapsed.elapsed(), shortBudget - 100);
    EXPECT_FALSE(board->types().has_value());
    EXPECT_FALSE(board->data(T::plainText).has_value());
    EXPECT_EQ(board->itemCount(), 0);
    ticker.stop();
    EXPECT_GT(ticker.ticks(), 20);
    // A thread held up by the owner would have missed ticks for the whole budget.
    EXPECT_LT(ticker.longestGap(), shortBudget / 2);

    // The next copy reads normally again.
    ASSERT_TRUE(xclipCopy("after the hang"));
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("after the hang"));
}

TEST_F(SystemPasteboardX11, OwnerReassertingInALoopCostsTheCallingThreadNothing)
{
    ASSERT_TRUE(xclipCopy("before the loop"));
    HungSelectionOwner hung;
    TickWatch ticker(100, [&] { hung.claim(); });
    pause(2000);
    ticker.stop();
    EXPECT_LT(ticker.longestGap(), budget.count() / 2);

    ASSERT_TRUE(xclipCopy("after the loop"));
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("after the loop"));
}

TEST_F(SystemPasteboardX11, CopyReplacingAnUnansweredOneIsReadAtOnce)
{
    ASSERT_TRUE(xclipCopy("old"));
    const qint64 seen = board->changeCount();
    HungSelectionOwner hung;
    ASSERT_TRUE(hung.claim());
    // While the owner that never answers is being waited for, another program copies.
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(xclipCopy("new"));
    // The newer copy did not wait for the old one's budget.
    EXPECT_LT(elapsed.elapsed(), budget.count() / 2);
    EXPECT_EQ(board->string(T::plainText), QStringLiteral("new"));
    // Only the copy that could be read is offered.
    EXPECT_EQ(board->changeCount(), seen + 1);
}

TEST_F(SystemPasteboardX11, FileManagerListsEndingInNulAndGnomeListsAreFileReferences)
{
    // PCManFM ends its list with a NUL instead of a line end.
    {
        QProcess* process = startXclip({"-quiet", "-selection", "clipboard", "-t", "text/uri-list", "-i"},
                                       QByteArray("file:///tmp/x\0", 14));
        ASSERT_NE(process, nullptr);
        xclips.append(process);
    }
    ASSERT_TRUE(waitUntil([&] { return board->types().value_or(QStringList()).contains(T::fileURL); }));
    ASSERT_EQ(board->itemCount(), 1);
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/x"));

    // GNOME's own list, with nothing else offered.
    ASSERT_TRUE(xclipCopy("copy\nfile:///tmp/a%20b.txt\nfile:///tmp/c.txt", T::gnomeCopiedFilesTarget, T::fileURL));
    EXPECT_EQ(board->types(), QStringList{T::fileURL});
    ASSERT_EQ(board->itemCount(), 2);
    EXPECT_EQ(board->itemData(0, T::fileURL), QByteArray("file:///tmp/a%20b.txt"));
    EXPECT_EQ(board->itemData(1, T::fileURL), QByteArray("file:///tmp/c.txt"));
}

TEST_F(SystemPasteboardX11, RapidCopiesAreEachAnnouncedAndReadInOrder)
{
    // Each copy follows the one before as soon as that one can have been taken up and read: a
    // tenth of a second, or as long as one copy measurably takes on this machine now.
    const qint64 ordinaryCopy = timedXclipCopy("first");
    ASSERT_GE(ordinaryCopy, 0);
    const int spacing = int(std::max<qint64>(100, 2 * ordinaryCopy));
    QStringList announced;
    QObject::connect(board.get(), &Pasteboard::changed,
                     [&] { announced.append(board->string(T::plainText).value_or(QString())); });
    for (int i = 0; i < 20; ++i) {
        QProcess* process = startXclipOwning({"-quiet", "-selection", "clipboard", "-i"},
                                             QStringLiteral("copy %1").arg(i).toUtf8());
        ASSERT_NE(process, nullptr);
        xclips.append(process);
        pause(spacing);
    }
    ASSERT_TRUE(waitUntil([&] { return announced.size() >= 20; }));
    QStringList expected;
    for (int i = 0; i < 20; ++i)
        expected.append(QStringLiteral("copy %1").arg(i));
    EXPECT_EQ(announced, expected);
}

TEST_F(SystemPasteboardX11, OwnerExitLeavesAnEmptyClipboard)
{
    ASSERT_TRUE(xclipCopy("short-lived"));
    EXPECT_EQ(board->itemCount(), 1);
    const qint64 before = board->changeCount();
    QProcess* owner = xclips.takeLast();
    owner->kill();
    owner->waitForFinished(2000);
    delete owner;
    ASSERT_TRUE(waitUntil([&] { return board->changeCount() != before; }));
    EXPECT_EQ(board->types(), QStringList());
    EXPECT_EQ(board->itemCount(), 0);
    EXPECT_FALSE(board->data(T::plainText).has_value());
}
