// The data-control pasteboard against offers and a selection owner of the test's own, standing
// in for the compositor's side.
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/wayland/DataControlPasteboard.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <thread>

#include <unistd.h>

using namespace tolvi;
namespace T = tolvi::PasteboardTypes;

namespace {

// An offer whose owner answers each receive by writing the bytes it holds, from another thread
// as a real owner would; one without bytes for a type keeps the pipe open and never answers.
class FakeOffer final : public DataControlOffer {
public:
    explicit FakeOffer(QList<std::pair<QByteArray, QByteArray>> contents, QList<QByteArray> silent = {})
        : contents_(std::move(contents)), silent_(std::move(silent))
    {
    }
    ~FakeOffer() override
    {
        for (int fd : held_)
            ::close(fd);
    }

    QList<QByteArray> mimeTypes() const override
    {
        QList<QByteArray> types;
        for (const auto& entry : contents_)
            types.append(entry.first);
        return types + silent_;
    }

    bool receive(const QByteArray& mimeType, int fd) override
    {
        received.append(mimeType);
        const int copy = ::dup(fd);
        if (silent_.contains(mimeType)) {
            held_.append(copy);
            return true;
        }
        QByteArray bytes;
        for (const auto& entry : contents_) {
            if (entry.first == mimeType)
                bytes = entry.second;
        }
        std::thread([copy, bytes] {
            [[maybe_unused]] const ssize_t written = ::write(copy, bytes.constData(), size_t(bytes.size()));
            ::close(copy);
        }).detach();
        return true;
    }

    QList<QByteArray> received;

private:
    QList<std::pair<QByteArray, QByteArray>> contents_;
    QList<QByteArray> silent_;
    QList<int> held_;
};

// The compositor's side of setting the selection: it announces the new selection right away,
// as sway does before answering the roundtrip.
class FakeOwner final : public DataControlSelectionOwner {
public:
    bool setSelection(const SelectionRepresentations& representations) override
    {
        offered = representations;
        if (board && accept)
            board->selectionChanged(std::make_shared<FakeOffer>(representations), true);
        return accept;
    }
    DataControlPasteboard* board = nullptr;
    bool accept = true;
    SelectionRepresentations offered;
};

} // namespace

TEST(DataControlPasteboardTest, OfferedMimeTypesMapAsOnX11AndTextIsReadThroughThePipe)
{
    DataControlPasteboard board(nullptr);
    auto offer = std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{
        {"text/plain;charset=utf-8", "caf\xc3\xa9"},
        {"UTF8_STRING", "caf\xc3\xa9"},
        {"TEXT", "caf\xc3\xa9"},
        {"text/html", "<b>caf\xc3\xa9</b>"},
        {"application/rtf", "{\\rtf1 x}"},
        {"image/png", "png-bytes"},
        {"TARGETS", ""},
        {"application/x-thing", "opaque"},
    });
    QSignalSpy changed(&board, &DataControlPasteboard::changed);
    const qint64 before = board.changeCount();
    board.selectionChanged(offer, false);
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_EQ(changed.count(), 1);

    EXPECT_EQ(board.types(), QStringList({T::plainText, T::html, T::rtf, T::png, QStringLiteral("application/x-thing")}));
    EXPECT_EQ(board.itemCount(), 1);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("café"));
    EXPECT_EQ(board.data(T::html), QByteArray("<b>caf\xc3\xa9</b>"));
    EXPECT_EQ(board.data(T::rtf), QByteArray("{\\rtf1 x}"));
    EXPECT_EQ(board.data(T::png), QByteArray("png-bytes"));
    EXPECT_FALSE(board.data(T::jpeg));
    // Each representation of a change is read once, however often it is asked for.
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("café"));
    EXPECT_EQ(offer->received.count("UTF8_STRING") + offer->received.count("text/plain;charset=utf-8"), 1);
}

TEST(DataControlPasteboardTest, APasswordManagerCopyIsNeverRead)
{
    DataControlPasteboard board(nullptr);
    auto offer = std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{
        {"text/plain;charset=utf-8", "hunter2"},
        {"x-kde-passwordManagerHint", "secret"},
        {"text/uri-list", "file:///tmp/a\r\n"},
    });
    board.selectionChanged(offer, false);
    // The marker is among the types, so the monitor drops the change from its types alone.
    EXPECT_TRUE(board.types()->contains(T::passwordManagerHint));
    EXPECT_FALSE(board.data(T::plainText));
    EXPECT_FALSE(board.itemData(0, T::fileURL));
    EXPECT_TRUE(offer->received.isEmpty());
}

TEST(DataControlPasteboardTest, AFileListBecomesOneItemPerFile)
{
    DataControlPasteboard board(nullptr);
    board.selectionChanged(std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{
                               {"text/uri-list", "# copied\r\nfile:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n"},
                               {"text/plain", "/tmp/a b.txt\n/tmp/c"}}),
                           false);
    EXPECT_EQ(board.types(), QStringList({T::fileURL, T::plainText}));
    ASSERT_EQ(board.itemCount(), 2);
    EXPECT_EQ(board.itemTypes(1), QStringList{T::fileURL});
    EXPECT_EQ(board.itemData(0, T::fileURL), QByteArray("file:///tmp/a%20b.txt"));
    EXPECT_EQ(board.itemData(1, T::fileURL), QByteArray("file:///tmp/c"));
}

TEST(DataControlPasteboardTest, AnOwnerThatNeverAnswersCostsTheBudgetOnce)
{
    // A budget that a fake owner's answer fits in even on a busy machine.
    constexpr std::chrono::milliseconds budget{1000};
    DataControlPasteboard board(nullptr, budget);
    auto offer = std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{{"text/html", "<p>x</p>"}},
                                             QList<QByteArray>{"text/plain;charset=utf-8"});
    board.selectionChanged(offer, false);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(board.data(T::plainText));
    EXPECT_GE(timer.elapsed(), budget.count() - 50);
    // The budget of this change is spent: nothing more is asked of its owner.
    EXPECT_FALSE(board.data(T::html));
    EXPECT_LT(timer.elapsed(), 2 * budget.count() - 100);
    EXPECT_FALSE(offer->received.contains("text/html"));

    // The next change has a budget of its own.
    board.selectionChanged(std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{{"text/plain", "next"}}),
                           false);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("next"));
}

TEST(DataControlPasteboardTest, AnEmptiedClipboardIsAChangeWithNoTypes)
{
    DataControlPasteboard board(nullptr);
    board.selectionChanged(std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{{"text/plain", "x"}}),
                           false);
    const qint64 before = board.changeCount();
    board.selectionChanged(nullptr, false);
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_EQ(board.types(), QStringList());
    EXPECT_EQ(board.itemCount(), 0);
    EXPECT_FALSE(board.data(T::plainText));
}

TEST(DataControlPasteboardTest, OurOwnWriteCountsOnceAndIsReadBackWithoutTheCompositor)
{
    FakeOwner owner;
    DataControlPasteboard board(&owner);
    owner.board = &board;
    QSignalSpy changed(&board, &DataControlPasteboard::changed);
    const qint64 before = board.changeCount();

    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("pasted"));
    item.setData(T::html, "<i>pasted</i>");
    ASSERT_TRUE(board.write({item}, Pasteboard::WriteKind::paste));
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_EQ(changed.count(), 0);
    // Wayland programs find text under its charset-qualified type, X11 programs under UTF8_STRING.
    QList<QByteArray> offeredTypes;
    for (const auto& representation : owner.offered)
        offeredTypes.append(representation.first);
    EXPECT_TRUE(offeredTypes.contains("text/plain;charset=utf-8"));
    EXPECT_TRUE(offeredTypes.contains("UTF8_STRING"));
    EXPECT_TRUE(offeredTypes.contains("text/html"));
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("pasted"));
    EXPECT_EQ(board.data(T::html), QByteArray("<i>pasted</i>"));
    EXPECT_TRUE(board.holdsOwnWrite());
    // The compositor's announcement of our own source changes neither.
    board.selectionChanged(std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{{"text/plain", "pasted"}}),
                           true);
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_TRUE(board.holdsOwnWrite());

    // Another program's copy afterwards is a change again, and not ours.
    board.selectionChanged(std::make_shared<FakeOffer>(QList<std::pair<QByteArray, QByteArray>>{{"text/plain", "theirs"}}),
                           false);
    EXPECT_EQ(board.changeCount(), before + 2);
    EXPECT_EQ(board.string(T::plainText), QStringLiteral("theirs"));
    EXPECT_FALSE(board.holdsOwnWrite());
}

TEST(DataControlPasteboardTest, ARefusedWriteIsAFailure)
{
    FakeOwner owner;
    owner.accept = false;
    DataControlPasteboard board(&owner);
    PasteboardItem item;
    item.setString(T::plainText, QStringLiteral("x"));
    EXPECT_FALSE(board.write({item}, Pasteboard::WriteKind::copy));
    // Ours, but no copy of ours: nothing of it is on the clipboard.
    EXPECT_TRUE(board.holdsOwnWrite());
    EXPECT_FALSE(board.holdsOwnCopy());
    DataControlPasteboard unconnected(nullptr);
    EXPECT_FALSE(unconnected.write({item}, Pasteboard::WriteKind::copy));
    EXPECT_FALSE(unconnected.holdsOwnCopy());
}
