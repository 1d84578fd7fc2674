// Recording: refusals, de-duplication with the donor rules, list order and loading.

#include "StoreTestSupport.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

struct RecordingFixture : ::testing::Test {
    std::shared_ptr<FakeSyncPersistence> persistence = std::make_shared<FakeSyncPersistence>();

    std::unique_ptr<ClipboardStore> makeStore(ClipboardStore::Configuration configuration = unlimitedConfiguration())
    {
        return std::make_unique<ClipboardStore>(persistence, configuration);
    }
};

ClipboardOriginalPayload rtfPayload(const QByteArray& rtf)
{
    return *ClipboardOriginalPayload::create(rtf, std::nullopt, {});
}

} // namespace

TEST_F(RecordingFixture, RefusalsReturnFalseAndChangeNothing)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxImageBytes = 16;
    configuration.maxCharactersPerItem = 5;
    auto store = makeStore(configuration);
    ASSERT_TRUE(store->record(QStringLiteral("kept"), 10));
    const int savesBefore = persistence->saves.size();

    EXPECT_FALSE(store->record(QStringLiteral(" \t\n "), 11));
    EXPECT_FALSE(store->record(ClipboardContent::text(QStringLiteral(" \n")), 11));
    EXPECT_FALSE(store->record(ClipboardContent::image(image(QByteArray())), 11));
    EXPECT_FALSE(store->record(ClipboardContent::image(image(QByteArray(17, 'x'))), 11));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_EQ(persistence->saves.size(), savesBefore);

    // The limits themselves are accepted.
    EXPECT_TRUE(store->record(ClipboardContent::image(image(QByteArray(16, 'x'))), 12));
    EXPECT_TRUE(store->record(QStringLiteral("12345"), 13));
    EXPECT_EQ(store->itemCount(), 3);
}

TEST_F(RecordingFixture, OverLongTextSetsTheMessageUntilTheNextAcceptedRecording)
{
    auto store = makeStore();
    QSignalSpy issueSpy(store.get(), &ClipboardStore::lastCaptureIssueChanged);
    const QString limitText(50'000, QLatin1Char('a'));
    EXPECT_TRUE(store->record(limitText, 1));
    EXPECT_FALSE(store->record(limitText + QLatin1Char('b'), 2));
    EXPECT_EQ(store->lastCaptureIssue(),
              QStringLiteral("This text exceeds the 50000-character limit and was not saved. "
                             "The original clipboard is unchanged."));
    EXPECT_EQ(issueSpy.count(), 1);
    EXPECT_EQ(store->itemCount(), 1);

    // A blank over-long text through the content entry reports the length, not the blank.
    EXPECT_FALSE(store->record(ClipboardContent::text(QString(50'001, QLatin1Char(' '))), 3));
    EXPECT_TRUE(store->lastCaptureIssue().has_value());

    EXPECT_TRUE(store->record(QStringLiteral("short"), 4));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
    EXPECT_EQ(issueSpy.count(), 2);
}

TEST_F(RecordingFixture, CharactersAreGraphemeClusters)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxCharactersPerItem = 3;
    auto store = makeStore(configuration);
    // Man, woman, girl, boy joined by zero-width joiners: one character of 11 code units.
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
                                             "\xE2\x80\x8D\xF0\x9F\x91\xA6");
    EXPECT_TRUE(store->record(family + family + family, 1));
    EXPECT_FALSE(store->record(family + family + family + family, 2));
    // Combining marks stay with their letter.
    const QString accented = QStringLiteral("e\u0301\u0302\u0303");
    EXPECT_TRUE(store->record(accented + accented + accented, 3));
    EXPECT_FALSE(store->record(accented + accented + accented + QStringLiteral("x"), 4));
}

// A text made to look short: few characters, each of a great many code units. The limit bounds
// the stored length too, beyond any ordinary text of as many characters.
TEST_F(RecordingFixture, AHugeTextOfFewCharactersIsRefusedLikeAnOverLongOne)
{
    auto store = makeStore();
    const QString message = QStringLiteral("This text exceeds the 50000-character limit and was not saved. "
                                           "The original clipboard is unchanged.");
    // "e" and five million combining accents: one character of 10 MB.
    const QString accents = QStringLiteral("e") + QString(5'000'000, QChar(0x0301));
    EXPECT_FALSE(store->record(accents, 1));
    EXPECT_EQ(store->lastCaptureIssue(), message);
    // A million emoji pairs joined by zero-width joiners, in seven pieces: seven characters.
    const QString heart(QChar(0x2764));  // a heart, one code unit
    QString joined;
    for (int piece = 0; piece < 7; ++piece) {
        QString run = heart;
        for (int i = 0; i < 1'000'000 / 7; ++i)
            run += QChar(0x200D) + heart;
        joined += run + QLatin1Char(' ');
    }
    EXPECT_FALSE(store->record(joined, 2));
    EXPECT_EQ(store->itemCount(), 0);

    // The longest emoji sequences, 50,000 of them, are an ordinary text at the limit: a kiss of a
    // woman and a man with two skin tones, 15 code units.
    const QString kiss = QString::fromUcs4(U"\U0001F469\U0001F3FD\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F468\U0001F3FF");
    ASSERT_EQ(kiss.size(), 15);
    EXPECT_TRUE(store->record(kiss.repeated(50'000), 3));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(RecordingFixture, EqualClipIsFoldedIntoTheNewOneWithTheDonorsPinsBoardsAndSource)
{
    const QUuid work = DefaultPinboards::workID();
    const QUuid code = DefaultPinboards::codeID();
    ClipboardItem donor(QUuid::createUuid(), QStringLiteral("shared"), 5, true, {work, code},
                        ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.editor")));
    persistence->stored = ClipboardHistoryState{{donor, textItem(QStringLiteral("other"), 50, true)},
                                                DefaultPinboards::all()};
    auto store = makeStore();

    ASSERT_TRUE(store->record(QStringLiteral("shared"), 100));
    ASSERT_EQ(store->itemCount(), 2);
    const ClipboardItem& folded = store->itemAt(0);
    EXPECT_EQ(folded.content().textValue(), QStringLiteral("shared"));
    EXPECT_NE(folded.id(), donor.id());
    EXPECT_EQ(folded.createdAt(), 100);
    EXPECT_TRUE(folded.isPinned());
    EXPECT_EQ(folded.pinboardIDs(), (QList<QUuid>{work, code}));
    ASSERT_TRUE(folded.sourceApp().has_value());
    EXPECT_EQ(folded.sourceApp()->name(), QStringLiteral("Editor"));
    EXPECT_FALSE(store->item(donor.id()).has_value());

    // A recording with a source application of its own keeps it.
    ASSERT_TRUE(store->record(QStringLiteral("shared"), 101, ClipboardSourceApp(QStringLiteral("Terminal"))));
    EXPECT_EQ(store->itemAt(0).sourceApp()->name(), QStringLiteral("Terminal"));
    EXPECT_EQ(store->itemCount(), 2);
}

TEST_F(RecordingFixture, ComposedAndDecomposedTextAreOneClipButKeptRepresentationsMakeAnother)
{
    auto store = makeStore();
    ASSERT_TRUE(store->record(QStringLiteral("caf\u00e9"), 1));
    ASSERT_TRUE(store->record(QStringLiteral("cafe\u0301"), 2));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().textValue(), QStringLiteral("cafe\u0301"));

    ASSERT_TRUE(store->record(QStringLiteral("cafe\u0301"), 3, std::nullopt, rtfPayload("{\\rtf1 caf}")));
    EXPECT_EQ(store->itemCount(), 2);
    // The same text with the same kept RTF folds.
    ASSERT_TRUE(store->record(QStringLiteral("cafe\u0301"), 4, std::nullopt, rtfPayload("{\\rtf1 caf}")));
    EXPECT_EQ(store->itemCount(), 2);
}

TEST_F(RecordingFixture, EveryClipWithTheKeyGoesAndOnlyTheFirstInListOrderDonates)
{
    const QUuid work = DefaultPinboards::workID();
    const QUuid personal = DefaultPinboards::personalID();
    persistence->stored = ClipboardHistoryState{
        {textItem(QStringLiteral("dup"), 10, false), textItem(QStringLiteral("dup"), 30, true, {work}),
         textItem(QStringLiteral("dup"), 20, true, {personal}), textItem(QStringLiteral("x"), 1)},
        DefaultPinboards::all()};
    auto store = makeStore();
    ASSERT_TRUE(store->record(QStringLiteral("dup"), 5));
    ASSERT_EQ(store->itemCount(), 2);
    // The pinned clip of time 30 stood first in list order.
    EXPECT_EQ(store->itemAt(0).pinboardIDs(), QList<QUuid>{work});
    EXPECT_TRUE(store->itemAt(0).isPinned());
}

TEST_F(RecordingFixture, RecognisedTextOfTheDonorImageIsKeptUnlessTheNewImageHasItsOwn)
{
    auto store = makeStore();
    const QByteArray bytes("\x89PNG same bytes");
    ASSERT_TRUE(store->record(ClipboardContent::image(image(bytes, QStringLiteral("found text"))), 1));
    ASSERT_TRUE(store->record(ClipboardContent::image(image(bytes, QStringLiteral("  \n"))), 2));
    ASSERT_EQ(store->itemCount(), 1);
    EXPECT_EQ(store->itemAt(0).content().imageValue().recognizedText(), QStringLiteral("found text"));
    ASSERT_TRUE(store->record(ClipboardContent::image(image(bytes)), 3));
    EXPECT_EQ(store->itemAt(0).content().imageValue().recognizedText(), QStringLiteral("found text"));
    ASSERT_TRUE(store->record(ClipboardContent::image(image(bytes, QStringLiteral("newer"))), 4));
    EXPECT_EQ(store->itemAt(0).content().imageValue().recognizedText(), QStringLiteral("newer"));
    EXPECT_EQ(store->itemCount(), 1);
}

TEST_F(RecordingFixture, ListKeepsPinnedFirstThenNewestFirst)
{
    persistence->stored = ClipboardHistoryState{{textItem(QStringLiteral("old pin"), 1, true),
                                                 textItem(QStringLiteral("u50"), 50), textItem(QStringLiteral("u10"), 10),
                                                 textItem(QStringLiteral("new pin"), 60, true)},
                                                DefaultPinboards::all()};
    auto store = makeStore();
    EXPECT_EQ(texts(store->items()), (QStringList{"new pin", "old pin", "u50", "u10"}));

    // A new clip lands behind the pinned ones by time; an older time lands at its place.
    ASSERT_TRUE(store->record(QStringLiteral("u100"), 100));
    ASSERT_TRUE(store->record(QStringLiteral("u20"), 20));
    // Equal time: the newly recorded clip stands ahead.
    ASSERT_TRUE(store->record(QStringLiteral("u50b"), 50));
    EXPECT_EQ(texts(store->items()), (QStringList{"new pin", "old pin", "u100", "u50b", "u50", "u20", "u10"}));
    EXPECT_EQ(texts(store->pinnedItems()), (QStringList{"new pin", "old pin"}));
    EXPECT_EQ(texts(store->recentItems()), (QStringList{"u100", "u50b", "u50", "u20", "u10"}));
}

TEST_F(RecordingFixture, NonFiniteCreationTimeIsRefused)
{
    auto store = makeStore();
    EXPECT_FALSE(store->record(QStringLiteral("nan"), std::nan("")));
    EXPECT_FALSE(store->record(QStringLiteral("inf"), std::numeric_limits<double>::infinity()));
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(persistence->saves.isEmpty());
}

TEST_F(RecordingFixture, LoadDropsUnknownBoardsAndSortsButAppliesNoLimit)
{
    const QUuid kept = QUuid::createUuid();
    const QUuid gone = QUuid::createUuid();
    Pinboard board(kept, QStringLiteral("Mine"), QStringLiteral("star"), 1);
    QList<ClipboardItem> clips;
    for (int i = 0; i < 5; ++i)
        clips.append(textItem(QStringLiteral("c%1").arg(i), i));
    clips.append(textItem(QStringLiteral("on boards"), 2.5, true, {gone, kept, gone}));
    persistence->stored = ClipboardHistoryState{clips, {board}};

    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxItems = 2;
    auto store = makeStore(configuration);
    EXPECT_EQ(texts(store->items()), (QStringList{"on boards", "c4", "c3", "c2", "c1", "c0"}));
    EXPECT_EQ(store->itemAt(0).pinboardIDs(), QList<QUuid>{kept});
    EXPECT_EQ(store->pinboards(), QList<Pinboard>{board});
    // Loading writes nothing back.
    EXPECT_TRUE(persistence->saves.isEmpty());

    ASSERT_TRUE(store->record(QStringLiteral("new"), 10));
    EXPECT_EQ(texts(store->items()), (QStringList{"on boards", "new", "c4"}));
}

TEST_F(RecordingFixture, ItemsOnABoardIncludeUnpinnedOnes)
{
    const QUuid work = DefaultPinboards::workID();
    persistence->stored = ClipboardHistoryState{{textItem(QStringLiteral("a"), 1, false, {work}),
                                                 textItem(QStringLiteral("b"), 2, true, {work}),
                                                 textItem(QStringLiteral("c"), 3)},
                                                DefaultPinboards::all()};
    auto store = makeStore();
    EXPECT_EQ(texts(store->items(DefaultPinboards::all()[0])), (QStringList{"b", "a"}));
}

TEST_F(RecordingFixture, OneRecordingAnnouncesEachChangedFieldOnceAndSavesOnce)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxItems = 1;
    auto store = makeStore(configuration);
    ASSERT_TRUE(store->record(QStringLiteral("first"), 1));
    persistence->saves.clear();
    QSignalSpy itemsSpy(store.get(), &ClipboardStore::itemsChanged);
    QSignalSpy boardsSpy(store.get(), &ClipboardStore::pinboardsChanged);
    // Folding nothing, inserting and trimming: several steps, one announcement, one save.
    ASSERT_TRUE(store->record(QStringLiteral("second"), 2));
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(boardsSpy.count(), 0);
    ASSERT_EQ(persistence->saves.size(), 1);
    EXPECT_EQ(texts(persistence->saves[0].items), QStringList{"second"});
}
