// Edits: removal, clearing, pins, board toggles and text edits.

#include "StoreTestSupport.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

struct EditsFixture : ::testing::Test {
    std::shared_ptr<FakeSyncPersistence> persistence = std::make_shared<FakeSyncPersistence>();
    std::unique_ptr<ClipboardStore> store;

    void start(QList<ClipboardItem> items)
    {
        persistence->stored = ClipboardHistoryState{std::move(items), DefaultPinboards::all()};
        store = std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration());
    }
};

} // namespace

TEST_F(EditsFixture, RemovalsAndClearing)
{
    const ClipboardItem a = textItem(QStringLiteral("a"), 1);
    const ClipboardItem b = textItem(QStringLiteral("b"), 2, true, {DefaultPinboards::workID()});
    const ClipboardItem c = textItem(QStringLiteral("c"), 3);
    start({a, b, c});

    store->remove(a);
    EXPECT_EQ(texts(store->items()), (QStringList{"b", "c"}));
    EXPECT_EQ(persistence->saves.size(), 1);
    // Removing a clip that is gone changes nothing but still saves.
    store->remove(a);
    EXPECT_EQ(store->itemCount(), 2);
    EXPECT_EQ(persistence->saves.size(), 2);

    // Equal times are removed, pinned clips and clips on boards too.
    store->removeItems(2);
    EXPECT_EQ(store->itemCount(), 0);

    start({a, b, c});
    store->clear();
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_EQ(store->pinboards(), DefaultPinboards::all());
    EXPECT_EQ(persistence->saves.last().items.size(), 0);
}

TEST_F(EditsFixture, RemovalOfOneClipKeepsTheOthersInOrder)
{
    QList<ClipboardItem> clips;
    for (int i = 0; i < 6; ++i)
        clips.append(textItem(QStringLiteral("c%1").arg(i), 5));
    start(clips);
    store->remove(clips[2]);
    EXPECT_EQ(texts(store->items()), (QStringList{"c0", "c1", "c3", "c4", "c5"}));
}

TEST_F(EditsFixture, TogglePinnedMovesBetweenSectionsByTimeAndKeepsBoards)
{
    const ClipboardItem onBoard = textItem(QStringLiteral("on board"), 5, true, {DefaultPinboards::codeID()});
    const ClipboardItem plain = textItem(QStringLiteral("plain"), 20);
    start({textItem(QStringLiteral("pin"), 10, true), onBoard, plain, textItem(QStringLiteral("older"), 1)});
    EXPECT_EQ(texts(store->items()), (QStringList{"pin", "on board", "plain", "older"}));

    store->togglePinned(plain);
    EXPECT_EQ(texts(store->items()), (QStringList{"plain", "pin", "on board", "older"}));
    EXPECT_TRUE(store->itemAt(0).isPinned());
    store->togglePinned(plain);
    EXPECT_EQ(texts(store->items()), (QStringList{"pin", "on board", "plain", "older"}));

    store->togglePinned(onBoard);
    EXPECT_EQ(texts(store->items()), (QStringList{"pin", "plain", "on board", "older"}));
    EXPECT_EQ(store->item(onBoard.id())->pinboardIDs(), QList<QUuid>{DefaultPinboards::codeID()});
}

TEST_F(EditsFixture, PinningAmongEqualTimesFollowsAStableSort)
{
    const ClipboardItem p1 = textItem(QStringLiteral("p1"), 5, true);
    const ClipboardItem p2 = textItem(QStringLiteral("p2"), 5, true);
    const ClipboardItem u1 = textItem(QStringLiteral("u1"), 5);
    const ClipboardItem u2 = textItem(QStringLiteral("u2"), 5);
    start({p1, p2, u1, u2});
    // Pinned clips of equal time stood before it: it goes behind them.
    store->togglePinned(u2);
    EXPECT_EQ(texts(store->items()), (QStringList{"p1", "p2", "u2", "u1"}));
    // Unpinned clips of equal time stood after it: it goes ahead of them.
    store->togglePinned(p1);
    EXPECT_EQ(texts(store->items()), (QStringList{"p2", "u2", "p1", "u1"}));
    // Putting an already pinned clip on a board does not move it.
    store->togglePinboard(DefaultPinboards::all()[0], p2);
    EXPECT_EQ(texts(store->items()), (QStringList{"p2", "u2", "p1", "u1"}));
}

TEST_F(EditsFixture, TogglePinboardPinsAndAddsThenRemovesAndKeepsThePin)
{
    const Pinboard& work = DefaultPinboards::all()[0];
    const ClipboardItem clip = textItem(QStringLiteral("clip"), 5);
    start({clip, textItem(QStringLiteral("newer"), 9)});

    store->togglePinboard(work, clip);
    ASSERT_EQ(store->itemAt(0).id(), clip.id());
    EXPECT_TRUE(store->itemAt(0).isPinned());
    EXPECT_EQ(store->itemAt(0).pinboardIDs(), QList<QUuid>{work.id()});

    store->togglePinboard(work, clip);
    EXPECT_TRUE(store->item(clip.id())->isPinned());
    EXPECT_TRUE(store->item(clip.id())->pinboardIDs().isEmpty());

    const int saves = persistence->saves.size();
    store->togglePinboard(Pinboard(QUuid::createUuid(), QStringLiteral("Elsewhere"), QStringLiteral("x"), 0), clip);
    EXPECT_TRUE(store->item(clip.id())->pinboardIDs().isEmpty());
    EXPECT_EQ(persistence->saves.size(), saves);
}

TEST_F(EditsFixture, UpdateTextFoldsEqualClipsIntoTheEditedOne)
{
    const QUuid work = DefaultPinboards::workID();
    const QUuid code = DefaultPinboards::codeID();
    const QUuid personal = DefaultPinboards::personalID();
    const ClipboardItem edited(QUuid::createUuid(), QStringLiteral("draft"), 10, false, {code});
    const ClipboardItem twin1(QUuid::createUuid(), QStringLiteral("final"), 30, true, {work, code}, ClipboardSourceApp(QStringLiteral("A")));
    const ClipboardItem twin2(QUuid::createUuid(), QStringLiteral("final"), 20, false, {personal}, ClipboardSourceApp(QStringLiteral("B")));
    const auto payload = ClipboardOriginalPayload::create(QByteArray("{\\rtf1}"), std::nullopt, {});
    const ClipboardItem withPayload(QUuid::createUuid(), QStringLiteral("final"), 25, false, {}, std::nullopt, payload);
    start({edited, twin1, twin2, withPayload});

    ASSERT_TRUE(store->updateText(QStringLiteral("final"), edited));
    // The plain twins are folded in; the clip with kept RTF has another key and stays.
    ASSERT_EQ(store->itemCount(), 2);
    const ClipboardItem result = *store->item(edited.id());
    EXPECT_EQ(result.content().textValue(), QStringLiteral("final"));
    EXPECT_EQ(result.createdAt(), 10);
    EXPECT_TRUE(result.isPinned());
    EXPECT_EQ(result.pinboardIDs(), (QList<QUuid>{code, work, personal}));
    EXPECT_EQ(result.sourceApp()->name(), QStringLiteral("A"));
    EXPECT_EQ(store->itemAt(0).id(), edited.id());
    EXPECT_TRUE(store->item(withPayload.id()).has_value());

    // Editing to the same text succeeds and drops kept representations.
    ASSERT_TRUE(store->updateText(QStringLiteral("final"), withPayload));
    EXPECT_FALSE(store->item(withPayload.id())->originalPayload().has_value());
    // Now it equals the edited clip's text: a further edit of it folds that clip in.
}

TEST_F(EditsFixture, UpdateTextRefusals)
{
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    const ClipboardItem text = textItem(QStringLiteral("text"), 1);
    const ClipboardItem picture(QUuid::createUuid(), ClipboardContent::image(image("png")), 2);
    persistence->stored = ClipboardHistoryState{{text, picture}, DefaultPinboards::all()};
    store = std::make_unique<ClipboardStore>(persistence, configuration);

    EXPECT_FALSE(store->updateText(QStringLiteral("  \n"), text));
    EXPECT_FALSE(store->updateText(QStringLiteral("new"), picture));
    EXPECT_FALSE(store->updateText(QStringLiteral("new"), textItem(QStringLiteral("unknown"), 3)));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
    EXPECT_TRUE(persistence->saves.isEmpty());

    EXPECT_FALSE(store->updateText(QString(50'001, QLatin1Char('z')), text));
    EXPECT_EQ(store->lastCaptureIssue(),
              QStringLiteral("This edit exceeds the 50000-character limit. Your saved clip was not changed."));
    EXPECT_EQ(store->item(text.id())->content().textValue(), QStringLiteral("text"));
    EXPECT_TRUE(store->updateText(QStringLiteral("fine"), text));
    EXPECT_FALSE(store->lastCaptureIssue().has_value());
}

TEST_F(EditsFixture, EditsMoveNothingToTheTopAndApplyNoLimit)
{
    persistence->stored = ClipboardHistoryState{{textItem(QStringLiteral("a"), 1), textItem(QStringLiteral("b"), 2),
                                                 textItem(QStringLiteral("c"), 3)},
                                                DefaultPinboards::all()};
    ClipboardStore::Configuration configuration = unlimitedConfiguration();
    configuration.maxItems = 1;
    store = std::make_unique<ClipboardStore>(persistence, configuration);
    ASSERT_TRUE(store->updateText(QStringLiteral("edited"), store->itemAt(2)));
    EXPECT_EQ(texts(store->items()), (QStringList{"c", "b", "edited"}));
    store->togglePinned(store->itemAt(0));
    store->togglePinned(store->itemAt(0));
    EXPECT_EQ(store->itemCount(), 3);
}
