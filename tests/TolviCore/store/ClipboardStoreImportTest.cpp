// Export and import merge.

#include "StoreTestSupport.h"

#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <gtest/gtest.h>

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

ClipboardImportPreview counts(int added, int merged, int boards, int total)
{
    ClipboardImportPreview preview;
    preview.addedItems = added;
    preview.mergedItems = merged;
    preview.addedBoards = boards;
    preview.totalItems = total;
    return preview;
}

struct ImportFixture : ::testing::Test {
    std::shared_ptr<FakeSyncPersistence> persistence = std::make_shared<FakeSyncPersistence>();
    std::unique_ptr<ClipboardStore> store;

    void start(QList<ClipboardItem> items = {}, QList<Pinboard> boards = DefaultPinboards::all(),
               ClipboardStore::Configuration configuration = unlimitedConfiguration())
    {
        persistence->stored = ClipboardHistoryState{std::move(items), std::move(boards)};
        store = std::make_unique<ClipboardStore>(persistence, configuration);
    }

    static QByteArray archive(QList<ClipboardItem> items, QList<Pinboard> boards = {})
    {
        return ClipboardHistoryArchive::encode(ClipboardHistoryState{std::move(items), std::move(boards)});
    }
};

} // namespace

TEST_F(ImportFixture, ImportingOwnExportAddsNothingButStillWritesOnce)
{
    start({textItem(QStringLiteral("a"), 1), textItem(QStringLiteral("b"), 2, true, {DefaultPinboards::workID()}),
           ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image("png")), 3)});
    const QList<ClipboardItem> before = store->items();
    const QByteArray exported = store->archiveData();
    EXPECT_EQ(store->previewImport(exported), counts(0, 3, 0, 3));
    EXPECT_TRUE(persistence->saves.isEmpty());
    EXPECT_EQ(store->mergeImport(exported), counts(0, 3, 0, 3));
    EXPECT_EQ(persistence->saves.size(), 1);
    EXPECT_EQ(store->items(), before);
}

TEST_F(ImportFixture, BoardsMatchByIdThenByNameElseAreAdded)
{
    start();
    const QUuid code = DefaultPinboards::codeID();
    const Pinboard renamedCode(code, QStringLiteral("Snippets"), QStringLiteral("x"), 1);
    const Pinboard accentedWork(QUuid::createUuid(), QStringLiteral("W\u00d6RK"), QStringLiteral("x"), 1);
    const Pinboard fresh(QUuid::createUuid(), QStringLiteral(" Travel "), QStringLiteral("airplane"), 9);
    const ClipboardItem onBoards(QUuid::createUuid(), QStringLiteral("filed"), 5, false, {accentedWork.id(), renamedCode.id(), fresh.id()});
    EXPECT_EQ(store->mergeImport(archive({onBoards}, {renamedCode, accentedWork, fresh})), counts(1, 0, 1, 1));
    // Present boards keep their names; the new one arrives as it was, untrimmed, at the end.
    ASSERT_EQ(store->pinboards().size(), 5);
    EXPECT_EQ(store->pinboards()[1].name(), QStringLiteral("Code"));
    EXPECT_EQ(store->pinboards()[4], fresh);
    const ClipboardItem arrived = store->itemAt(0);
    EXPECT_EQ(arrived.id(), onBoards.id());
    EXPECT_TRUE(arrived.isPinned());
    EXPECT_EQ(arrived.pinboardIDs(), (QList<QUuid>{DefaultPinboards::workID(), code, fresh.id()}));
}

TEST_F(ImportFixture, DeletedDefaultBoardComesBackAsAnAddedBoard)
{
    QList<Pinboard> boards = DefaultPinboards::all();
    boards.removeAt(3);
    start({}, boards);
    EXPECT_EQ(store->mergeImport(archive({}, DefaultPinboards::all())), counts(0, 0, 1, 0));
    EXPECT_EQ(store->pinboards().last().id(), DefaultPinboards::personalID());
}

TEST_F(ImportFixture, BoardListsNameEachBoardOnce)
{
    start();
    const Pinboard first(QUuid::createUuid(), QStringLiteral("Ideas"), QStringLiteral("x"), 1);
    const Pinboard sameName(QUuid::createUuid(), QStringLiteral("ideas"), QStringLiteral("y"), 2);
    const ClipboardItem twice(QUuid::createUuid(), QStringLiteral("twice"), 5, true, {first.id(), first.id(), sameName.id()});
    store->mergeImport(archive({twice}, {first, sameName}));
    EXPECT_EQ(store->itemAt(0).pinboardIDs(), QList<QUuid>{first.id()});
    EXPECT_EQ(store->pinboards().size(), 5);
}

TEST_F(ImportFixture, ClipsMergeByKeyAndFillInOnlyWhatIsMissing)
{
    const QByteArray pictureBytes("picture bytes");
    const ClipboardItem presentText(QUuid::createUuid(), QStringLiteral("shared"), 10, false, {DefaultPinboards::codeID()});
    const ClipboardItem presentPlain(QUuid::createUuid(), ClipboardContent::image(image(pictureBytes)), 11);
    const ClipboardItem presentSeen(QUuid::createUuid(), ClipboardContent::image(image("seen bytes", QStringLiteral("mine"))), 12);
    start({presentText, presentPlain, presentSeen});

    const Pinboard work = DefaultPinboards::all()[0];
    const ClipboardItem incomingText(QUuid::createUuid(), QStringLiteral("shared"), 99, false, {work.id()},
                                     ClipboardSourceApp(QStringLiteral("Elsewhere")));
    const ClipboardItem incomingPlain(QUuid::createUuid(), ClipboardContent::image(image(pictureBytes, QStringLiteral("found"))), 98);
    const ClipboardItem incomingSeen(QUuid::createUuid(), ClipboardContent::image(image("seen bytes", QStringLiteral("theirs"))), 97);
    // Same id as a present clip, other content: added under a fresh id.
    const ClipboardItem collision(presentText.id(), QStringLiteral("different"), 5);
    const ClipboardItem dup1(QUuid::createUuid(), QStringLiteral("new twin"), 4, false, {work.id()});
    const ClipboardItem dup2(QUuid::createUuid(), QStringLiteral("new twin"), 3, false, {DefaultPinboards::personalID()});
    EXPECT_EQ(store->mergeImport(archive({incomingText, incomingPlain, incomingSeen, collision, dup1, dup2},
                                         DefaultPinboards::all())),
              counts(2, 4, 0, 5));

    const ClipboardItem text = *store->item(presentText.id());
    EXPECT_EQ(text.content().textValue(), QStringLiteral("shared"));
    EXPECT_EQ(text.createdAt(), 10);
    EXPECT_TRUE(text.isPinned());
    EXPECT_EQ(text.pinboardIDs(), (QList<QUuid>{DefaultPinboards::codeID(), work.id()}));
    EXPECT_EQ(text.sourceApp()->name(), QStringLiteral("Elsewhere"));
    EXPECT_EQ(store->item(presentPlain.id())->content().imageValue().recognizedText(), QStringLiteral("found"));
    EXPECT_EQ(store->item(presentSeen.id())->content().imageValue().recognizedText(), QStringLiteral("mine"));

    int differentCount = 0;
    for (const ClipboardItem& clip : store->items()) {
        if (clip.content().isText() && clip.content().textValue() == QStringLiteral("different")) {
            ++differentCount;
            EXPECT_NE(clip.id(), presentText.id());
        }
        if (clip.content().isText() && clip.content().textValue() == QStringLiteral("new twin")) {
            EXPECT_EQ(clip.id(), dup1.id());
            EXPECT_EQ(clip.pinboardIDs(), (QList<QUuid>{work.id(), DefaultPinboards::personalID()}));
        }
    }
    EXPECT_EQ(differentCount, 1);
}

TEST_F(ImportFixture, UnpinnedCopyInTheArchiveLeavesAPinnedClipPinnedOnItsBoard)
{
    const ClipboardItem pinned = textItem(QStringLiteral("keep me"), 10, true, {DefaultPinboards::workID()});
    start({textItem(QStringLiteral("newer"), 20), pinned});
    EXPECT_EQ(store->mergeImport(archive({textItem(QStringLiteral("keep me"), 30)})), counts(0, 1, 0, 2));
    const ClipboardItem merged = *store->item(pinned.id());
    EXPECT_TRUE(merged.isPinned());
    EXPECT_EQ(merged.pinboardIDs(), QList<QUuid>{DefaultPinboards::workID()});
    EXPECT_EQ(texts(store->items()), (QStringList{"keep me", "newer"}));
    EXPECT_EQ(persistence->stored->items, store->items());
}

TEST_F(ImportFixture, KeysMatchInCanonicalFormAndKeptRepresentationsKeepClipsApart)
{
    const auto rtf = [](const char* text) { return ClipboardOriginalPayload::create(QByteArray(text), std::nullopt, {}); };
    const ClipboardItem composed(QUuid::createUuid(), QStringLiteral("caf\u00e9"), 10);
    const ClipboardItem composedRich(QUuid::createUuid(), QStringLiteral("caf\u00e9"), 11, false, {}, std::nullopt, rtf("{\\rtf1 a}"));
    start({composed, composedRich});

    const ClipboardItem decomposed(QUuid::createUuid(), QStringLiteral("cafe\u0301"), 20, false, {DefaultPinboards::workID()});
    const ClipboardItem sameRich(QUuid::createUuid(), QStringLiteral("caf\u00e9"), 21, false, {}, std::nullopt,
                                 rtf("{\\rtf1 a}"));
    const ClipboardItem otherRich(QUuid::createUuid(), QStringLiteral("caf\u00e9"), 22, false, {}, std::nullopt,
                                  rtf("{\\rtf1 b}"));
    EXPECT_EQ(store->mergeImport(archive({decomposed, sameRich, otherRich}, DefaultPinboards::all())),
              counts(1, 2, 0, 3));
    EXPECT_EQ(store->item(composed.id())->pinboardIDs(), QList<QUuid>{DefaultPinboards::workID()});
    EXPECT_TRUE(store->item(composed.id())->isPinned());
    EXPECT_TRUE(store->item(otherRich.id()).has_value());
}

TEST_F(ImportFixture, ResultIsSortedWithPresentClipsFirstAmongTies)
{
    const ClipboardItem present = textItem(QStringLiteral("present"), 7);
    start({present, textItem(QStringLiteral("old"), 1)});
    store->mergeImport(archive({textItem(QStringLiteral("incoming tie"), 7), textItem(QStringLiteral("pinned"), 0, true),
                                textItem(QStringLiteral("newest"), 50)}));
    EXPECT_EQ(texts(store->items()), (QStringList{"pinned", "newest", "present", "incoming tie", "old"}));
}

TEST_F(ImportFixture, PerClipLimitsRefuseTheWholeImport)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxCharactersPerItem = 10;
    configuration.maxImageBytes = 8;
    start({}, DefaultPinboards::all(), configuration);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(QString(10, QLatin1Char('a')), 1)})); }), std::nullopt);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(QString(11, QLatin1Char('a')), 1)})); }), Case::tooLarge);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(QStringLiteral("ok"), 1), textItem(QStringLiteral("   "), 2)})); }),
              Case::tooLarge);
    EXPECT_EQ(importError([&] {
                  store->previewImport(archive({ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image("123456789")), 1)}));
              }),
              Case::tooLarge);
    EXPECT_EQ(importError([&] {
                  store->mergeImport(archive({ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image("")), 1)}));
              }),
              Case::tooLarge);
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(persistence->saves.isEmpty());
}

TEST_F(ImportFixture, LongAsciiTextsAreCheckedAsTheirTextsAndImportedAsTheirBytes)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxCharactersPerItem = 100;
    start({}, DefaultPinboards::all(), configuration);
    const QString longest(100, QLatin1Char('a'));
    // A carriage return and a line feed are one character: 150 bytes, 100 characters.
    const QString lines = QStringLiteral("x\r\n").repeated(50);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(longest + QLatin1Char('a'), 1)})); }),
              Case::tooLarge);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(QString(80, QLatin1Char(' ')), 1)})); }),
              Case::tooLarge);
    EXPECT_EQ(importError([&] { store->previewImport(archive({textItem(QStringLiteral("\n").repeated(101), 1)})); }),
              Case::tooLarge);
    EXPECT_EQ(importError([&] { store->mergeImport(archive({textItem(longest, 1), textItem(lines, 2)})); }),
              std::nullopt);
    ASSERT_EQ(store->itemCount(), 2);
    for (const ClipboardItem& item : store->items()) {
        ASSERT_TRUE(item.content().asciiTextIf().has_value());
        EXPECT_FALSE(item.content().holdsTextValue());
    }
    EXPECT_EQ(store->itemAt(0).content().textValue(), lines);
    EXPECT_EQ(store->itemAt(1).content().textValue(), longest);
}

TEST_F(ImportFixture, MergedTotalsAreLimitedAndTheItemLimitIsNotApplied)
{
    QList<ClipboardItem> present;
    for (int i = 0; i < 19'990; ++i)
        present.append(textItem(QStringLiteral("present %1").arg(i), i));
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxItems = 10;
    start(present, DefaultPinboards::all(), configuration);
    ASSERT_EQ(store->itemCount(), 19'990);
    QList<ClipboardItem> incoming;
    for (int i = 0; i < 11; ++i)
        incoming.append(textItem(QStringLiteral("incoming %1").arg(i), 30'000 + i));
    EXPECT_EQ(importError([&] { store->previewImport(archive(incoming)); }), Case::tooLarge);
    incoming.removeLast();
    EXPECT_EQ(store->mergeImport(archive(incoming)), counts(10, 0, 0, 20'000));
    EXPECT_EQ(store->itemCount(), 20'000);
    // The next recording applies the limit again.
    ASSERT_TRUE(store->record(QStringLiteral("capture"), 50'000));
    EXPECT_EQ(store->itemCount(), 10);
}

TEST_F(ImportFixture, ArchiveRefusalsLeaveTheStoreUnchanged)
{
    start({textItem(QStringLiteral("kept"), 1)});
    const QList<ClipboardItem> before = store->items();
    EXPECT_EQ(importError([&] { store->mergeImport(QByteArrayView("{\"items\": [")); }), Case::invalidArchive);
    EXPECT_EQ(importError([&] { store->mergeImport(QByteArrayView("{\"format\": \"com.tolvi.history\", \"version\": 9}")); }),
              Case::unsupportedVersion);
    EXPECT_EQ(importError([&] { store->mergeImport(QByteArray(100'000'001, ' ')); }), Case::tooLarge);
    EXPECT_EQ(store->items(), before);
    EXPECT_EQ(store->pinboards(), DefaultPinboards::all());
    EXPECT_TRUE(persistence->saves.isEmpty());
    EXPECT_FALSE(store->storageIssue().has_value());
}

TEST_F(ImportFixture, StorageIssuesRefuseBeforeTheDataIsRead)
{
    persistence->failLoad = true;
    start();
    EXPECT_EQ(importError([&] { store->previewImport(QByteArrayView("not an archive")); }), Case::storageUnavailable);
    EXPECT_EQ(importError([&] { store->mergeImport(QByteArrayView("not an archive")); }), Case::storageUnavailable);
    // Export still works and holds what the store shows: nothing, and the default boards.
    const ClipboardHistoryState exported = ClipboardHistoryArchive::decode(store->archiveData());
    EXPECT_TRUE(exported.items.isEmpty());
    EXPECT_EQ(exported.pinboards, DefaultPinboards::all());
}

TEST_F(ImportFixture, FailedMergeKeepsTheHistoryAndPassesTheErrorOn)
{
    start({textItem(QStringLiteral("kept"), 1)});
    persistence->failSave = true;
    EXPECT_THROW(store->mergeImport(archive({textItem(QStringLiteral("incoming"), 2)})), PersistenceError);
    EXPECT_EQ(texts(store->items()), QStringList{"kept"});
    EXPECT_EQ(store->storageIssue(), ClipboardStore::StorageIssue::saveFailed);
    EXPECT_EQ(importError([&] { store->previewImport(archive({})); }), Case::storageUnavailable);
}

TEST_F(ImportFixture, ArchiveDecodedOnceServesPreviewAndMerge)
{
    start({textItem(QStringLiteral("a"), 1)});
    const ClipboardHistoryState decoded =
        ClipboardHistoryArchive::decode(archive({textItem(QStringLiteral("a"), 3), textItem(QStringLiteral("b"), 2)}));
    const ClipboardImportPreview preview = store->previewImport(decoded);
    EXPECT_EQ(preview, counts(1, 1, 0, 2));
    EXPECT_EQ(store->mergeImport(decoded), preview);
    // A state that breaks the archive rules is refused here as well.
    ClipboardHistoryState broken = decoded;
    broken.items.append(broken.items[0]);
    EXPECT_EQ(importError([&] { store->previewImport(broken); }), Case::invalidArchive);
}

TEST_F(ImportFixture, OCRStateOfImagesGoneAfterACommitIsPruned)
{
    const ClipboardItem picture(QUuid::createUuid(), ClipboardContent::image(image("img")), 1, false, {DefaultPinboards::workID()});
    start({picture});
    const QString fingerprint = picture.content().imageValue().fingerprint();
    store->setOCRStatus(ClipboardStore::OCRStatus::noText, fingerprint);
    ASSERT_TRUE(store->ocrStatuses().contains(fingerprint));
    store->deletePinboard(DefaultPinboards::workID());
    EXPECT_TRUE(store->ocrStatuses().contains(fingerprint));
    store->remove(picture);
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
}
