// Board operations: name rules, limits, the synchronous commit and its failure handling.

#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

using Case = ClipboardHistoryImportError::Case;

template <typename F>
std::optional<Case> importError(F&& operation)
{
    try {
        operation();
    } catch (const ClipboardHistoryImportError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

struct BoardsFixture : ::testing::Test {
    std::shared_ptr<FakeAsyncPersistence> persistence = std::make_shared<FakeAsyncPersistence>();
    std::unique_ptr<ClipboardStore> store;

    void start(QList<ClipboardItem> items = {}, QList<Pinboard> boards = DefaultPinboards::all())
    {
        persistence->stored = ClipboardHistoryState{std::move(items), std::move(boards)};
        store = std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration());
    }

    QStringList boardNames() const
    {
        QStringList names;
        for (const Pinboard& board : store->pinboards())
            names.append(board.name());
        return names;
    }
};

} // namespace

TEST_F(BoardsFixture, CreateTrimsWritesSynchronouslyAndAppends)
{
    start();
    const Pinboard made = store->createPinboard(QStringLiteral("  Projects \n"), QStringLiteral("folder"));
    EXPECT_EQ(made.name(), QStringLiteral("Projects"));
    EXPECT_EQ(store->pinboards().last(), made);
    ASSERT_EQ(persistence->syncSaves.size(), 1);
    EXPECT_EQ(persistence->syncSaves[0].pinboards.last(), made);
    EXPECT_TRUE(persistence->queued.isEmpty());

    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("   "), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QString(81, QLatin1Char('n')), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("two\twords"), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("two\nlines"), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("zero\u200bwidth"), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("x"), QString(101, QLatin1Char('s'))); }), Case::tooLarge);
    EXPECT_EQ(importError([&] { store->createPinboard(QString(80, QLatin1Char('n')), QString(100, QLatin1Char('s'))); }),
              std::nullopt);
    EXPECT_EQ(persistence->syncSaves.size(), 2);
}

TEST_F(BoardsFixture, NamesCompareIgnoringCaseAndDiacritics)
{
    start();
    store->createPinboard(QStringLiteral("Caf\u00e9"), QStringLiteral("cup"));
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("cafe"), QString()); }), Case::duplicateBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("CAF\u00c9"), QString()); }), Case::duplicateBoardName);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("WORK"), QString()); }), Case::duplicateBoardName);
    // Full-width letters stay distinct.
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("\uff37ork"), QString()); }), std::nullopt);
    const QUuid cafe = store->pinboards()[4].id();
    EXPECT_EQ(importError([&] { store->renamePinboard(cafe, QStringLiteral("cafe")); }), std::nullopt);
    EXPECT_EQ(store->pinboards()[4].name(), QStringLiteral("cafe"));
    EXPECT_EQ(importError([&] { store->renamePinboard(cafe, QStringLiteral("code")); }), Case::duplicateBoardName);
    EXPECT_EQ(importError([&] { store->renamePinboard(QUuid::createUuid(), QString()); }), Case::missingBoard);
}

TEST_F(BoardsFixture, FiveHundredBoardsAreTheMost)
{
    QList<Pinboard> boards;
    for (int i = 0; i < 500; ++i)
        boards.append(Pinboard(QUuid::createUuid(), QStringLiteral("Board %1").arg(i), QStringLiteral("s"), i));
    start({}, boards);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("One more"), QString()); }), Case::tooLarge);
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral(" "), QString()); }), Case::invalidBoardName);
    EXPECT_EQ(store->pinboards().size(), 500);
}

TEST_F(BoardsFixture, DeleteTakesTheBoardOffClipsWhichStayPinned)
{
    const QUuid work = DefaultPinboards::workID();
    const QUuid code = DefaultPinboards::codeID();
    start({textItem(QStringLiteral("only work"), 1, true, {work}), textItem(QStringLiteral("both"), 2, true, {work, code, work})});
    QSignalSpy itemsSpy(store.get(), &ClipboardStore::itemsChanged);
    QSignalSpy boardsSpy(store.get(), &ClipboardStore::pinboardsChanged);
    qsizetype boardsSeenWithItems = -1;
    qsizetype boardListsSeenWithBoards = -1;
    QObject::connect(store.get(), &ClipboardStore::itemsChanged, [&] { boardsSeenWithItems = store->pinboards().size(); });
    QObject::connect(store.get(), &ClipboardStore::pinboardsChanged,
                     [&] { boardListsSeenWithBoards = store->itemAt(1).pinboardIDs().size(); });
    store->deletePinboard(work);
    EXPECT_EQ(boardNames(), (QStringList{"Code", "Screenshots", "Personal"}));
    EXPECT_EQ(store->itemAt(0).pinboardIDs(), QList<QUuid>{code});
    EXPECT_TRUE(store->itemAt(1).pinboardIDs().isEmpty());
    EXPECT_TRUE(store->itemAt(1).isPinned());
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(boardsSpy.count(), 1);
    // Both fields were in place before either was announced.
    EXPECT_EQ(boardsSeenWithItems, 3);
    EXPECT_EQ(boardListsSeenWithBoards, 0);
    EXPECT_EQ(importError([&] { store->deletePinboard(work); }), Case::missingBoard);
}

TEST_F(BoardsFixture, ReorderNeedsEveryBoardExactlyOnce)
{
    start();
    const QUuid a = DefaultPinboards::workID(), b = DefaultPinboards::codeID(), c = DefaultPinboards::screenshotsID(),
                d = DefaultPinboards::personalID();
    store->reorderPinboards({d, c, b, a});
    EXPECT_EQ(boardNames(), (QStringList{"Personal", "Screenshots", "Code", "Work"}));
    EXPECT_EQ(importError([&] { store->reorderPinboards({a, a, b, c}); }), Case::invalidBoardOrder);
    EXPECT_EQ(importError([&] { store->reorderPinboards({a, b, c, QUuid::createUuid()}); }), Case::invalidBoardOrder);
    EXPECT_EQ(importError([&] { store->reorderPinboards({a, b, c}); }), Case::invalidBoardOrder);

    persistence = std::make_shared<FakeAsyncPersistence>();
    start({}, {});
    EXPECT_EQ(importError([&] { store->reorderPinboards({}); }), std::nullopt);
    EXPECT_EQ(persistence->syncSaves.size(), 1);
}

TEST_F(BoardsFixture, StorageIssuesRefuseAfterTheNameChecks)
{
    persistence->failLoad = true;
    start();
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("Fine"), QString()); }), Case::storageUnavailable);
    EXPECT_EQ(importError([&] { store->createPinboard(QString(), QString()); }), Case::invalidBoardName);
    EXPECT_TRUE(persistence->syncSaves.isEmpty());
    EXPECT_EQ(store->pinboards(), DefaultPinboards::all());
}

TEST_F(BoardsFixture, FailedCommitKeepsTheOldBoardsAndBlocksFurtherOperations)
{
    start();
    persistence->failSave = true;
    EXPECT_THROW(store->createPinboard(QStringLiteral("New"), QString()), PersistenceError);
    EXPECT_EQ(store->pinboards(), DefaultPinboards::all());
    EXPECT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    persistence->failSave = false;
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("New"), QString()); }), Case::storageUnavailable);
}

TEST_F(BoardsFixture, CommitMakesQueuedSavesStaleAndAsksForNoFurtherSave)
{
    start();
    ASSERT_TRUE(store->record(QStringLiteral("queued"), 1));
    ASSERT_EQ(persistence->queued.size(), 1);
    store->createPinboard(QStringLiteral("Later"), QString());
    EXPECT_EQ(persistence->queued.size(), 1);
    persistence->complete(0, false);
    EXPECT_FALSE(store->storageIssue().has_value());
    EXPECT_EQ(persistence->syncSaves.last().items.size(), 1);
}
