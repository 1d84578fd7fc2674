// The item limit, the byte budget and the storage estimate. The indexed store is checked against
// a plain reference that records and evicts one clip at a time, walking the whole list.

#include "StoreTestSupport.h"

#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/UnicodeText.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

std::unique_ptr<ClipboardStore> storeWith(const std::shared_ptr<FakeSyncPersistence>& persistence,
                                          std::optional<qint64> maxItems, qint64 maxHistoryBytes)
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = maxItems;
    configuration.maxHistoryBytes = maxHistoryBytes;
    return std::make_unique<ClipboardStore>(persistence, configuration);
}

// A text whose clip is estimated at exactly `bytes` (512 + its length).
QString textOfCost(int bytes, QChar fill)
{
    return QString(bytes - 512, fill);
}

// The history as the plain rules describe it, one step at a time.
struct ReferenceHistory {
    QList<ClipboardItem> items;
    std::optional<qint64> maxItems;
    qint64 maxHistoryBytes = 0;

    static bool before(const ClipboardItem& a, const ClipboardItem& b)
    {
        if (a.isPinned() != b.isPinned())
            return a.isPinned();
        return a.createdAt() > b.createdAt();
    }

    void record(const ClipboardItem& fresh)
    {
        const QString key = UnicodeText::canonicalForm(fresh.dedupeKey());
        ClipboardItem item = fresh;
        for (const ClipboardItem& existing : items) {
            if (UnicodeText::canonicalForm(existing.dedupeKey()) == key) {
                item.setPinned(existing.isPinned());
                item.setPinboardIDs(existing.pinboardIDs());
                break;
            }
        }
        items.removeIf([&](const ClipboardItem& existing) { return UnicodeText::canonicalForm(existing.dedupeKey()) == key; });
        items.prepend(item);
        std::stable_sort(items.begin(), items.end(), before);
        trim();
    }

    void trim()
    {
        if (maxItems) {
            qint64 kept = 0;
            QList<ClipboardItem> result;
            for (const ClipboardItem& item : items) {
                if (item.isPinned() || kept++ < *maxItems)
                    result.append(item);
            }
            items = result;
        }
        if (maxHistoryBytes > 0) {
            qint64 total = 0;
            for (const ClipboardItem& item : items)
                total += ClipboardStore::estimatedStorageBytes(item);
            QList<ClipboardItem> unpinned;
            for (const ClipboardItem& item : items) {
                if (!item.isPinned())
                    unpinned.append(item);
            }
            std::stable_sort(unpinned.begin(), unpinned.end(),
                             [](const ClipboardItem& a, const ClipboardItem& b) { return a.createdAt() < b.createdAt(); });
            for (const ClipboardItem& victim : unpinned) {
                if (total <= maxHistoryBytes)
                    break;
                total -= ClipboardStore::estimatedStorageBytes(victim);
                items.removeIf([&](const ClipboardItem& item) { return item.id() == victim.id(); });
            }
        }
    }
};

} // namespace

TEST(ClipboardStoreEstimate, CountsTextSourcePayloadAndImageBytesOnly)
{
    const QString thousand(1000, QLatin1Char('a'));
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(ClipboardItem(QUuid::createUuid(), thousand, 1)), 1512);
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(ClipboardItem(QUuid::createUuid(), thousand, 1, true, {},
                                                                  ClipboardSourceApp(QStringLiteral("Notepad")))),
              1519);
    const ClipboardItem withBundle(QUuid::createUuid(), QStringLiteral("\u00e9"), 1, false, {},
                                   ClipboardSourceApp(QStringLiteral("Ab"), QStringLiteral("org.x")));
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(withBundle), 512 + 2 + 2 + 5);

    const auto rtf = ClipboardOriginalPayload::create(QByteArray(2000, 'r'), std::nullopt, {});
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(
                  ClipboardItem(QUuid::createUuid(), QStringLiteral("0123456789"), 1, false, {}, std::nullopt, rtf)),
              2522);
    const auto files = ClipboardOriginalPayload::create(
        std::nullopt, std::nullopt,
        {QStringLiteral("file:///") + QString(22, QLatin1Char('a')), QStringLiteral("file:///") + QString(32, QLatin1Char('b'))});
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(
                  ClipboardItem(QUuid::createUuid(), QStringLiteral("0123456789"), 1, false, {}, std::nullopt, files)),
              592);

    const ClipboardItem picture(QUuid::createUuid(),
                                ClipboardContent::image(image(QByteArray(1'000'000, 'p'), QStringLiteral("abc"))), 1,
                                false, {}, std::nullopt, rtf);
    EXPECT_EQ(ClipboardStore::estimatedStorageBytes(picture), 1'000'515);
}

TEST(ClipboardStoreLimits, ItemLimitDropsTheOldestUnpinnedAndNeverAPinnedClip)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    QList<ClipboardItem> clips;
    for (int i = 0; i < 3; ++i)
        clips.append(textItem(QStringLiteral("p%1").arg(i), i, true));
    for (int i = 0; i < 80; ++i)
        clips.append(textItem(QStringLiteral("u%1").arg(i), 100 + i));
    persistence->stored = ClipboardHistoryState{clips, DefaultPinboards::all()};
    auto store = storeWith(persistence, 80, 0);

    ASSERT_TRUE(store->record(QStringLiteral("newest"), 1000));
    EXPECT_EQ(store->itemCount(), 83);
    EXPECT_EQ(store->pinnedItems().size(), 3);
    const QStringList all = texts(store->items());
    EXPECT_FALSE(all.contains(QStringLiteral("u0")));
    EXPECT_TRUE(all.contains(QStringLiteral("u1")));

    // An equal clip does not change the count.
    ASSERT_TRUE(store->record(QStringLiteral("u1"), 1001));
    EXPECT_EQ(store->itemCount(), 83);
    EXPECT_TRUE(texts(store->items()).contains(QStringLiteral("u2")));
}

TEST(ClipboardStoreLimits, ZeroLimitLeavesNoUnpinnedClipYetRecordingSucceeds)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    persistence->stored = ClipboardHistoryState{{textItem(QStringLiteral("pin"), 1, true)}, DefaultPinboards::all()};
    auto store = storeWith(persistence, 0, 0);
    EXPECT_TRUE(store->record(QStringLiteral("gone at once"), 5));
    EXPECT_EQ(texts(store->items()), QStringList{"pin"});
}

TEST(ClipboardStoreLimits, BudgetEvictsOldestByCreationTimeAndStopsOnceWithin)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    // Three unpinned clips of 1,000 bytes each and a pinned one of 1,000, budget 3,500.
    persistence->stored = ClipboardHistoryState{{textItem(textOfCost(1000, 'p'), 1, true), textItem(textOfCost(1000, 'a'), 10),
                                                 textItem(textOfCost(1000, 'b'), 20), textItem(textOfCost(1000, 'c'), 30)},
                                                DefaultPinboards::all()};
    auto store = storeWith(persistence, std::nullopt, 3500);
    // Loading applies no budget.
    EXPECT_EQ(store->itemCount(), 4);
    ASSERT_TRUE(store->record(textOfCost(600, 'n'), 40));
    // 4,600 -> drop a (10): 3,600 -> drop b (20): 2,600.
    const QStringList left = texts(store->items());
    ASSERT_EQ(left.size(), 3);
    EXPECT_EQ(left[0], textOfCost(1000, 'p'));
    EXPECT_EQ(left[1], textOfCost(600, 'n'));
    EXPECT_EQ(left[2], textOfCost(1000, 'c'));
}

TEST(ClipboardStoreLimits, PinnedClipsAloneOverBudgetEvictEveryUnpinnedClip)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    persistence->stored = ClipboardHistoryState{{textItem(textOfCost(3000, 'p'), 1, true), textItem(QStringLiteral("u"), 2)},
                                                DefaultPinboards::all()};
    auto store = storeWith(persistence, std::nullopt, 2000);
    EXPECT_TRUE(store->record(QStringLiteral("new"), 3));
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_TRUE(store->itemAt(0).isPinned());

    // A budget of 0 is off.
    auto persistence2 = std::make_shared<FakeSyncPersistence>();
    auto unbounded = storeWith(persistence2, std::nullopt, 0);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(unbounded->record(textOfCost(40'000, QChar('a' + i)), i));
    EXPECT_EQ(unbounded->itemCount(), 5);
}

TEST(ClipboardStoreLimits, EvictionNeverTakesAPinnedClipThatSharesAVictimsId)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    const QUuid shared = QUuid::createUuid();
    persistence->stored = ClipboardHistoryState{{ClipboardItem(shared, QStringLiteral("pinned twin"), 50, true),
                                                 ClipboardItem(shared, textOfCost(1000, 'o'), 1)},
                                                DefaultPinboards::all()};
    auto store = storeWith(persistence, std::nullopt, 1200);
    ASSERT_TRUE(store->record(QStringLiteral("new"), 60));
    EXPECT_EQ(texts(store->items()), (QStringList{"pinned twin", "new"}));
}

TEST(ClipboardStoreLimits, EqualTimesAreEvictedInListOrderNewlyRecordedFirst)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    persistence->stored = ClipboardHistoryState{{textItem(textOfCost(1000, 'a'), 7), textItem(textOfCost(1000, 'b'), 7)},
                                                DefaultPinboards::all()};
    auto store = storeWith(persistence, std::nullopt, 2500);
    // The new clip has the same time and stands first among the three: it goes first.
    EXPECT_TRUE(store->record(textOfCost(1000, 'n'), 7));
    EXPECT_EQ(texts(store->items()), (QStringList{textOfCost(1000, 'a'), textOfCost(1000, 'b')}));
}

TEST(ClipboardStoreLimits, UpdateRecentLimitTrimsOnlyWhenAskedAndSavesOnce)
{
    auto persistence = std::make_shared<FakeSyncPersistence>();
    auto store = storeWith(persistence, std::nullopt, 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(store->record(QStringLiteral("c%1").arg(i), i));
    persistence->saves.clear();

    store->updateRecentLimit(3, false);
    EXPECT_EQ(store->itemCount(), 10);
    EXPECT_TRUE(persistence->saves.isEmpty());
    EXPECT_EQ(store->configuration().maxItems, 3);

    store->updateRecentLimit(3, true);
    EXPECT_EQ(texts(store->items()), (QStringList{"c9", "c8", "c7"}));
    EXPECT_EQ(persistence->saves.size(), 1);

    // No limit but trimming asked: still applies the budget and saves.
    store->updateRecentLimit(std::nullopt, true);
    EXPECT_EQ(store->itemCount(), 3);
    EXPECT_EQ(persistence->saves.size(), 2);
}

TEST(ClipboardStoreLimits, IndexedRecordingMatchesOneAtATimeReference)
{
    for (quint32 seed = 1; seed <= 6; ++seed) {
        QRandomGenerator random(seed);
        auto persistence = std::make_shared<FakeSyncPersistence>();
        const std::optional<qint64> maxItems = seed % 2 ? std::optional<qint64>(25) : std::nullopt;
        const qint64 budget = seed % 3 ? 512 * 30 + 4000 : 0;
        ReferenceHistory reference{{}, maxItems, budget};
        // Start from a file with pins, equal times and repeated keys.
        QList<ClipboardItem> initial;
        for (int i = 0; i < 40; ++i) {
            const QString accent = i % 3 == 0 ? QStringLiteral("caf\u00e9") : i % 3 == 1 ? QStringLiteral("cafe\u0301") : QString();
            initial.append(textItem(QStringLiteral("t%1").arg(random.bounded(30)) + accent, random.bounded(20),
                                    random.bounded(6) == 0));
        }
        persistence->stored = ClipboardHistoryState{initial, DefaultPinboards::all()};
        auto store = storeWith(persistence, maxItems, budget);
        reference.items = store->items();

        for (int step = 0; step < 400; ++step) {
            // Keys that are equal only in canonical form, and equal texts told apart by kept RTF.
            QString text = QStringLiteral("t%1").arg(random.bounded(60)) + QString(random.bounded(300), QLatin1Char('x'));
            const int variant = random.bounded(4);
            if (variant == 1)
                text += QStringLiteral("caf\u00e9");
            else if (variant == 2)
                text += QStringLiteral("cafe\u0301");
            std::optional<ClipboardOriginalPayload> payload;
            if (variant == 3 && random.bounded(2))
                payload = ClipboardOriginalPayload::create(QByteArray("{\\rtf1 x}"), std::nullopt, {});
            const double time = random.bounded(2) ? step + 20.0 : double(random.bounded(40));
            ASSERT_TRUE(store->record(text, time, std::nullopt, payload));
            ClipboardItem fresh(QUuid::createUuid(), text, time, false, {}, std::nullopt, payload);
            reference.record(fresh);

            // Fresh ids differ between the two; compare contents, times and pins.
            const QList<ClipboardItem> actual = store->items();
            ASSERT_EQ(actual.size(), reference.items.size()) << "seed " << seed << " step " << step;
            for (qsizetype i = 0; i < actual.size(); ++i) {
                ASSERT_EQ(actual[i].content(), reference.items[i].content()) << "seed " << seed << " step " << step << " at " << i;
                ASSERT_EQ(actual[i].createdAt(), reference.items[i].createdAt());
                ASSERT_EQ(actual[i].isPinned(), reference.items[i].isPinned());
            }
        }
    }
}
