#include "Tolvi/clipviews/ClipListModel.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"

#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include <QRandomGenerator>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

QList<ClipboardItem> clips(int count, const QString& prefix = QStringLiteral("clip"))
{
    QList<ClipboardItem> items;
    for (int i = 0; i < count; ++i)
        items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("%1 %2").arg(prefix).arg(i), 1000.0 - i));
    return items;
}

QList<QUuid> ids(const QList<ClipboardItem>& items)
{
    QList<QUuid> result;
    for (const ClipboardItem& item : items)
        result.append(item.id());
    return result;
}

TEST(ClipListModelTest, SmallChangesMoveOnlyTheRowsThatChanged)
{
    ClipListModel model;
    QList<ClipboardItem> items = clips(200);
    model.setItems(items);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // A new clip at the top: one row inserted at 0.
    items.prepend(ClipboardItem(QUuid::createUuid(), QStringLiteral("newest"), 2000.0));
    model.setItems(items);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 0);

    // A clip deleted in the middle: one row removed there.
    items.removeAt(100);
    model.setItems(items);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 100);

    // A clip edited in place: only its row repaints.
    items[5].setContent(ClipboardContent::text(QStringLiteral("edited")));
    model.setItems(items);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 5);
    EXPECT_EQ(changed[0][1].value<QModelIndex>().row(), 5);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(ids(model.items()), ids(items));

    // A new list with most rows different is a reset.
    const QList<ClipboardItem> other = clips(150, QStringLiteral("other"));
    model.setItems(other);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(ids(model.items()), ids(other));
    EXPECT_EQ(model.rowCount(), 150);
}

// A clip copied again moves to the top: its old row goes, then the rows ahead of it come anew.
// The list the model shares is never copied for that; a view reading the rows in between sees
// the list without the removed rows.
TEST(ClipListModelTest, RemovedRowsAreReadAroundWithoutCopyingTheSharedList)
{
    ClipListModel model;
    const QList<ClipboardItem> before = clips(200);
    model.setItems(before);
    QList<ClipboardItem> after = before;
    after.move(20, 0);
    QList<QUuid> seenAfterRemoval;
    bool shared = false;
    const auto reading = QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&] {
        shared = model.items().isSharedWith(before);
        for (int row = 0; row < model.rowCount(); ++row)
            seenAfterRemoval.append(model.itemAt(row)->id());
    });
    model.setItems(after);
    QObject::disconnect(reading);
    EXPECT_TRUE(shared);
    EXPECT_EQ(seenAfterRemoval, ids(before.mid(21)));
    EXPECT_TRUE(model.items().isSharedWith(after));
    EXPECT_EQ(model.rowOf(before[20].id()), 0);
    EXPECT_EQ(model.rowOf(before[199].id()), 199);

    // Rows removed with nothing inserted after them.
    QList<ClipboardItem> shorter = after;
    shorter.remove(10, 5);
    model.setItems(shorter);
    EXPECT_EQ(model.rowCount(), 195);
    EXPECT_EQ(model.itemAt(10)->id(), after[15].id());
}

TEST(ClipListModelTest, OnlyTheFocusedRowIsIdentifiedAsTheClipRow)
{
    ClipListModel model;
    const QList<ClipboardItem> items = clips(3);
    model.setItems(items);
    model.setFocusedRow(1);
    const QString upper = items[1].id().toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(model.index(1).data(ClipListModel::IdentifierRole).toString(), QStringLiteral("tolvi.row.") + upper);
    EXPECT_TRUE(model.index(0).data(ClipListModel::IdentifierRole).toString().startsWith(QStringLiteral("tolvi.clip.")));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setFocusedRow(2);
    // The row that lost the focus and the one that gained it.
    EXPECT_EQ(changed.count(), 2);
}

TEST(PartitionedClipSearchTest, FindsExactlyWhatTheSearchFinds)
{
    QRandomGenerator random(11);
    const QStringList words = {QStringLiteral("Straße"), QStringLiteral("STRASSE"), QStringLiteral("café"),
                               QStringLiteral("invoice"), QStringLiteral("Invoice-42"), QStringLiteral("naïve"),
                               QStringLiteral("tea"), QStringLiteral("team"), QStringLiteral("https://example.org/a")};
    QList<ClipboardItem> items;
    for (int i = 0; i < 9000; ++i) {
        QString text;
        for (int w = 0; w < 1 + int(random.bounded(5)); ++w)
            text += words[random.bounded(int(words.size()))] + QLatin1Char(' ');
        std::optional<ClipboardSourceApp> app;
        if (i % 7 == 0)
            app = ClipboardSourceApp(QStringLiteral("Teams"), QStringLiteral("com.example.teams"));
        items.append(ClipboardItem(QUuid::createUuid(), text, 5000.0 - i, false, {}, app));
    }
    PartitionedClipSearch search(4);
    ClipboardSearchTextCache reference;
    for (const QString& query : {QStringLiteral("strasse"), QStringLiteral("CAFÉ"), QStringLiteral("team"),
                                 QStringLiteral("invoice-4"), QStringLiteral("  tea "), QStringLiteral("zzz"),
                                 QString()}) {
        for (const ClipboardSearchContentFilter content :
             {ClipboardSearchContentFilter::all, ClipboardSearchContentFilter::links}) {
            const ClipboardSearchCriteria criteria(query, content, ClipboardSearchScope::all(),
                                                   ClipboardSearchDateFilter::anyTime, false);
            // Long lists are searched on several threads, short ones on this one.
            for (const qsizetype count : {items.size(), qsizetype(300)}) {
                const QList<ClipboardItem> input = items.mid(0, count);
                EXPECT_EQ(ids(search.filter(input, criteria, 6000.0)),
                          ids(ClipboardSearch::filter(input, criteria, 6000.0, QTimeZone::systemTimeZone(), reference)))
                    << query.toStdString() << " over " << count;
            }
        }
    }
}

// Most first keystrokes match nearly every clip: parts whose clips all match, beside parts that
// miss a few, put together in list order; the whole-history split kept between searches and the
// one prepared ahead apply to their own list only.
TEST(PartitionedClipSearchTest, NearlyEverythingMatchingKeepsOrderAndPreparedSplitsFitTheirList)
{
    PartitionedClipSearch search(4);
    ClipboardSearchTextCache reference;
    auto history = [](int misses) {
        QList<ClipboardItem> items;
        int missed = 0;
        for (int i = 0; i < 8000; ++i) {
            const QUuid id = QUuid::createUuid();
            // Only clips of one part (by id) miss, and only the first few of them.
            const bool miss = id.data1 % 4 == 3 && missed < misses;
            missed += miss ? 1 : 0;
            items.append(ClipboardItem(id, miss ? QStringLiteral("other %1").arg(i) : QStringLiteral("common %1").arg(i),
                                       9000.0 - i));
        }
        return items;
    };
    const ClipboardSearchCriteria common(QStringLiteral("common"), ClipboardSearchContentFilter::all,
                                         ClipboardSearchScope::all(), ClipboardSearchDateFilter::anyTime, false);
    const ClipboardSearchCriteria digit(QStringLiteral("7"), ClipboardSearchContentFilter::all,
                                        ClipboardSearchScope::all(), ClipboardSearchDateFilter::anyTime, false);
    auto expectSame = [&](const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria) {
        EXPECT_EQ(ids(search.filter(items, criteria, 9500.0)),
                  ids(ClipboardSearch::filter(items, criteria, 9500.0, QTimeZone::systemTimeZone(), reference)));
    };

    const QList<ClipboardItem> allMatch = history(0);
    EXPECT_TRUE(search.filter(allMatch, common, 9500.0).isSharedWith(allMatch));
    for (const int misses : {1, 40}) {
        const QList<ClipboardItem> items = history(misses);
        search.prepare(items);
        search.waitUntilPrepared();
        expectSame(items, common);
        expectSame(items, digit);
        // Another list of the same length after the prepared one: split for itself.
        const QList<ClipboardItem> other = history(misses);
        expectSame(other, common);
        expectSame(items, common);
        expectSame(other, digit);
    }
}

} // namespace
