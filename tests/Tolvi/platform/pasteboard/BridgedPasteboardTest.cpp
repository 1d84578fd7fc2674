// The Wayland session's clipboard from both sides, with in-memory sides standing in for the
// seat (data control) and XWayland.
#include "Tolvi/platform/pasteboard/BridgedPasteboard.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <thread>

using namespace tolvi;

namespace {

class BridgedPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seat.setAnnouncesChanges(true);
        xwayland.setAnnouncesChanges(true);
    }

    BridgedPasteboard::Sides sides(std::chrono::milliseconds moment = std::chrono::milliseconds(1000))
    {
        return {seat, xwayland, [this] { return carriedOver; }, moment};
    }

    InMemoryPasteboard seat;
    InMemoryPasteboard xwayland;
    bool carriedOver = false;
};

PasteboardItem textItem(const QString& text)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::plainText, text);
    return item;
}

} // namespace

TEST_F(BridgedPasteboardTest, CountsCopiesFromEitherSideAndReadsTheNewest)
{
    BridgedPasteboard board(sides());
    QSignalSpy noticed(&board, &Pasteboard::changeNoticed);
    QSignalSpy changed(&board, &Pasteboard::changed);
    const qint64 start = board.changeCount();

    // An X11 program's copy while a Wayland window has the focus: only XWayland sees it.
    xwayland.setString(QStringLiteral("from an X11 program"));
    EXPECT_EQ(board.changeCount(), start + 1);
    EXPECT_EQ(board.string(PasteboardTypes::plainText), QStringLiteral("from an X11 program"));
    EXPECT_EQ(board.currentSide(), BridgedPasteboard::Side::xwayland);

    seat.setString(QStringLiteral("from a Wayland program"));
    EXPECT_EQ(board.changeCount(), start + 2);
    EXPECT_EQ(board.string(PasteboardTypes::plainText), QStringLiteral("from a Wayland program"));
    EXPECT_EQ(noticed.count(), 2);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(BridgedPasteboardTest, AnX11CopyCarriedOverToTheSeatIsCountedOnceWhicheverSideSpeaksFirst)
{
    BridgedPasteboard board(sides());
    QSignalSpy changed(&board, &Pasteboard::changed);
    const qint64 start = board.changeCount();

    // XWayland first, the seat when the compositor carries it over (it may wait for an X11
    // window to take the focus, so no time limit applies).
    xwayland.setString(QStringLiteral("copied in xterm"));
    seat.setString(QStringLiteral("copied in xterm"));
    EXPECT_EQ(board.changeCount(), start + 1);
    EXPECT_EQ(changed.count(), 1);

    // The seat first, XWayland a moment later.
    seat.setString(QStringLiteral("copied in an X11 editor"));
    xwayland.setString(QStringLiteral("copied in an X11 editor"));
    EXPECT_EQ(board.changeCount(), start + 2);
    EXPECT_EQ(changed.count(), 2);

    // The same text copied again, later, in an X11 program is a copy of its own.
    xwayland.setString(QStringLiteral("copied in an X11 editor"));
    EXPECT_EQ(board.changeCount(), start + 3);
    // Its carrying over is not counted; a Wayland program's copy of the same text after it is.
    seat.setString(QStringLiteral("copied in an X11 editor"));
    EXPECT_EQ(board.changeCount(), start + 3);
    seat.setString(QStringLiteral("copied in an X11 editor"));
    EXPECT_EQ(board.changeCount(), start + 4);
}

TEST_F(BridgedPasteboardTest, SameBytesOnTheX11SideLongAfterASeatCopyAreANewCopy)
{
    BridgedPasteboard board(sides(std::chrono::milliseconds(20)));
    const qint64 start = board.changeCount();
    seat.setString(QStringLiteral("twice"));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    xwayland.setString(QStringLiteral("twice"));
    EXPECT_EQ(board.changeCount(), start + 2);
    // Different bytes within the moment are never taken for the same copy.
    seat.setString(QStringLiteral("one"));
    xwayland.setString(QStringLiteral("another"));
    EXPECT_EQ(board.changeCount(), start + 4);
    EXPECT_EQ(board.string(PasteboardTypes::plainText), QStringLiteral("another"));
}

TEST_F(BridgedPasteboardTest, TheCompositorsOwnX11CopyAndOurWritesAreNoNewCopies)
{
    BridgedPasteboard board(sides());
    QSignalSpy changed(&board, &Pasteboard::changed);
    const qint64 start = board.changeCount();

    // A Wayland copy, then the compositor offering it to X11 programs.
    seat.setString(QStringLiteral("from foot"));
    carriedOver = true;
    xwayland.setString(QStringLiteral("from foot"));
    EXPECT_EQ(board.changeCount(), start + 1);
    EXPECT_EQ(board.currentSide(), BridgedPasteboard::Side::seat);

    // Our own write goes to the seat and is counted once, also when it comes back over X11.
    ASSERT_TRUE(board.write({textItem(QStringLiteral("pasted by Tolvi"))}, Pasteboard::WriteKind::paste));
    EXPECT_EQ(seat.writeCount(), 1);
    EXPECT_EQ(xwayland.writeCount(), 0);
    EXPECT_EQ(board.changeCount(), start + 2);
    xwayland.setString(QStringLiteral("pasted by Tolvi"));
    EXPECT_EQ(board.changeCount(), start + 2);
    EXPECT_EQ(board.string(PasteboardTypes::plainText), QStringLiteral("pasted by Tolvi"));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(BridgedPasteboardTest, ImagesAndFileReferencesAreComparedByTheirBytes)
{
    BridgedPasteboard board(sides());
    const qint64 start = board.changeCount();
    PasteboardItem image;
    image.setData(PasteboardTypes::png, QByteArray("\x89PNG one", 8));
    xwayland.setItems({image});
    seat.setItems({image});
    EXPECT_EQ(board.changeCount(), start + 1);

    PasteboardItem first;
    first.setData(PasteboardTypes::fileURL, "file:///tmp/a");
    PasteboardItem second;
    second.setData(PasteboardTypes::fileURL, "file:///tmp/b");
    seat.setItems({first, second});
    xwayland.setItems({first});
    EXPECT_EQ(board.changeCount(), start + 3);
    EXPECT_EQ(board.itemCount(), 1);

    // Unreadable copies cannot be told apart: each side's counts.
    seat.setTypesReadable(false);
    xwayland.setTypesReadable(false);
    seat.clear();
    xwayland.clear();
    EXPECT_EQ(board.changeCount(), start + 5);
}

TEST_F(BridgedPasteboardTest, OurWriteStaysOursUntilEitherSideHasANewCopy)
{
    BridgedPasteboard board(sides());
    QSignalSpy copies(&board, &Pasteboard::copyWritten);
    ASSERT_TRUE(board.write({textItem(QStringLiteral("pasted by us"))}, Pasteboard::WriteKind::paste));
    const qint64 written = board.changeCount();
    EXPECT_TRUE(board.holdsOwnWrite());
    EXPECT_FALSE(board.holdsOwnCopy());
    EXPECT_EQ(copies.count(), 0);

    // The compositor carries our write over to XWayland: still ours, not a new copy.
    carriedOver = true;
    xwayland.setString(QStringLiteral("pasted by us"));
    EXPECT_EQ(board.changeCount(), written);
    EXPECT_TRUE(board.holdsOwnWrite());

    // An X11 program copies: that copy is no write of ours.
    carriedOver = false;
    xwayland.setString(QStringLiteral("copied in an X11 program"));
    EXPECT_EQ(board.changeCount(), written + 1);
    EXPECT_FALSE(board.holdsOwnWrite());

    // A copy of ours, announced once and still ours once carried over; then a Wayland
    // program's copy.
    ASSERT_TRUE(board.write({textItem(QStringLiteral("copied in Tolvi"))}, Pasteboard::WriteKind::copy));
    EXPECT_EQ(copies.count(), 1);
    EXPECT_TRUE(board.holdsOwnCopy());
    carriedOver = true;
    xwayland.setString(QStringLiteral("copied in Tolvi"));
    EXPECT_EQ(board.changeCount(), written + 2);
    EXPECT_TRUE(board.holdsOwnCopy());
    seat.setString(QStringLiteral("copied in a Wayland program"));
    EXPECT_FALSE(board.holdsOwnWrite());
    EXPECT_FALSE(board.holdsOwnCopy());
    EXPECT_EQ(copies.count(), 1);
}

// A watcher may rely on the announcements only when neither side can change unannounced.
TEST_F(BridgedPasteboardTest, AnnouncesEveryChangeOnlyWhenBothSidesDo)
{
    BridgedPasteboard board(sides());
    EXPECT_FALSE(board.announcesEveryChange());
    seat.setAnnouncesEveryChange(true);
    EXPECT_FALSE(board.announcesEveryChange());
    xwayland.setAnnouncesEveryChange(true);
    EXPECT_TRUE(board.announcesEveryChange());
    seat.setAnnouncesEveryChange(false);
    EXPECT_FALSE(board.announcesEveryChange());
}
