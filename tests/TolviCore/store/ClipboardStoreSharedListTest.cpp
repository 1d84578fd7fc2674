// The store's list while the save queue and the windows hold it: changes never reach a list
// already handed out, and the copies made ahead of a change are of the list as it stands.

#include "TolviCore/store/ClipListCopier.h"
#include "TolviCore/store/ClipboardStore.h"

#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRandomGenerator>

#include <memory>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

// Lets go of every saved state at once: nothing but the test holds the store's list.
class DiscardingPersistence : public ClipboardHistoryAsyncPersisting {
public:
    ClipboardHistoryState initial;
    ClipboardHistoryState load() override { return initial; }
    void save(const ClipboardHistoryState&) override {}
    void enqueueSave(const ClipboardHistoryState&, SaveCompletion completion) override
    {
        completion(SaveResult::success());
    }
    void flush() override {}
};

QList<ClipboardItem> historyOf(int count)
{
    QList<ClipboardItem> items;
    for (int i = 0; i < count; ++i)
        items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("clip %1").arg(i), 1'000.0 - i, i % 97 == 0));
    return items;
}

// A list of its own with the same clips.
QList<ClipboardItem> deepCopy(const QList<ClipboardItem>& items)
{
    QList<ClipboardItem> copy;
    for (const ClipboardItem& item : items)
        copy.append(item);
    return copy;
}

void expectSameClips(const QList<ClipboardItem>& actual, const QList<ClipboardItem>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i)
        ASSERT_TRUE(actual.at(i).sharesDataWith(expected.at(i)) || actual.at(i) == expected.at(i)) << "at " << i;
}

} // namespace

TEST(ClipListCopier, HandsOutACopyOfTheVersionAskedForOnly)
{
    const QList<ClipboardItem> list = historyOf(500);
    ClipListCopier copier;
    EXPECT_FALSE(copier.take(1));

    copier.prepare(list, 1);
    copier.prepare(list.first(10), 2); // the later request wins
    copier.waitForIdle();
    EXPECT_FALSE(copier.take(1));
    copier.prepare(list, 3);
    copier.waitForIdle();
    std::optional<QList<ClipboardItem>> copy = copier.take(3);
    ASSERT_TRUE(copy);
    EXPECT_FALSE(copy->isSharedWith(list));
    EXPECT_TRUE(copy->isDetached());
    expectSameClips(*copy, list);
    EXPECT_FALSE(copier.take(3)); // taken once

    copier.prepare(list, 4);
    copier.waitForIdle();
    EXPECT_FALSE(copier.take(5)); // another version: dropped
    EXPECT_FALSE(copier.take(4));
}

// Records, removals, pins and edits at random while the save queue keeps every state it was
// handed and a window keeps the list of the moment: every held list stays as it was handed
// out, and the store ends where a store whose list nobody holds ends.
TEST(ClipboardStoreSharedList, ListsHandedOutNeverChangeAndChangesLandAsWithoutSharing)
{
    const QList<ClipboardItem> initial = historyOf(3'000);
    auto held = std::make_shared<FakeAsyncPersistence>();
    held->stored = ClipboardHistoryState{initial, DefaultPinboards::all()};
    auto alone = std::make_shared<DiscardingPersistence>();
    alone->initial = ClipboardHistoryState{deepCopy(initial), DefaultPinboards::all()};
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = 2'990;
    ClipboardStore store(held, configuration);
    ClipboardStore reference(alone, configuration);

    QRandomGenerator random(43);
    QList<QList<ClipboardItem>> windowLists;
    QList<QList<ClipboardItem>> asHandedOut;
    double now = 2'000.0;
    for (int step = 0; step < 400; ++step) {
        const int what = random.bounded(10);
        const qsizetype index = random.bounded(store.itemCount());
        if (what < 5) {
            const QString text = what == 0 ? store.itemAt(index).content().textValue()
                                           : QStringLiteral("new clip %1").arg(step);
            now += 1;
            store.record(text, now);
            reference.record(text, now);
        } else if (what < 7) {
            // Both lists hold the same clips in the same order (a recorded clip's id is its own).
            store.remove(store.itemAt(index));
            reference.remove(reference.itemAt(index));
        } else if (what < 9) {
            store.togglePinned(store.itemAt(index));
            reference.togglePinned(reference.itemAt(index));
        } else {
            const QString text = QStringLiteral("edited %1").arg(step);
            store.updateText(text, store.itemAt(index));
            reference.updateText(text, reference.itemAt(index));
        }
        windowLists.append(store.items());
        asHandedOut.append(deepCopy(windowLists.last()));
        // Now and then the event loop comes round between two changes, and the list is copied ahead.
        if (random.bounded(3) != 0)
            QCoreApplication::processEvents();

        const QList<ClipboardItem> ours = store.items();
        const QList<ClipboardItem> theirs = reference.items();
        ASSERT_EQ(ours.size(), theirs.size()) << "step " << step;
        for (qsizetype i = 0; i < ours.size(); ++i) {
            ASSERT_EQ(ours.at(i).content().textValue(), theirs.at(i).content().textValue())
                << "step " << step << " at " << i;
            ASSERT_EQ(ours.at(i).isPinned(), theirs.at(i).isPinned());
            ASSERT_EQ(ours.at(i).createdAt(), theirs.at(i).createdAt());
        }
    }
    for (qsizetype i = 0; i < windowLists.size(); ++i)
        expectSameClips(windowLists.at(i), asHandedOut.at(i));
    ASSERT_FALSE(held->queued.isEmpty());
    expectSameClips(held->queued.last().state.items, store.items());
}
