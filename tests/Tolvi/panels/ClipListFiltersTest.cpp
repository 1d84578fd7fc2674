#include "Tolvi/panels/ClipListFilters.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

ClipboardItem textClip(const QString& text)
{
    return ClipboardItem(QUuid::createUuid(), text, 100.0);
}

} // namespace

TEST(ClipListFiltersTest, SettersReportChangesAndClearingKeepsTheQuery)
{
    ClipListFilters filters;
    EXPECT_TRUE(filters.setQuery(QStringLiteral("abc")));
    EXPECT_FALSE(filters.setQuery(QStringLiteral("abc")));
    EXPECT_FALSE(filters.narrowsBeyondQuery());
    const QString plainKey = filters.cacheKey();

    EXPECT_TRUE(filters.setDateFilter(ClipboardSearchDateFilter::today));
    EXPECT_FALSE(filters.setDateFilter(ClipboardSearchDateFilter::today));
    EXPECT_TRUE(filters.setRequiresOCRText(true));
    EXPECT_TRUE(filters.setContentFilter(ClipboardSearchContentFilter::images));
    EXPECT_TRUE(filters.narrowsBeyondQuery());
    EXPECT_NE(filters.cacheKey(), plainKey);

    filters.clearBeyondQuery();
    EXPECT_FALSE(filters.narrowsBeyondQuery());
    EXPECT_EQ(filters.query, QStringLiteral("abc"));
    EXPECT_EQ(filters.cacheKey(), plainKey);
}

TEST(ClipListFiltersTest, SelectionSettlesOnAListedClipOrTheFirst)
{
    const QList<ClipboardItem> items{textClip(QStringLiteral("one")), textClip(QStringLiteral("two"))};
    EXPECT_EQ(FilteredClips::settledSelection(items, items.at(1).id()), items.at(1).id());
    EXPECT_EQ(FilteredClips::settledSelection(items, QUuid::createUuid()), items.at(0).id());
    EXPECT_EQ(FilteredClips::settledSelection(items, std::nullopt), items.at(0).id());
    EXPECT_EQ(FilteredClips::settledSelection({}, items.at(0).id()), std::nullopt);
    EXPECT_EQ(FilteredClips::rowOf(items, items.at(1).id()), 1);
    EXPECT_EQ(FilteredClips::rowOf(items, QUuid::createUuid()), -1);
}

TEST(ClipListFiltersTest, IdsChangeOnlyWhenARowHoldsAnotherClip)
{
    const QList<ClipboardItem> before{textClip(QStringLiteral("one")), textClip(QStringLiteral("two"))};
    EXPECT_FALSE(FilteredClips::idsChanged(before, before));

    // The same clips, their records rebuilt (say with recognised text): the rows still name them.
    QList<ClipboardItem> rebuilt;
    for (const ClipboardItem& item : before)
        rebuilt.append(ClipboardItem(item.id(), QStringLiteral("rebuilt"), 200.0));
    EXPECT_FALSE(FilteredClips::idsChanged(before, rebuilt));

    QList<ClipboardItem> reordered{before.at(1), before.at(0)};
    EXPECT_TRUE(FilteredClips::idsChanged(before, reordered));
    EXPECT_TRUE(FilteredClips::idsChanged(before, before.mid(0, 1)));
}
