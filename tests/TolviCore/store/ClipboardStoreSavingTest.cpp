// Saving: the synchronous and queued paths, stale completions, flushing, a failed load and retry.

#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace tolvi;
using namespace tolvi::testing;

TEST(ClipboardStoreSaving, SynchronousSaveFailureAndRecovery)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    ClipboardStore store(persistence, unlimitedConfiguration());
    QSignalSpy issueSpy(&store, &ClipboardStore::storageIssueChanged);

    persistence->failSave = true;
    EXPECT_TRUE(store.record(QStringLiteral("kept in memory"), 1));
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    EXPECT_EQ(store.itemCount(), 1);
    EXPECT_EQ(issueSpy.count(), 1);
    // A synchronous persistence has nothing to flush.
    EXPECT_NO_THROW(store.flushPersistence());

    persistence->failSave = false;
    store.retryStorage();
    EXPECT_FALSE(store.storageIssue().has_value());
    ASSERT_EQ(persistence->saves.size(), 1);
    EXPECT_EQ(texts(persistence->saves[0].items), QStringList{"kept in memory"});
    EXPECT_EQ(issueSpy.count(), 2);

    // With no issue, retrying does nothing.
    store.retryStorage();
    EXPECT_EQ(persistence->saves.size(), 1);
}

TEST(ClipboardStoreSaving, OnlyTheNewestQueuedSaveDecidesTheIssue)
{
    auto persistence = std::make_shared<FakeAsyncPersistence>();
    ClipboardStore store(persistence, unlimitedConfiguration());
    ASSERT_TRUE(store.record(QStringLiteral("one"), 1));
    ASSERT_TRUE(store.record(QStringLiteral("two"), 2));
    ASSERT_EQ(persistence->queued.size(), 2);
    EXPECT_TRUE(persistence->syncSaves.isEmpty());
    EXPECT_EQ(texts(persistence->queued[1].state.items), (QStringList{"two", "one"}));

    // The newest succeeds first, then the stale failure arrives: still healthy.
    persistence->complete(1, true);
    persistence->complete(0, false);
    EXPECT_FALSE(store.storageIssue().has_value());

    ASSERT_TRUE(store.record(QStringLiteral("three"), 3));
    ASSERT_TRUE(store.record(QStringLiteral("four"), 4));
    persistence->complete(2, true);
    EXPECT_FALSE(store.storageIssue().has_value());
    persistence->complete(3, false);
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::saveFailed);
}

TEST(ClipboardStoreSaving, FlushMakesEarlierCompletionsStaleAndPassesItsErrorOn)
{
    auto persistence = std::make_shared<FakeAsyncPersistence>();
    ClipboardStore store(persistence, unlimitedConfiguration());
    ASSERT_TRUE(store.record(QStringLiteral("one"), 1));

    persistence->failFlush = true;
    EXPECT_THROW(store.flushPersistence(), PersistenceError);
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    // The queued save's late success is stale: the flush's outcome stands.
    persistence->complete(0, true);
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::saveFailed);

    persistence->failFlush = false;
    EXPECT_NO_THROW(store.flushPersistence());
    EXPECT_FALSE(store.storageIssue().has_value());
    EXPECT_EQ(persistence->flushCalls, 2);
}

TEST(ClipboardStoreSaving, CompletionsAfterTheStoreIsGoneDoNothing)
{
    auto persistence = std::make_shared<FakeAsyncPersistence>();
    {
        ClipboardStore store(persistence, unlimitedConfiguration());
        ASSERT_TRUE(store.record(QStringLiteral("one"), 1));
        ASSERT_TRUE(store.record(QStringLiteral("two"), 2));
    }
    ASSERT_EQ(persistence->queued.size(), 2);
    // A new store on the same persistence must not be touched by the old store's completions.
    ClipboardStore successor(persistence, unlimitedConfiguration());
    persistence->complete(0, false);
    persistence->complete(1, false);
    EXPECT_FALSE(successor.storageIssue().has_value());
}

TEST(ClipboardStoreSaving, AfterAFailedLoadEveryWritePathIsRefused)
{
    auto persistence = std::make_shared<FakeAsyncPersistence>();
    persistence->failLoad = true;
    ClipboardStore store(persistence, unlimitedConfiguration());
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::loadFailed);
    EXPECT_EQ(store.itemCount(), 0);
    EXPECT_EQ(store.pinboards(), DefaultPinboards::all());

    const ClipboardItem ghost = textItem(QStringLiteral("ghost"), 1);
    EXPECT_FALSE(store.record(QStringLiteral("refused"), 1));
    EXPECT_FALSE(store.updateText(QStringLiteral("x"), ghost));
    store.remove(ghost);
    store.removeItems(0);
    store.clear();
    store.togglePinned(ghost);
    store.togglePinboard(DefaultPinboards::all()[0], ghost);
    store.updateRecentLimit(1, true);
    EXPECT_FALSE(store.beginOCR(ghost.id()).has_value());
    try {
        store.flushPersistence();
        ADD_FAILURE() << "flush succeeded after a failed load";
    } catch (const ClipboardHistoryImportError& error) {
        EXPECT_EQ(error.errorCase(), ClipboardHistoryImportError::Case::storageUnavailable);
    }
    EXPECT_TRUE(persistence->queued.isEmpty());
    EXPECT_TRUE(persistence->syncSaves.isEmpty());
    EXPECT_EQ(persistence->flushCalls, 0);
    EXPECT_EQ(store.itemCount(), 0);

    // Still broken: retry keeps the issue. Repaired: retry loads.
    store.retryStorage();
    EXPECT_EQ(store.storageIssue(), ClipboardStore::StorageIssue::loadFailed);
    persistence->failLoad = false;
    persistence->stored = ClipboardHistoryState{{textItem(QStringLiteral("back"), 1)}, {}};
    QSignalSpy itemsSpy(&store, &ClipboardStore::itemsChanged);
    QSignalSpy boardsSpy(&store, &ClipboardStore::pinboardsChanged);
    QList<Pinboard> boardsSeenWithItems{Pinboard(QUuid(), QStringLiteral("unset"), QString(), 0)};
    QObject::connect(&store, &ClipboardStore::itemsChanged, [&] { boardsSeenWithItems = store.pinboards(); });
    store.retryStorage();
    EXPECT_FALSE(store.storageIssue().has_value());
    EXPECT_EQ(texts(store.items()), QStringList{"back"});
    EXPECT_TRUE(store.pinboards().isEmpty());
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(boardsSpy.count(), 1);
    // Both fields were in place before either was announced.
    EXPECT_TRUE(boardsSeenWithItems.isEmpty());
    // Loading writes nothing back.
    EXPECT_TRUE(persistence->queued.isEmpty());
    EXPECT_TRUE(store.record(QStringLiteral("works again"), 2));
    EXPECT_EQ(persistence->queued.size(), 1);
}
