// Board changes written off the main thread: published only once on disk, ordered with the
// store's own saves, nothing captured meanwhile lost, failures reported with the boards kept.

#include "StoreTestSupport.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <thread>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

using Case = ClipboardHistoryImportError::Case;

// What a board change's completion reported.
struct Outcome {
    bool called = false;
    std::optional<QString> failure;

    ClipboardStore::BoardChangeCompletion completion()
    {
        return [this](const std::optional<QString>& reported) {
            called = true;
            failure = reported;
        };
    }
};

bool processEventsUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QStringList namesOf(const QList<Pinboard>& boards)
{
    QStringList names;
    for (const Pinboard& board : boards)
        names.append(board.name());
    return names;
}

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

struct BoardWritesFixture : ::testing::Test {
    std::shared_ptr<GatedPersistence> persistence = std::make_shared<GatedPersistence>();
    std::unique_ptr<ClipboardStore> store;

    void SetUp() override { store = std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration()); }
    void TearDown() override
    {
        persistence->release();
        store.reset();
    }
};

} // namespace

TEST_F(BoardWritesFixture, AChangeIsWrittenOnAnotherThreadAndPublishedOnlyOnceOnDisk)
{
    const QUuid work = DefaultPinboards::workID();
    QSignalSpy boardsChanged(store.get(), &ClipboardStore::pinboardsChanged);
    QSignalSpy savingChanged(store.get(), &ClipboardStore::savingBoardsChanged);
    persistence->hold();
    Outcome outcome;
    store->renamePinboardAsync(work, QStringLiteral("  Office "), outcome.completion());

    // The call came back while the write waits: nothing is published yet.
    ASSERT_TRUE(persistence->waitForWrites(1));
    EXPECT_TRUE(store->isSavingBoards());
    EXPECT_EQ(savingChanged.count(), 1);
    EXPECT_EQ(store->pinboards()[0].name(), QStringLiteral("Work"));
    EXPECT_EQ(boardsChanged.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(outcome.called);

    persistence->release();
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called; }));
    EXPECT_EQ(outcome.failure, std::nullopt);
    EXPECT_FALSE(store->isSavingBoards());
    EXPECT_EQ(savingChanged.count(), 2);
    EXPECT_EQ(boardsChanged.count(), 1);
    EXPECT_EQ(store->pinboards()[0].name(), QStringLiteral("Office"));
    ASSERT_EQ(persistence->saves().size(), 1);
    EXPECT_EQ(persistence->stored().pinboards, store->pinboards());
    EXPECT_NE(persistence->threads().first(), std::this_thread::get_id());

    // The other operations go the same way; a delete also takes its board off the clips.
    Outcome removed;
    store->deletePinboardAsync(DefaultPinboards::codeID(), removed.completion());
    ASSERT_TRUE(processEventsUntil([&] { return removed.called; }));
    EXPECT_EQ(namesOf(store->pinboards()),
              (QStringList{QStringLiteral("Office"), QStringLiteral("Screenshots"), QStringLiteral("Personal")}));
    EXPECT_EQ(persistence->stored().pinboards, store->pinboards());
}

TEST_F(BoardWritesFixture, AFailedWriteKeepsTheBoardsReportsTheErrorAndStillSavesWhatCameMeanwhile)
{
    QSignalSpy boardsChanged(store.get(), &ClipboardStore::pinboardsChanged);
    persistence->hold();
    persistence->failNextWrite();
    Outcome outcome;
    store->deletePinboardAsync(DefaultPinboards::screenshotsID(), outcome.completion());
    ASSERT_TRUE(persistence->waitForWrites(1));
    ASSERT_TRUE(store->record(QStringLiteral("captured meanwhile"), 2));
    persistence->release();
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called; }));
    EXPECT_EQ(outcome.failure, PersistenceError::system(ENOSPC, QStringLiteral("write")).message());
    EXPECT_EQ(store->pinboards(), DefaultPinboards::all());
    EXPECT_EQ(boardsChanged.count(), 0);
    EXPECT_FALSE(store->isSavingBoards());

    // The clip goes to the file with the boards as they were; that save clears the failure.
    ASSERT_TRUE(processEventsUntil([&] { return persistence->saves().size() == 1; }));
    EXPECT_EQ(persistence->stored().pinboards, DefaultPinboards::all());
    EXPECT_EQ(texts(persistence->stored().items), QStringList{QStringLiteral("captured meanwhile")});
    EXPECT_EQ(store->storageIssue(), std::nullopt);

    // With nothing saved after it, the failure stays reported.
    persistence->failNextWrite();
    Outcome second;
    store->renamePinboardAsync(DefaultPinboards::workID(), QStringLiteral("Office"), second.completion());
    ASSERT_TRUE(processEventsUntil([&] { return second.called; }));
    EXPECT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    EXPECT_EQ(store->pinboards()[0].name(), QStringLiteral("Work"));
}

TEST_F(BoardWritesFixture, ClipsChangedDuringTheWriteAreKeptAndSavedAfterIt)
{
    ASSERT_TRUE(store->record(QStringLiteral("filed"), 1));
    const Pinboard screenshots = store->pinboards()[2];
    store->togglePinboard(screenshots, store->itemAt(0));
    ASSERT_EQ(persistence->saves().size(), 2);

    persistence->hold();
    Outcome outcome;
    store->deletePinboardAsync(screenshots.id(), outcome.completion());
    ASSERT_TRUE(persistence->waitForWrites(3));
    // Meanwhile: a capture, filed on the board being deleted (which the window still shows).
    ASSERT_TRUE(store->record(QStringLiteral("captured meanwhile"), 2));
    store->togglePinboard(screenshots, store->itemAt(1));
    EXPECT_EQ(texts(store->items()), (QStringList{QStringLiteral("captured meanwhile"), QStringLiteral("filed")}));
    // No save of the store's gets between the board change and the file.
    EXPECT_EQ(persistence->startedWrites(), 3);

    persistence->release();
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called && persistence->saves().size() == 4; }));
    EXPECT_EQ(outcome.failure, std::nullopt);
    const QList<ClipboardHistoryState> saves = persistence->saves();
    // First the change as asked for, then the history as it is now, with the change applied.
    EXPECT_EQ(texts(saves[2].items), QStringList{QStringLiteral("filed")});
    EXPECT_EQ(saves[2].pinboards.size(), 3);
    EXPECT_EQ(saves[3].pinboards, store->pinboards());
    EXPECT_EQ(saves[3].items, store->items());
    EXPECT_EQ(texts(store->items()), (QStringList{QStringLiteral("captured meanwhile"), QStringLiteral("filed")}));
    for (const ClipboardItem& item : store->items()) {
        EXPECT_TRUE(item.pinboardIDs().isEmpty());
        EXPECT_TRUE(item.isPinned());
    }
    EXPECT_EQ(store->storageIssue(), std::nullopt);
}

// An import merged in the background: the history stays as it was until the merge is on disk,
// and a clip captured while it is written is kept beside the imported ones and saved after it.
TEST_F(BoardWritesFixture, AnImportIsPublishedOnlyOnceOnDiskAndKeepsClipsCapturedMeanwhile)
{
    ASSERT_TRUE(store->record(QStringLiteral("present"), 1));
    ClipboardHistoryState archive;
    archive.pinboards = store->pinboards();
    archive.items = {ClipboardItem(QUuid::createUuid(), QStringLiteral("imported"), 5),
                     ClipboardItem(QUuid::createUuid(), QStringLiteral("present"), 0.5)};
    const int writesBefore = persistence->startedWrites();

    persistence->hold();
    Outcome outcome;
    const ClipboardImportPreview preview = store->previewImport(archive);
    EXPECT_EQ(preview.addedItems, 1);
    EXPECT_EQ(preview.mergedItems, 1);
    store->mergeImportAsync(archive, outcome.completion());
    ASSERT_TRUE(persistence->waitForWrites(writesBefore + 1));
    EXPECT_TRUE(store->isSavingBoards());
    // Not yet: the history the windows show is the one before the import.
    EXPECT_EQ(texts(store->items()), QStringList{QStringLiteral("present")});
    ASSERT_TRUE(store->record(QStringLiteral("captured meanwhile"), 9));
    EXPECT_EQ(persistence->startedWrites(), writesBefore + 1);

    persistence->release();
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called && persistence->saves().size() == writesBefore + 2; }));
    EXPECT_EQ(outcome.failure, std::nullopt);
    const QStringList expected{QStringLiteral("captured meanwhile"), QStringLiteral("imported"), QStringLiteral("present")};
    EXPECT_EQ(texts(store->items()), expected);
    const QList<ClipboardHistoryState> saves = persistence->saves();
    EXPECT_EQ(texts(saves[writesBefore].items), (QStringList{QStringLiteral("imported"), QStringLiteral("present")}));
    EXPECT_EQ(texts(saves.last().items), expected);
    EXPECT_EQ(store->storageIssue(), std::nullopt);

    // A failed write leaves the history as it was and says why.
    ClipboardHistoryState another = archive;
    another.items = {ClipboardItem(QUuid::createUuid(), QStringLiteral("never arrives"), 7)};
    persistence->failNextWrite();
    Outcome failed;
    store->mergeImportAsync(another, failed.completion());
    ASSERT_TRUE(processEventsUntil([&] { return failed.called; }));
    EXPECT_TRUE(failed.failure.has_value());
    EXPECT_EQ(texts(store->items()), expected);
    EXPECT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
}

// The merged history comes with its index made on the writer's thread: taken on, every clip of it
// is found as the store's own, and the recognition state of the images still there stays while
// that of an image gone meanwhile is pruned.
TEST_F(BoardWritesFixture, AnImportedHistoryIsIndexedAsTheStoresOwn)
{
    const ClipboardImage picture = image("present picture");
    const ClipboardImage other = image("other picture");
    ASSERT_TRUE(store->record(ClipboardContent::image(picture), 2));
    ASSERT_TRUE(store->record(ClipboardContent::image(other), 3));
    store->setOCRStatus(ClipboardStore::OCRStatus::noText, picture.fingerprint());
    store->setOCRStatus(ClipboardStore::OCRStatus::failed, other.fingerprint());
    ClipboardHistoryState archive;
    archive.pinboards = store->pinboards();
    archive.items = {textItem(QStringLiteral("imported"), 5), textItem(QStringLiteral("imported pin"), 6, true),
                     ClipboardItem(QUuid::createUuid(), ClipboardContent::image(picture), 0.5)};
    Outcome outcome;
    store->mergeImportAsync(archive, outcome.completion());
    store->remove(store->itemAt(0)); // the other picture: merged again without it
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called && !store->isSavingBoards(); }));
    ASSERT_EQ(texts(store->items()),
              (QStringList{QStringLiteral("imported pin"), QStringLiteral("imported"), QStringLiteral("<image>")}));
    EXPECT_EQ(store->ocrStatuses().value(picture.fingerprint()), ClipboardStore::OCRStatus::noText);
    EXPECT_FALSE(store->ocrStatuses().contains(other.fingerprint()));
    EXPECT_EQ(store->pinnedItems().size(), 1);
    // Copied again, an imported text moves up instead of coming twice.
    ASSERT_TRUE(store->record(QStringLiteral("imported"), 10));
    EXPECT_EQ(store->itemCount(), 3);
    EXPECT_EQ(store->itemAt(1).content().textValue(), QStringLiteral("imported"));
}

// The archive is checked and merged on the writer's thread: a refusal there comes back through
// the completion, with nothing written and the storage as it was.
TEST_F(BoardWritesFixture, AnArchiveRefusedWhileMergedIsReportedAndChangesNothing)
{
    ASSERT_TRUE(store->record(QStringLiteral("present"), 1));
    ClipboardHistoryState archive;
    archive.pinboards = store->pinboards();
    archive.items = {textItem(QString(50'001, QLatin1Char('x')), 5)};
    const int writesBefore = persistence->startedWrites();

    Outcome outcome;
    store->mergeImportAsync(archive, outcome.completion());
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called; }));
    EXPECT_EQ(outcome.failure, ClipboardHistoryImportError::message(Case::tooLarge));
    EXPECT_EQ(persistence->startedWrites(), writesBefore);
    EXPECT_EQ(store->storageIssue(), std::nullopt);
    EXPECT_FALSE(store->isSavingBoards());
    EXPECT_EQ(texts(store->items()), QStringList{QStringLiteral("present")});
}

// Clips that keep changing while an import is written and merged again all end up beside the
// imported ones, in the store and in the file; so do those changed before a flush that waits
// for the import.
TEST_F(BoardWritesFixture, AnImportKeepsEveryClipChangedWhileItIsWrittenOrMergedAgain)
{
    ClipboardHistoryState archive;
    archive.pinboards = store->pinboards();
    for (int i = 0; i < 2'000; ++i)
        archive.items.append(textItem(QStringLiteral("imported %1 ").arg(i) + QString(2'000, QChar(0xe9)), 100 + i));

    persistence->hold();
    Outcome outcome;
    store->mergeImportAsync(archive, outcome.completion());
    ASSERT_TRUE(persistence->waitForWrites(1));
    ASSERT_TRUE(store->record(QStringLiteral("captured 0"), 10'000));
    persistence->release();
    // A clip on every turn of the event loop until the import is taken on (at most a few
    // thousand, so that the second import below still fits the merged history's limit).
    int captured = 1;
    ASSERT_TRUE(processEventsUntil([&] {
        if (!outcome.called && captured < 5'000) {
            EXPECT_TRUE(store->record(QStringLiteral("captured %1").arg(captured), 10'000 + captured));
            ++captured;
        }
        return outcome.called;
    }));
    EXPECT_EQ(outcome.failure, std::nullopt);
    ASSERT_TRUE(processEventsUntil([&] { return !store->isSavingBoards(); }));
    store->flushPersistence();
    EXPECT_EQ(store->itemCount(), 2'000 + captured);
    EXPECT_EQ(texts(persistence->stored().items), texts(store->items()));

    // The same with a flush right after the write: it merges the archive again at once.
    ClipboardHistoryState another;
    another.pinboards = store->pinboards();
    another.items = {textItem(QStringLiteral("second import"), 1)};
    const int writesBefore = persistence->startedWrites();
    persistence->hold();
    Outcome second;
    store->mergeImportAsync(another, second.completion());
    ASSERT_TRUE(persistence->waitForWrites(writesBefore + 1));
    ASSERT_TRUE(store->record(QStringLiteral("captured before the flush"), 1e9));
    persistence->release();
    store->flushPersistence();
    EXPECT_TRUE(second.called);
    EXPECT_FALSE(store->isSavingBoards());
    EXPECT_EQ(store->itemCount(), 2'000 + captured + 2);
    EXPECT_EQ(store->items().first().content().textValue(), QStringLiteral("captured before the flush"));
    EXPECT_EQ(store->items().last().content().textValue(), QStringLiteral("second import"));
    EXPECT_EQ(texts(persistence->stored().items), texts(store->items()));
}

// An archive that fills the merged history to its limit: clips captured while it is written
// take the history past the limit, and are kept.
TEST_F(BoardWritesFixture, ClipsCapturedWhileAnImportFillsTheHistoryAreKept)
{
    ClipboardHistoryState archive;
    archive.pinboards = store->pinboards();
    for (qsizetype i = 0; i < ClipboardStore::maximumMergedItems; ++i)
        archive.items.append(textItem(QStringLiteral("imported %1").arg(i), 100 + double(i)));
    persistence->hold();
    Outcome outcome;
    store->mergeImportAsync(archive, outcome.completion());
    ASSERT_TRUE(persistence->waitForWrites(1));
    ASSERT_TRUE(store->record(QStringLiteral("captured meanwhile"), 1e9));
    persistence->release();
    ASSERT_TRUE(processEventsUntil([&] { return outcome.called; }));
    EXPECT_EQ(outcome.failure, std::nullopt);
    EXPECT_EQ(store->itemCount(), ClipboardStore::maximumMergedItems + 1);
    EXPECT_EQ(store->items().first().content().textValue(), QStringLiteral("captured meanwhile"));
    EXPECT_EQ(persistence->stored().items.size(), ClipboardStore::maximumMergedItems + 1);
}

TEST_F(BoardWritesFixture, AnotherChangeOrAFlushWaitsForTheOneBeingWritten)
{
    persistence->hold();
    Outcome first;
    store->renamePinboardAsync(DefaultPinboards::workID(), QStringLiteral("Office"), first.completion());
    ASSERT_TRUE(persistence->waitForWrites(1));
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        persistence->release();
    });
    // Checked against the boards as the first change leaves them.
    EXPECT_EQ(importError([&] { store->createPinboard(QStringLiteral("office"), {}); }), Case::duplicateBoardName);
    releaser.join();
    EXPECT_TRUE(first.called);
    EXPECT_EQ(store->pinboards()[0].name(), QStringLiteral("Office"));

    persistence->hold();
    Outcome second;
    store->renamePinboardAsync(DefaultPinboards::codeID(), QStringLiteral("Snippets"), second.completion());
    ASSERT_TRUE(persistence->waitForWrites(2));
    ASSERT_TRUE(store->record(QStringLiteral("captured meanwhile"), 3));
    std::thread secondReleaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        persistence->release();
    });
    store->flushPersistence();
    secondReleaser.join();
    EXPECT_TRUE(second.called);
    EXPECT_EQ(persistence->stored().pinboards, store->pinboards());
    EXPECT_EQ(texts(persistence->stored().items), QStringList{QStringLiteral("captured meanwhile")});

    // A completion that arrives after the change was taken on does nothing more.
    const int writes = persistence->startedWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(persistence->startedWrites(), writes);
}

TEST(BoardWritesFile, TheHistoryFileEndsWithTheNewBoardsAndEveryClip)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("Tolvi/history.json"));
    {
        ClipboardStore store(std::make_shared<FileClipboardHistoryPersistence>(path),
                             ClipboardStore::Configuration::standard());
        ASSERT_TRUE(store.record(QStringLiteral("before"), 1));
        Outcome outcome;
        store.renamePinboardAsync(DefaultPinboards::personalID(), QStringLiteral("Home"), outcome.completion());
        ASSERT_TRUE(store.record(QStringLiteral("during"), 2));
        ASSERT_TRUE(processEventsUntil([&] { return outcome.called; }));
        EXPECT_EQ(outcome.failure, std::nullopt);
        store.flushPersistence();
    }
    ClipboardStore reopened(std::make_shared<FileClipboardHistoryPersistence>(path),
                            ClipboardStore::Configuration::standard());
    EXPECT_EQ(reopened.pinboards().last().name(), QStringLiteral("Home"));
    EXPECT_EQ(texts(reopened.items()), (QStringList{QStringLiteral("during"), QStringLiteral("before")}));
}
