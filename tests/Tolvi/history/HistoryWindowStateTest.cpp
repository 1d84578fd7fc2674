#include "Tolvi/history/HistoryWindowState.h"

#include "HistoryTestSupport.h"

#include "Tolvi/platform/shell/Clock.h"
#include "TolviCore/model/UuidText.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

class HistoryWindowStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = makeMemoryStore();
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(store->record(QStringLiteral("clip %1").arg(i), now - 100 + i));
        // Newest first: "clip 4" ... "clip 0".
    }

    HistoryWindowState& makeState(bool opensNewSnippet = false)
    {
        HistoryWindowActions actions;
        actions.pasteItem = [this](const ClipboardItem& item) { pasted.append(item.content().searchText()); };
        actions.pasteItems = [this](const QList<ClipboardItem>& items) {
            for (const ClipboardItem& item : items)
                batch.append(item.content().searchText());
        };
        actions.closePanel = [this] { ++closes; };
        actions.setHistoryInteractionBlocked = [this](bool blocked) { blockedCalls.append(blocked); };
        actions.createSnippet = [this](const QString& text) { return store->record(text, now); };
        actions.retryOCR = [](const ClipboardItem&) {};
        state = std::make_unique<HistoryWindowState>(*store, &usage, FeatureFlags(TolviDistributionChannel::direct, false),
                                                     opensNewSnippet, actions);
        state->setClock([] { return now; });
        state->setOverlayAvailability([this](HistoryOverlay) { return overlaysAvailable; });
        return *state;
    }

    QUuid idOf(const QString& text) const
    {
        for (const ClipboardItem& item : store->items()) {
            if (item.content().searchText() == text)
                return item.id();
        }
        return {};
    }

    QString lensText() const { return state->lensItem() ? state->lensItem()->content().searchText() : QString(); }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    std::unique_ptr<HistoryWindowState> state;
    bool overlaysAvailable = true;
    QStringList pasted;
    QStringList batch;
    int closes = 0;
    QList<bool> blockedCalls;
};

TEST_F(HistoryWindowStateTest, ScopeFollowsTheFilterKeyAndFallsBackToEverything)
{
    HistoryWindowState& s = makeState();
    s.setFilterKey(QStringLiteral("pinned"));
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::pinned());
    s.setFilterKey(QStringLiteral("pinboard:not-a-uuid"));
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::all());
    EXPECT_FALSE(s.selectedPinboard());
    s.setFilterKey(QStringLiteral("pinboard:") + UuidText::format(QUuid::createUuid()));
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::all());
    s.setFilterKey(QStringLiteral("pinboard:") + UuidText::format(DefaultPinboards::screenshotsID()));
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::screenshots());

    const Pinboard board = store->createPinboard(QStringLiteral("Work stuff"), QStringLiteral("briefcase"));
    store->togglePinned(store->items().first());
    store->togglePinboard(board, store->items().first());
    s.setFilterKey(QStringLiteral("pinboard:") + UuidText::format(board.id()));
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::pinboard(board.id()));
    ASSERT_EQ(s.filteredItems().size(), 1);
    // Deleting the board widens the scope again, and the list follows at once.
    store->deletePinboard(board.id());
    EXPECT_EQ(s.searchScope(), ClipboardSearchScope::all());
    EXPECT_EQ(s.filteredItems().size(), 5);
}

TEST_F(HistoryWindowStateTest, SelectionIsNormalisedAndMovesWithoutWrapping)
{
    HistoryWindowState& s = makeState();
    s.appear();
    EXPECT_EQ(lensText(), QStringLiteral("clip 4"));

    // With no selection, "next" selects the second clip and "previous" the first.
    s.setSelectedItemID(std::nullopt);
    s.moveSelection(1);
    EXPECT_EQ(lensText(), QStringLiteral("clip 3"));
    s.setSelectedItemID(std::nullopt);
    s.moveSelection(-1);
    EXPECT_EQ(lensText(), QStringLiteral("clip 4"));
    s.moveSelection(-1);
    EXPECT_EQ(lensText(), QStringLiteral("clip 4"));
    s.moveSelection(100);
    EXPECT_EQ(lensText(), QStringLiteral("clip 0"));
    EXPECT_EQ(s.lensRow(), 4);

    // A selection the query hides gives way to the first visible clip; nothing visible, no selection.
    s.setQuery(QStringLiteral("clip 2"));
    EXPECT_EQ(s.selectedItemID(), std::optional(idOf(QStringLiteral("clip 2"))));
    EXPECT_EQ(s.lensRow(), 0);
    s.setQuery(QStringLiteral("nothing like this"));
    EXPECT_FALSE(s.selectedItemID());
    EXPECT_FALSE(s.lensItem());
    EXPECT_EQ(s.lensRow(), -1);
    s.moveSelection(1);
    EXPECT_FALSE(s.selectedItemID());

    // A selection that is only hidden from the lens (set directly) leaves the first clip inspected.
    s.setQuery(QString());
    s.setSelectedItemID(QUuid::createUuid());
    EXPECT_EQ(lensText(), QStringLiteral("clip 4"));
}

TEST_F(HistoryWindowStateTest, NewClipsKeepTheSelectionAndDerivedListsFollowTheStore)
{
    HistoryWindowState& s = makeState();
    s.appear();
    s.selectItem(idOf(QStringLiteral("clip 1")));
    QSignalSpy recomputed(&s, &HistoryWindowState::filteredItemsChanged);
    ASSERT_TRUE(store->record(QStringLiteral("clip new"), now));
    EXPECT_EQ(recomputed.count(), 1);
    EXPECT_EQ(s.filteredItems().size(), 6);
    EXPECT_EQ(s.filteredItems().first().content().searchText(), QStringLiteral("clip new"));
    EXPECT_EQ(lensText(), QStringLiteral("clip 1"));
    EXPECT_EQ(s.lensRow(), 4);
    // Reading derived values does not compute them again.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s.filteredItems().size(), 6);
    EXPECT_EQ(recomputed.count(), 1);
}

TEST_F(HistoryWindowStateTest, QueueKeepsTheChoosingOrderAndDropsDeletedClips)
{
    HistoryWindowState& s = makeState();
    const QUuid first = idOf(QStringLiteral("clip 0"));
    const QUuid second = idOf(QStringLiteral("clip 3"));
    const QUuid third = idOf(QStringLiteral("clip 2"));
    s.setQueuedItemIDs({first, second, third});
    ASSERT_EQ(s.queuedItems().size(), 3);
    EXPECT_EQ(s.queuedItems()[0].id(), first);
    store->remove(*store->item(second));
    EXPECT_EQ(s.queuedItemIDs(), (QList<QUuid>{first, third}));

    // Return pastes the queue in its order and empties it.
    s.handleCommand(PanelKeyboardCommand::pasteSelectedClip);
    EXPECT_EQ(batch, (QStringList{QStringLiteral("clip 0"), QStringLiteral("clip 2")}));
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_TRUE(s.queuedItemIDs().isEmpty());
    // With nothing queued it pastes the inspected clip alone.
    s.handleCommand(PanelKeyboardCommand::pasteSelectedClip);
    EXPECT_EQ(pasted, QStringList{QStringLiteral("clip 4")});
}

TEST_F(HistoryWindowStateTest, SourceApplicationsAreUniqueByIdentifierAndSortedByName)
{
    store->clear();
    store->record(QStringLiteral("a"), now - 5, ClipboardSourceApp(QStringLiteral("zed"), QStringLiteral("org.zed")));
    store->record(QStringLiteral("b"), now - 4, ClipboardSourceApp(QStringLiteral("Zed Renamed"), QStringLiteral("org.zed")));
    store->record(QStringLiteral("c"), now - 3, ClipboardSourceApp(QStringLiteral("alpha")));
    store->record(QStringLiteral("d"), now - 2, ClipboardSourceApp(QStringLiteral("Beta"), QStringLiteral("org.beta")));
    store->record(QStringLiteral("e"), now - 1);
    HistoryWindowState& s = makeState();
    // The newest clip of an application names it; no bundle identifier: the name identifies it.
    EXPECT_EQ(s.sourceAppOptions(), (QList<SourceAppFilterOption>{{QStringLiteral("alpha"), QStringLiteral("alpha")},
                                                                    {QStringLiteral("org.beta"), QStringLiteral("Beta")},
                                                                    {QStringLiteral("org.zed"), QStringLiteral("Zed Renamed")}}));
    store->record(QStringLiteral("f"), now, ClipboardSourceApp(QStringLiteral("Gamma"), QStringLiteral("org.gamma")));
    EXPECT_EQ(s.sourceAppOptions().size(), 4);
}

TEST_F(HistoryWindowStateTest, RecognitionRetryIsOfferedOnlyWhereItCanHelp)
{
    HistoryWindowState& s = makeState();
    auto imageClip = [&](QRgb color, std::optional<QString> text) {
        ClipboardImage image(pngBytes(4, 4, color), QStringLiteral("public.png"), 4, 4, std::move(text));
        EXPECT_TRUE(store->record(ClipboardContent::image(image), now));
        return *store->item(store->items().first().id());
    };
    const ClipboardItem fresh = imageClip(0xff000001, std::nullopt);
    const ClipboardItem read = imageClip(0xff000002, QStringLiteral("hello"));
    const ClipboardItem empty = imageClip(0xff000003, QString());
    EXPECT_TRUE(s.canRetryOCR(fresh));
    EXPECT_FALSE(s.canRetryOCR(read));
    EXPECT_TRUE(s.canRetryOCR(empty));
    EXPECT_FALSE(s.canRetryOCR(*store->item(idOf(QStringLiteral("clip 0")))));

    const QString fingerprint = fresh.content().imageValue().fingerprint();
    store->setOCRProcessing(true, fingerprint);
    EXPECT_FALSE(s.canRetryOCR(fresh));
    store->setOCRProcessing(false, fingerprint);
    store->setOCRStatus(ClipboardStore::OCRStatus::failed, fingerprint);
    EXPECT_TRUE(s.canRetryOCR(fresh));
    store->setOCRStatus(ClipboardStore::OCRStatus::unsupportedImage, read.content().imageValue().fingerprint());
    EXPECT_FALSE(s.canRetryOCR(read));
}

TEST_F(HistoryWindowStateTest, EscapeClosesTheInnermostThingFirst)
{
    HistoryWindowState& s = makeState();
    s.appear();
    QSignalSpy dismiss(&s, &HistoryWindowState::dismissOverlayRequested);
    s.setQueuedItemIDs({idOf(QStringLiteral("clip 1"))});

    s.setEditingItem(store->items().first());
    EXPECT_FALSE(s.isSearchFocused());
    s.handleCommand(PanelKeyboardCommand::historyEscape);
    EXPECT_EQ(dismiss.count(), 1);
    EXPECT_TRUE(s.editingItem());
    EXPECT_EQ(s.queuedItemIDs().size(), 1);
    s.setEditingItem(std::nullopt);
    EXPECT_TRUE(s.isSearchFocused());

    s.openPreview(store->items().first());
    EXPECT_EQ(usage.count(UsageMetricEvent::richPreviewOpened), 1);
    EXPECT_EQ(usage.count(UsageMetricEvent::firstPreviewOpened), 1);
    s.handleCommand(PanelKeyboardCommand::historyEscape);
    EXPECT_FALSE(s.previewedItem());
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(s.queuedItemIDs().size(), 1);

    s.handleCommand(PanelKeyboardCommand::historyEscape);
    EXPECT_TRUE(s.queuedItemIDs().isEmpty());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(dismiss.count(), 1);
}

TEST_F(HistoryWindowStateTest, OpenOverlaysBlockEveryCommandButEscape)
{
    HistoryWindowState& s = makeState();
    s.appear();
    s.setConfirmingClearHistory(true);
    EXPECT_TRUE(s.isHistoryInteractionBlocked());
    s.handleCommand(PanelKeyboardCommand::selectNextClip);
    s.handleCommand(PanelKeyboardCommand::pasteSelectedClip);
    s.handleCommand(PanelKeyboardCommand::createSnippet);
    EXPECT_EQ(lensText(), QStringLiteral("clip 4"));
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_FALSE(s.isCreatingSnippet());
    s.setConfirmingClearHistory(false);
    EXPECT_EQ(blockedCalls, (QList<bool>{false, true, false}));

    // What the window cannot show is never opened, so nothing can block it unseen.
    overlaysAvailable = false;
    s.handleCommand(PanelKeyboardCommand::createSnippet);
    s.handleCommand(PanelKeyboardCommand::toggleClipPreview);
    s.requestClearHistory();
    EXPECT_FALSE(s.isHistoryInteractionBlocked());
    EXPECT_EQ(usage.count(UsageMetricEvent::richPreviewOpened), 0);
    s.handleCommand(PanelKeyboardCommand::selectNextClip);
    EXPECT_EQ(lensText(), QStringLiteral("clip 3"));
}

TEST_F(HistoryWindowStateTest, OpeningForANewSnippetStartsInTheEditor)
{
    HistoryWindowState& s = makeState(true);
    s.appear();
    EXPECT_TRUE(s.isCreatingSnippet());
    EXPECT_FALSE(s.isSearchFocused());
    EXPECT_EQ(blockedCalls.last(), true);
}

TEST_F(HistoryWindowStateTest, SavingASnippetSelectsTheClipTheStoreKept)
{
    HistoryWindowState& s = makeState();
    s.appear();
    s.setQuery(QStringLiteral("clip"));
    s.setFilterKey(QStringLiteral("pinned"));
    s.setContentFilter(ClipboardSearchContentFilter::code);

    // A refused text changes nothing.
    EXPECT_FALSE(s.saveSnippet(QStringLiteral("   ")));
    EXPECT_EQ(s.query(), QStringLiteral("clip"));
    EXPECT_EQ(s.filterKey(), QStringLiteral("pinned"));

    // An equal text folds into the existing clip, which is selected and scrolled to.
    const QUuid before = idOf(QStringLiteral("clip 1"));
    ASSERT_FALSE(before.isNull());
    EXPECT_TRUE(s.saveSnippet(QStringLiteral("clip 1")));
    EXPECT_TRUE(s.query().isEmpty());
    EXPECT_EQ(s.filterKey(), QStringLiteral("all"));
    EXPECT_EQ(s.contentFilter(), ClipboardSearchContentFilter::all);
    EXPECT_EQ(lensText(), QStringLiteral("clip 1"));
    EXPECT_EQ(s.lensRow(), 0);
    EXPECT_EQ(s.pendingScrollItemID(), s.selectedItemID());
}

} // namespace
