#include "Tolvi/design/Announcements.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/history/ClipboardFooter.h"
#include "Tolvi/history/ClipboardFooterFlowLayout.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/ClipRowMenu.h"
#include "Tolvi/history/NarrowClipActions.h"
#include "Tolvi/clipviews/OCRStatusLabel.h"

#include "HistoryTestSupport.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/shell/Clock.h"
#include "TolviCore/model/ByteCountFormatter.h"
#include "TolviCore/text/TextTransform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;
using OCRStatus = ClipboardStore::OCRStatus;

// ---- Flow layout ------------------------------------------------------------------------

QList<QRect> frames(const QList<QSize>& sizes, std::optional<int> width)
{
    return ClipboardFooterFlowLayout::arrangedFrames(sizes, width, 10, 8);
}

TEST(ClipboardFooterFlowLayoutTest, WrapsOnlyWhatDoesNotFitAfterOthers)
{
    const QList<QSize> pair = {{100, 20}, {95, 30}};
    // 100 + 10 + 95 = 205: one row at 205, two at 204.
    EXPECT_EQ(frames(pair, 205), QList<QRect>({QRect(0, 0, 100, 20), QRect(110, 0, 95, 30)}));
    EXPECT_EQ(frames(pair, 204), QList<QRect>({QRect(0, 0, 100, 20), QRect(0, 28, 95, 30)}));
    EXPECT_EQ(ClipboardFooterFlowLayout::arrangedSize(frames(pair, 205), 205), QSize(205, 30));
    EXPECT_EQ(ClipboardFooterFlowLayout::arrangedSize(frames(pair, 204), 204), QSize(204, 58));

    // A row is as tall as its tallest item; the next row starts under it.
    const QList<QSize> three = {{60, 10}, {60, 40}, {60, 10}};
    EXPECT_EQ(frames(three, 130), QList<QRect>({QRect(0, 0, 60, 10), QRect(70, 0, 60, 40), QRect(0, 48, 60, 10)}));

    // Narrower than every item: one item a row, each at its own width, the too-wide one too.
    EXPECT_EQ(frames({{50, 10}, {80, 10}, {30, 10}}, 20),
              QList<QRect>({QRect(0, 0, 50, 10), QRect(0, 18, 80, 10), QRect(0, 36, 30, 10)}));

    // Without a width everything stays on one row; the size is the right edge.
    const QList<QRect> unbounded = frames({{50, 10}, {80, 12}, {30, 10}}, std::nullopt);
    EXPECT_EQ(unbounded.last(), QRect(150, 0, 30, 10));
    EXPECT_EQ(ClipboardFooterFlowLayout::arrangedSize(unbounded, std::nullopt), QSize(180, 12));

    // Width 0 wraps as 1 and is reported as 0; nothing to lay out takes no height.
    EXPECT_EQ(frames(pair, 0).last().topLeft(), QPoint(0, 28));
    EXPECT_EQ(ClipboardFooterFlowLayout::arrangedSize(frames(pair, 0), 0).width(), 0);
    EXPECT_EQ(ClipboardFooterFlowLayout::arrangedSize({}, 300), QSize(300, 0));
}

// A widget of a fixed preferred size.
class Block final : public QWidget {
public:
    Block(QSize size, QWidget* parent) : QWidget(parent), m_size(size) {}
    QSize sizeHint() const override { return m_size; }
    QSize minimumSizeHint() const override { return m_size; }

private:
    QSize m_size;
};

TEST(ClipboardFooterFlowLayoutTest, PlacesShownWidgetsInsideItsMarginsAtAnyWidth)
{
    QWidget host;
    auto* layout = new ClipboardFooterFlowLayout(&host, 10, 8);
    layout->setContentsMargins(18, 14, 18, 14);
    auto* a = new Block({100, 20}, &host);
    auto* hidden = new Block({500, 50}, &host);
    auto* b = new Block({95, 30}, &host);
    auto* c = new Block({40, 20}, &host);
    for (QWidget* w : {static_cast<QWidget*>(a), static_cast<QWidget*>(hidden), static_cast<QWidget*>(b),
                       static_cast<QWidget*>(c)})
        layout->addWidget(w);
    hidden->hide();

    // All on one row: 36 + 100 + 10 + 95 + 10 + 40.
    EXPECT_EQ(layout->sizeHint(), QSize(291, 58));
    layout->setGeometry(QRect(0, 0, 291, 58));
    EXPECT_EQ(a->geometry(), QRect(18, 14, 100, 20));
    EXPECT_EQ(b->geometry(), QRect(128, 14, 95, 30));
    EXPECT_EQ(c->geometry(), QRect(233, 14, 40, 20));

    // Narrower: c moves to the second row, then b too.
    EXPECT_EQ(layout->heightForWidth(290), 14 + 30 + 8 + 20 + 14);
    layout->setGeometry(QRect(0, 0, 290, layout->heightForWidth(290)));
    EXPECT_EQ(c->geometry(), QRect(18, 14 + 30 + 8, 40, 20));
    layout->setGeometry(QRect(0, 0, 36 + 204, layout->heightForWidth(240)));
    EXPECT_EQ(b->geometry(), QRect(18, 14 + 20 + 8, 95, 30));
    EXPECT_EQ(c->geometry(), QRect(123, 14 + 20 + 8, 40, 20));
    EXPECT_EQ(layout->heightForWidth(240), 14 + 20 + 8 + 30 + 14);

    // The hidden widget shows: it takes a row of its own at its own width.
    hidden->show();
    EXPECT_EQ(layout->heightForWidth(240), 14 + 20 + 8 + 50 + 8 + 30 + 14);
    EXPECT_EQ(layout->minimumSize().width(), 500 + 36);
}

// ---- Window state, footer and narrow strip ------------------------------------------------

class MultiPasteTest : public ::testing::Test {
protected:
    void SetUp() override { store = makeMemoryStore(); }

    // Records text clips oldest first, so the list shows them newest first.
    void record(const QStringList& texts)
    {
        double at = now - 1000;
        for (const QString& text : texts)
            ASSERT_TRUE(store->record(text, at += 1));
    }

    HistoryWindowState& makeState()
    {
        HistoryWindowActions actions;
        actions.pasteItem = [this](const ClipboardItem& item) { pastedItems.append(item); };
        actions.pasteItems = [this](const QList<ClipboardItem>& items) {
            if (pasteItems)
                pasteItems(items);
            batches.append(items);
        };
        actions.pasteText = [this](const QString& text) { pastedTexts.append(text); };
        actions.copyItem = [this](const ClipboardItem& item) { copiedItems.append(item); };
        actions.copyText = [this](const QString& text) { copiedTexts.append(text); };
        actions.retryOCR = [this](const ClipboardItem& item) { retried.append(item.id()); };
        state = std::make_unique<HistoryWindowState>(*store, &usage, FeatureFlags(TolviDistributionChannel::direct, false),
                                                     false, actions);
        state->setClock([] { return now; });
        state->setOverlayAvailability([this](HistoryOverlay overlay) { return available.contains(overlay); });
        state->appear();
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

    QStringList textsOf(const QList<QUuid>& ids) const
    {
        QStringList texts;
        for (const QUuid& id : ids)
            texts.append(store->item(id) ? store->item(id)->content().searchText() : QStringLiteral("<gone>"));
        return texts;
    }

    QStringList queuedTexts() const { return textsOf(state->queuedItemIDs()); }

    QUuid recordImage(std::optional<QString> recognizedText = std::nullopt, QRgb color = 0xff3366cc)
    {
        ClipboardImage image(pngBytes(4, 3, color), QStringLiteral("public.png"), 4, 3, std::move(recognizedText));
        EXPECT_TRUE(store->record(ClipboardContent::image(image), now - 1));
        return store->itemAt(0).id();
    }

    QString fingerprintOf(const QUuid& id) const { return store->item(id)->content().imageValue().fingerprint(); }

    std::unique_ptr<ClipboardStore> store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    std::unique_ptr<HistoryWindowState> state;
    QSet<HistoryOverlay> available;
    std::function<void(const QList<ClipboardItem>&)> pasteItems;
    QList<ClipboardItem> pastedItems;
    QList<QList<ClipboardItem>> batches;
    QStringList pastedTexts;
    QList<ClipboardItem> copiedItems;
    QStringList copiedTexts;
    QList<QUuid> retried;
};

TEST_F(MultiPasteTest, ChoiceKeepsItsOrderAndDropsClipsThatLeaveTheHistory)
{
    record({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    HistoryWindowState& s = makeState();
    s.toggleQueue(idOf(QStringLiteral("C")));
    s.toggleQueue(idOf(QStringLiteral("A")));
    s.toggleQueue(idOf(QStringLiteral("D")));
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("D")}));
    // Chosen again after being taken out, a clip goes to the end.
    s.toggleQueue(idOf(QStringLiteral("C")));
    s.toggleQueue(idOf(QStringLiteral("C")));
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("A"), QStringLiteral("D"), QStringLiteral("C")}));
    // An id the history does not hold is never chosen.
    s.toggleQueue(QUuid::createUuid());
    EXPECT_EQ(s.queuedItemIDs().size(), 3);
    EXPECT_EQ(s.queuedItemCount(), 3);

    // Deleted, then evicted by a lower limit: dropped without a word, the order of the rest kept.
    store->remove(*store->item(idOf(QStringLiteral("D"))));
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("A"), QStringLiteral("C")}));
    EXPECT_EQ(s.queuedItemCount(), 2);
    store->updateRecentLimit(2, true);
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("C")}));
    EXPECT_EQ(s.queuedItemCount(), 1);

    // The row mark also makes the clip the inspected one; the menu entry does not.
    s.toggleQueueFromRowMark(idOf(QStringLiteral("B")));
    EXPECT_EQ(s.selectedItemID(), std::optional(idOf(QStringLiteral("B"))));
    QMenu menu;
    ClipRowMenuEntries::addQueueToggle(menu, s, *store->item(idOf(QStringLiteral("C"))));
    ASSERT_EQ(menu.actions().size(), 1);
    EXPECT_EQ(menu.actions().first()->text(), QStringLiteral("Remove from Multi-Paste Selection"));
    menu.actions().first()->trigger();
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("B")}));
    EXPECT_EQ(s.selectedItemID(), std::optional(idOf(QStringLiteral("B"))));
}

TEST_F(MultiPasteTest, PasteSelectedPastesTheCurrentClipsInChoosingOrderOnly)
{
    record({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    HistoryWindowState& s = makeState();
    s.toggleQueue(idOf(QStringLiteral("C")));
    s.toggleQueue(idOf(QStringLiteral("B")));
    s.toggleQueue(idOf(QStringLiteral("A")));
    // Edited after it was chosen: its new text is pasted. Deleted: it is not pasted at all.
    ASSERT_TRUE(store->updateText(QStringLiteral("B edited"), *store->item(idOf(QStringLiteral("B")))));
    store->remove(*store->item(idOf(QStringLiteral("C"))));

    ClipboardFooter footer(s);
    footer.pasteSelectedButton()->click();
    ASSERT_EQ(batches.size(), 1);
    QStringList texts;
    for (const ClipboardItem& item : batches.first())
        texts.append(item.content().searchText());
    EXPECT_EQ(texts, QStringList({QStringLiteral("B edited"), QStringLiteral("A")}));
    EXPECT_TRUE(s.queuedItemIDs().isEmpty());
    EXPECT_TRUE(footer.pasteSelectedButton()->isHidden());
}

TEST_F(MultiPasteTest, ControlReturnPastesTheChoiceAndLeavesTheFocusInTheSearchField)
{
    record({QStringLiteral("A"), QStringLiteral("B")});
    HistoryWindowState& s = makeState();
    // A window whose search field has the focus, with the footer at the bottom.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* search = new QLineEdit(&window);
    layout->addWidget(search);
    auto* footer = new ClipboardFooter(s, &window);
    layout->addWidget(footer);
    window.resize(700, 160);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    search->setFocus();

    s.toggleQueue(idOf(QStringLiteral("B")));
    s.toggleQueue(idOf(QStringLiteral("A")));
    ASSERT_TRUE(footer->pasteSelectedButton()->isVisible());
    QTest::keyClick(search, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(batches.size(), 1);
    ASSERT_EQ(batches.first().size(), 2);
    EXPECT_EQ(batches.first().first().id(), idOf(QStringLiteral("B")));
    EXPECT_TRUE(search->hasFocus());
    EXPECT_TRUE(s.queuedItemIDs().isEmpty());
}

TEST_F(MultiPasteTest, PlainTextIsJoinedAndAnythingElseBecomesThePasteQueue)
{
    RecordingPaste paste;
    // The window opened over the program of pid 4242.
    paste.service.captureTarget();
    pasteItems = [&paste](const QList<ClipboardItem>& items) { paste.service.pasteItems(items); };
    record({QStringLiteral("first line"), QStringLiteral("second line")});
    const QUuid image = recordImage();
    HistoryWindowState& s = makeState();
    ClipboardFooter footer(s);

    s.toggleQueue(idOf(QStringLiteral("second line")));
    s.toggleQueue(idOf(QStringLiteral("first line")));
    footer.pasteSelectedButton()->click();
    ASSERT_EQ(paste.pasteboard.items().size(), 1);
    EXPECT_EQ(paste.pasteboard.items().first().data(PasteboardTypes::plainText),
              QStringLiteral("second line\nfirst line").toUtf8());
    EXPECT_EQ(paste.pastes, 1);
    EXPECT_TRUE(paste.service.queuedContents().isEmpty());

    s.toggleQueue(idOf(QStringLiteral("first line")));
    s.toggleQueue(image);
    footer.pasteSelectedButton()->click();
    ASSERT_EQ(paste.service.queuedContents().size(), 2);
    EXPECT_EQ(paste.service.queuedContents().at(1).id(), image);
    EXPECT_NE(paste.service.queueStatus().kind, PasteService::PasteQueueStatus::Kind::idle);
}

TEST_F(MultiPasteTest, VisibleSelectionChoosesExactlyTheVisibleClipsInListOrder)
{
    record({QStringLiteral("apple pie"), QStringLiteral("banana"), QStringLiteral("apple jam"), QStringLiteral("cherry"),
            QStringLiteral("apple tart")});
    HistoryWindowState& s = makeState();
    ClipboardFooter footer(s);
    EXPECT_EQ(footer.visibleSelectionButton()->text(), QStringLiteral("Select Visible"));

    s.toggleQueue(idOf(QStringLiteral("cherry")));
    s.toggleQueue(idOf(QStringLiteral("apple jam")));
    s.setQuery(QStringLiteral("apple"));
    EXPECT_EQ(footer.countLabel()->text(), QStringLiteral("3 of 5 clips"));
    footer.visibleSelectionButton()->click();
    // Already chosen clips keep their place; the others follow in list order (newest first).
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("cherry"), QStringLiteral("apple jam"),
                                          QStringLiteral("apple tart"), QStringLiteral("apple pie")}));
    EXPECT_EQ(footer.visibleSelectionButton()->text(), QStringLiteral("Deselect Visible"));
    EXPECT_EQ(footer.selectedCountLabel()->text(), QStringLiteral("4 selected"));

    // Choosing a clip that is not visible changes nothing for the visible ones.
    s.toggleQueue(idOf(QStringLiteral("banana")));
    EXPECT_EQ(footer.visibleSelectionButton()->text(), QStringLiteral("Deselect Visible"));
    // Deselecting leaves exactly the clips chosen under other filters.
    footer.visibleSelectionButton()->click();
    EXPECT_EQ(queuedTexts(), QStringList({QStringLiteral("cherry"), QStringLiteral("banana")}));
    EXPECT_EQ(footer.visibleSelectionButton()->text(), QStringLiteral("Select Visible"));

    // One visible clip taken out again turns the button back.
    footer.visibleSelectionButton()->click();
    s.toggleQueue(idOf(QStringLiteral("apple pie")));
    EXPECT_EQ(footer.visibleSelectionButton()->text(), QStringLiteral("Select Visible"));

    // Nothing visible: no button, and the command does nothing.
    s.setQuery(QStringLiteral("nothing matches this"));
    EXPECT_TRUE(footer.visibleSelectionButton()->isHidden());
    const QList<QUuid> before = s.queuedItemIDs();
    s.toggleVisibleSelection();
    EXPECT_EQ(s.queuedItemIDs(), before);
    EXPECT_EQ(footer.countLabel()->text(), QStringLiteral("0 of 5 clips"));
}

TEST_F(MultiPasteTest, CountsKeptBesideTheChoiceAgreeWithTheHistoryAfterAnySequence)
{
    QStringList texts;
    for (int i = 0; i < 40; ++i)
        texts.append(QStringLiteral("clip %1 %2").arg(i).arg(i % 3 == 0 ? QStringLiteral("red") : QStringLiteral("blue")));
    record(texts);
    HistoryWindowState& s = makeState();
    QRandomGenerator random(11);
    const QStringList queries = {QString(), QStringLiteral("red"), QStringLiteral("blue"), QStringLiteral("clip 1")};
    for (int step = 0; step < 400; ++step) {
        const QList<ClipboardItem> items = store->items();
        switch (random.bounded(7)) {
        case 0:
        case 1:
            s.toggleQueue(items.at(random.bounded(int(items.size()))).id());
            break;
        case 2:
            s.toggleVisibleSelection();
            break;
        case 3:
            s.setQuery(queries.at(random.bounded(int(queries.size()))));
            break;
        case 4:
            if (items.size() > 10)
                store->remove(items.at(random.bounded(int(items.size()))));
            break;
        case 5:
            ASSERT_TRUE(store->record(QStringLiteral("new %1 red").arg(step), now + step));
            break;
        case 6:
            if (random.bounded(4) == 0)
                s.setQueuedItemIDs({items.first().id(), QUuid::createUuid()});
            break;
        }
        EXPECT_EQ(s.queuedItemCount(), s.queuedItems().size()) << "step " << step;
        bool every = !s.filteredItems().isEmpty() && !s.queuedItemIDs().isEmpty();
        for (const ClipboardItem& item : s.filteredItems())
            every = every && s.queuedItemIDs().contains(item.id());
        ASSERT_EQ(s.isEveryVisibleItemQueued(), every) << "step " << step;
        const QSet<QUuid> unique(s.queuedItemIDs().cbegin(), s.queuedItemIDs().cend());
        ASSERT_EQ(unique.size(), s.queuedItemIDs().size()) << "step " << step;
    }
}

TEST_F(MultiPasteTest, TheInspectedClipReadsRightWhileTheListIsReplaced)
{
    record({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three"), QStringLiteral("four")});
    HistoryWindowState& s = makeState();
    s.selectItem(idOf(QStringLiteral("one")));
    ASSERT_EQ(s.lensRow(), 3);
    // Views read the lens as soon as the list changes, before the lens has followed it.
    QStringList seen;
    QObject::connect(&s, &HistoryWindowState::filteredItemsChanged, &s, [&] {
        const std::optional<ClipboardItem> lens = s.lensItem();
        seen.append(lens ? lens->content().searchText() : QStringLiteral("<none>"));
    });
    s.setQuery(QStringLiteral("t"));
    s.setQuery(QStringLiteral("on"));
    s.setQuery(QStringLiteral("xyz"));
    EXPECT_EQ(seen, QStringList({QStringLiteral("three"), QStringLiteral("one"), QStringLiteral("<none>")}));
}

TEST_F(MultiPasteTest, FooterShowsCountsAndOffersToLeaveTheFilters)
{
    HistoryWindowState& empty = makeState();
    {
        ClipboardFooter footer(empty);
        EXPECT_EQ(footer.countLabel()->text(), QStringLiteral("0 clips"));
        for (QWidget* other : {static_cast<QWidget*>(footer.visibleSelectionButton()),
                               static_cast<QWidget*>(footer.selectedCountLabel()),
                               static_cast<QWidget*>(footer.pasteSelectedButton()),
                               static_cast<QWidget*>(footer.showInAllHistoryButton())})
            EXPECT_TRUE(other->isHidden());
    }
    EXPECT_EQ(ClipboardFooter::countText(1, 1), QStringLiteral("1 clip"));

    record({QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("gamma")});
    HistoryWindowState& s = *state;
    ClipboardFooter footer(s);
    EXPECT_EQ(footer.countLabel()->text(), QStringLiteral("3 clips"));
    EXPECT_TRUE(footer.showInAllHistoryButton()->isHidden());
    // A filter that keeps every clip still counts plainly, and offers the way back.
    s.setContentFilter(ClipboardSearchContentFilter::text);
    EXPECT_EQ(footer.countLabel()->text(), QStringLiteral("3 clips"));
    EXPECT_FALSE(footer.showInAllHistoryButton()->isHidden());

    s.setQuery(QStringLiteral("beta"));
    ASSERT_EQ(s.lensItem()->id(), idOf(QStringLiteral("beta")));
    footer.showInAllHistoryButton()->click();
    EXPECT_EQ(s.query(), QString());
    EXPECT_FALSE(s.searchCriteria().hasAnyFilter());
    EXPECT_EQ(s.filteredItems().size(), 3);
    EXPECT_EQ(s.selectedItemID(), std::optional(idOf(QStringLiteral("beta"))));
    EXPECT_EQ(s.pendingScrollItemID(), std::optional(idOf(QStringLiteral("beta"))));
    EXPECT_TRUE(footer.showInAllHistoryButton()->isHidden());

    // Nothing left to inspect: not offered.
    s.setQuery(QStringLiteral("zzz"));
    EXPECT_TRUE(footer.showInAllHistoryButton()->isHidden());

    // The choice group shows while a chosen clip exists, and Clear Selection empties it.
    s.setQuery(QString());
    s.toggleQueue(idOf(QStringLiteral("alpha")));
    EXPECT_FALSE(footer.clearSelectionButton()->isHidden());
    EXPECT_EQ(footer.selectedCountLabel()->text(), QStringLiteral("1 selected"));
    footer.clearSelectionButton()->click();
    EXPECT_TRUE(s.queuedItemIDs().isEmpty());
    EXPECT_TRUE(footer.clearSelectionButton()->isHidden());
    s.setQueuedItemIDs({QUuid::createUuid()});
    EXPECT_TRUE(footer.selectedCountLabel()->isHidden());
}

TEST_F(MultiPasteTest, FooterWrapsItsItemsToTheWidth)
{
    record({QStringLiteral("alpha"), QStringLiteral("beta")});
    HistoryWindowState& s = makeState();
    s.toggleQueue(idOf(QStringLiteral("alpha")));
    s.setQuery(QStringLiteral("a"));
    ClipboardFooter footer(s);
    const int oneRow = footer.sizeHint().width();
    footer.resize(oneRow, footer.heightForWidth(oneRow));
    footer.show();
    const int top = footer.countLabel()->y();
    for (QWidget* item : {static_cast<QWidget*>(footer.visibleSelectionButton()),
                          static_cast<QWidget*>(footer.pasteSelectedButton()),
                          static_cast<QWidget*>(footer.showInAllHistoryButton())})
        EXPECT_EQ(item->y(), top);
    const int narrow = 300;
    footer.resize(narrow, footer.heightForWidth(narrow));
    EXPECT_GT(footer.height(), footer.heightForWidth(oneRow));
    EXPECT_GT(footer.showInAllHistoryButton()->y(), top);
    for (QWidget* item : footer.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!item->isHidden()) {
            EXPECT_LE(item->geometry().right(), narrow - 18) << item->objectName().toStdString();
        }
    }
}

TEST_F(MultiPasteTest, NarrowStripFollowsTheInspectedClip)
{
    const auto payload = ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {QStringLiteral("file:///tmp/report.pdf")});
    ASSERT_TRUE(payload);
    ASSERT_TRUE(store->record(QStringLiteral("report.pdf"), now - 20, std::nullopt, payload));
    ASSERT_TRUE(store->record(QStringLiteral("plain"), now - 10));
    HistoryWindowState& s = makeState();
    NarrowClipActions strip(s);
    EXPECT_EQ(strip.itemID(), std::optional(idOf(QStringLiteral("plain"))));
    EXPECT_TRUE(strip.fileNote()->isHidden());
    EXPECT_TRUE(strip.ocrRow()->isHidden());
    EXPECT_FALSE(strip.inspectButton()->isEnabled());

    s.selectItem(idOf(QStringLiteral("report.pdf")));
    EXPECT_FALSE(strip.fileNote()->isHidden());
    strip.copyButton()->click();
    ASSERT_EQ(copiedItems.size(), 1);
    EXPECT_EQ(copiedItems.first().id(), idOf(QStringLiteral("report.pdf")));

    // Paste takes the clip as the history holds it now.
    s.selectItem(idOf(QStringLiteral("plain")));
    ASSERT_TRUE(store->updateText(QStringLiteral("plain, edited"), *store->item(idOf(QStringLiteral("plain")))));
    strip.pasteButton()->click();
    ASSERT_EQ(pastedItems.size(), 1);
    EXPECT_EQ(pastedItems.first().content().searchText(), QStringLiteral("plain, edited"));

    // Inspect opens the preview where the window can show it.
    available.insert(HistoryOverlay::preview);
    s.setOverlayAvailability([this](HistoryOverlay overlay) { return available.contains(overlay); });
    ASSERT_TRUE(strip.inspectButton()->isEnabled());
    strip.inspectButton()->click();
    ASSERT_TRUE(s.previewedItem());
    EXPECT_EQ(s.previewedItem()->content().searchText(), QStringLiteral("plain, edited"));
}

TEST_F(MultiPasteTest, RecognitionRowAndRetryFollowTheImagesState)
{
    const QUuid image = recordImage();
    HistoryWindowState& s = makeState();
    NarrowClipActions strip(s);
    strip.resize(600, strip.preferredHeight(600));
    const QString fingerprint = fingerprintOf(image);
    auto statusShown = [&] { return !strip.ocrStatusLabel()->parentWidget()->isHidden(); };

    // New, unread: the row without a status, the button to read it.
    EXPECT_FALSE(strip.ocrRow()->isHidden());
    EXPECT_FALSE(statusShown());
    EXPECT_EQ(strip.ocrButton()->text(), QStringLiteral("Read Image Text"));
    EXPECT_EQ(strip.ocrButton()->accessibleName(), QStringLiteral("Read Image Text for selected image"));
    strip.ocrButton()->click();
    EXPECT_EQ(retried, QList<QUuid>({image}));

    // Being read: progress and "Reading image text…", nothing to retry.
    ASSERT_TRUE(store->beginOCR(image));
    EXPECT_TRUE(statusShown());
    EXPECT_FALSE(strip.ocrProgress()->isHidden());
    EXPECT_EQ(strip.ocrStatusLabel()->status(), OCRStatus::processing);
    EXPECT_TRUE(strip.ocrButton()->isHidden());
    store->setOCRProcessing(false, fingerprint);

    struct Case {
        OCRStatus status;
        bool retry;
        std::optional<QString> note;
    };
    const QString stillAvailable = QStringLiteral("The image is still available to copy or paste.");
    for (const Case& c : {Case{OCRStatus::failed, true, stillAvailable}, Case{OCRStatus::noText, true, std::nullopt},
                          Case{OCRStatus::unsupportedImage, false, stillAvailable},
                          Case{OCRStatus::busy, true,
                               QStringLiteral("Text recognition is still finishing another image. Try again shortly.")}}) {
        store->setOCRStatus(c.status, fingerprint);
        EXPECT_EQ(strip.ocrStatusLabel()->status(), c.status);
        EXPECT_TRUE(strip.ocrProgress()->isHidden());
        EXPECT_EQ(!strip.ocrButton()->isHidden(), c.retry) << int(c.status);
        if (c.retry) {
            EXPECT_EQ(strip.ocrButton()->text(), QStringLiteral("Retry Text Recognition"));
        }
        EXPECT_EQ(!strip.ocrNote()->isHidden(), c.note.has_value()) << int(c.status);
        if (c.note) {
            EXPECT_EQ(strip.ocrNote()->text(), *c.note);
        }

        // The row menu offers the same retry, under the same title.
        QMenu menu;
        ClipRowMenuEntries::add(menu, s, image, ClipRowMenuEntries::Part::leading);
        ASSERT_EQ(menu.actions().size(), c.retry ? 1 : 0) << int(c.status);
        if (c.retry) {
            EXPECT_EQ(menu.actions().first()->text(), QStringLiteral("Retry Text Recognition"));
        }
    }

    // Failed, and too narrow for status and button side by side: the status goes above.
    store->setOCRStatus(OCRStatus::failed, fingerprint);
    strip.show();
    EXPECT_TRUE(strip.isOCRRowSideBySide());
    const QWidget* statusRow = strip.ocrStatusLabel()->parentWidget();
    EXPECT_EQ(statusRow->geometry().center().y(), strip.ocrButton()->geometry().center().y());
    EXPECT_GT(strip.ocrButton()->x(), statusRow->geometry().right());
    const int narrow = statusRow->sizeHint().width() + 30;
    strip.resize(narrow, strip.preferredHeight(narrow));
    EXPECT_FALSE(strip.isOCRRowSideBySide());
    EXPECT_GE(strip.ocrButton()->y(), statusRow->geometry().bottom());
}

class RecordingChannel final : public AnnouncementChannel {
public:
    explicit RecordingChannel(QStringList& spoken) : m_spoken(spoken) {}
    bool mayAnnounce() const override { return true; }
    void announce(const QString& message) override { m_spoken.append(message); }

private:
    QStringList& m_spoken;
};

TEST_F(MultiPasteTest, RecognitionChangesAreSpokenButNotAStatusAlreadyThere)
{
    const QUuid first = recordImage(std::nullopt, 0xff112233);
    const QUuid second = recordImage(std::nullopt, 0xff445566);
    store->setOCRStatus(OCRStatus::failed, fingerprintOf(first));
    store->setOCRStatus(OCRStatus::timedOut, fingerprintOf(second));
    HistoryWindowState& s = makeState();
    s.selectItem(first);
    NarrowClipActions strip(s);
    QStringList spoken;
    auto* announcement = strip.findChild<TolviAccessibilityAnnouncement*>();
    ASSERT_TRUE(announcement);
    announcement->setChannel(std::make_unique<RecordingChannel>(spoken));

    store->setOCRStatus(OCRStatus::noText, fingerprintOf(first));
    EXPECT_EQ(spoken, QStringList({QStringLiteral("No text found in this image")}));

    // Another clip: its status is already there when it is shown, so it is not spoken.
    s.selectItem(second);
    auto* next = strip.findChild<TolviAccessibilityAnnouncement*>();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->previousMessage(), std::optional(QStringLiteral("Text recognition took too long")));
    EXPECT_EQ(spoken.size(), 1);
}

TEST_F(MultiPasteTest, ImagesWithRecognisedTextOfferNoRetryButToolsForTheirText)
{
    const QUuid image = recordImage(QStringLiteral("https://example.com/?utm_source=x"));
    HistoryWindowState& s = makeState();
    NarrowClipActions strip(s);
    EXPECT_TRUE(strip.ocrRow()->isHidden());

    QMenu menu;
    ClipRowMenuEntries::add(menu, s, image, ClipRowMenuEntries::Part::leading);
    EXPECT_TRUE(menu.actions().isEmpty());
    ClipRowMenuEntries::add(menu, s, image, ClipRowMenuEntries::Part::middle);
    QStringList titles;
    for (const QAction* action : menu.actions())
        titles.append(action->text());
    EXPECT_EQ(titles, QStringList({QStringLiteral("Select for Multi-Paste"), QStringLiteral("Paste As"),
                                   QStringLiteral("Tools")}));
    QMenu* tools = menu.actions().at(2)->menu();
    ASSERT_TRUE(tools);
    titles.clear();
    for (const QAction* action : tools->actions())
        titles.append(action->text());
    EXPECT_EQ(titles, QStringList({QStringLiteral("Copy OCR Text"), QStringLiteral("Format OCR Text"),
                                   QStringLiteral("Copy Image Size"), QStringLiteral("Copy Byte Size")}));
    QMenu* format = tools->actions().at(1)->menu();
    ASSERT_TRUE(format);
    EXPECT_EQ(format->actions().size(), TextTransform::available(QStringLiteral("https://example.com/?utm_source=x")).size());

    for (QAction* action : tools->actions()) {
        if (!action->menu())
            action->trigger();
    }
    format->actions().last()->trigger();
    const qint64 bytes = store->item(image)->content().imageValue().byteCount();
    EXPECT_EQ(copiedTexts, QStringList({QStringLiteral("https://example.com/?utm_source=x"), QStringLiteral("Image 4 x 3"),
                                        ByteCountFormatter::fileStyle(bytes),
                                        TextTransform::available(QStringLiteral("https://example.com/?utm_source=x"))
                                            .last()
                                            .apply(QStringLiteral("https://example.com/?utm_source=x"))}));
    EXPECT_TRUE(pastedTexts.isEmpty());
}

TEST_F(MultiPasteTest, TextToolsCopyTheTransformOfTheCurrentText)
{
    record({QStringLiteral("b line\na line")});
    HistoryWindowState& s = makeState();
    const QUuid id = idOf(QStringLiteral("b line\na line"));
    QMenu menu;
    QMenu* tools = ClipRowMenuEntries::addTools(menu, s, *store->item(id));
    const QList<TextTransform> transforms = TextTransform::available(QStringLiteral("b line\na line"));
    ASSERT_EQ(tools->actions().size(), transforms.size());
    for (qsizetype i = 0; i < transforms.size(); ++i)
        EXPECT_EQ(tools->actions().at(i)->text(), transforms.at(i).title());

    ASSERT_TRUE(store->updateText(QStringLiteral("d line\nc line"), *store->item(id)));
    const qsizetype sort = transforms.indexOf(TextTransform(TextTransform::sortLines));
    ASSERT_GE(sort, 0);
    tools->actions().at(sort)->trigger();
    EXPECT_EQ(copiedTexts, QStringList({QStringLiteral("c line\nd line")}));

    store->remove(*store->item(id));
    tools->actions().at(sort)->trigger();
    EXPECT_EQ(copiedTexts.size(), 1);
}

} // namespace
