#include "Tolvi/clipviews/NarrowingClipSearch.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"

#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/search/PackedClipTexts.h"

#include <QLocale>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

constexpr double now = 90'000.0;

// A history long enough to be searched on several threads: texts of every form (ASCII, folded
// only in ASCII letter case, folded otherwise), links, code, images, applications.
QList<ClipboardItem> history(int count, QRandomGenerator& random, const QString& prefix = QString())
{
    const QStringList words = {QStringLiteral("Panel"), QStringLiteral("parcel"), QString::fromUtf8("Stra\u00dfe"),
                               QString::fromUtf8("Caf\u00e9"), QStringLiteral("deploy"), QStringLiteral("{x}"),
                               QStringLiteral("https://example.org/p"), QStringLiteral("notes"),
                               QString::fromUtf8("\u0130zmir"), QStringLiteral("team")};
    QList<ClipboardItem> items;
    for (int i = 0; i < count; ++i) {
        std::optional<ClipboardSourceApp> app;
        if (i % 7 == 0)
            app = ClipboardSourceApp(QStringLiteral("Teams"), QStringLiteral("com.example.teams"));
        if (i % 97 == 0) {
            items.append(ClipboardItem(
                QUuid::createUuid(),
                ClipboardContent::image(ClipboardImage(QByteArray("png"), QStringLiteral("public.png"), 800, 600,
                                                       QStringLiteral("Parcel %1").arg(i))),
                now - i, false, {}, app));
            continue;
        }
        QString text = prefix;
        const int count = 1 + int(random.bounded(5));
        for (int w = 0; w < count; ++w)
            text += words[random.bounded(int(words.size()))] + QLatin1Char(' ');
        items.append(ClipboardItem(QUuid::createUuid(), text, now - i, i % 50 == 0, {}, app));
    }
    return items;
}

QList<QUuid> ids(const QList<ClipboardItem>& items)
{
    QList<QUuid> result;
    for (const ClipboardItem& item : items)
        result.append(item.id());
    return result;
}

ClipboardSearchCriteria criteria(const QString& query,
                                 ClipboardSearchContentFilter content = ClipboardSearchContentFilter::all,
                                 ClipboardSearchScope scope = ClipboardSearchScope::all())
{
    return ClipboardSearchCriteria(query, content, scope, ClipboardSearchDateFilter::anyTime, false);
}

const std::vector<ClipboardSearchCriteria>& someCriteria()
{
    static const std::vector<ClipboardSearchCriteria> all = {
        criteria(QStringLiteral("p")),
        criteria(QStringLiteral("strasse")),
        criteria(QStringLiteral("CAF")),
        criteria(QStringLiteral("e teams")),
        criteria(QStringLiteral("i"), ClipboardSearchContentFilter::code),
        criteria(QString(), ClipboardSearchContentFilter::links),
        criteria(QStringLiteral("parcel"), ClipboardSearchContentFilter::images),
        criteria(QStringLiteral("notes"), ClipboardSearchContentFilter::all, ClipboardSearchScope::pinned()),
    };
    return all;
}

class PartitionedClipSearchPackTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    void expectSameAsFilter(PartitionedClipSearch& search, const QList<ClipboardItem>& items, const char* what)
    {
        for (const ClipboardSearchCriteria& c : someCriteria()) {
            EXPECT_EQ(ids(search.filter(items, c, now)),
                      ids(ClipboardSearch::filter(items, c, now, QTimeZone::systemTimeZone(), m_reference)))
                << what << ": " << c.query.toStdString();
        }
    }

    ClipboardSearchTextCache m_reference;
};

TEST_F(PartitionedClipSearchPackTest, ThePreparedHistoryIsSearchedInItsPackAndSoIsItAfterSmallChanges)
{
    QRandomGenerator random(5);
    PartitionedClipSearch search(4);
    const QList<ClipboardItem> items = history(9000, random);
    search.prepare(items);
    search.waitUntilPrepared();
    const std::shared_ptr<const PackedClipTexts> pack = search.currentPack();
    ASSERT_TRUE(pack);
    EXPECT_TRUE(pack->isPackOf(items));
    expectSameAsFilter(search, items, "packed");
    EXPECT_EQ(search.currentPack(), pack);

    // The history changes and the search comes before the new pack may be ready: the search
    // packs it itself from the last pack, or finds the new one.
    QList<ClipboardItem> changed = items;
    changed.prepend(ClipboardItem(QUuid::createUuid(), QStringLiteral("newest parcel"), now + 1));
    changed[40].setContent(ClipboardContent::text(QStringLiteral("edited {p}")));
    changed.remove(100, 2);
    search.prepare(changed);
    expectSameAsFilter(search, changed, "changed");
    ASSERT_TRUE(search.currentPack());
    EXPECT_TRUE(search.currentPack()->isPackOf(changed));
    EXPECT_LE(search.currentPack()->workedOutCount(), 2);

    // More changed clips than a search packs itself, and not yet given to prepare(): searched
    // without the pack, the same.
    QList<ClipboardItem> imported = history(PartitionedClipSearch::repackLimit + 50, random, QStringLiteral("new "));
    imported += changed;
    const std::shared_ptr<const PackedClipTexts> before = search.currentPack();
    expectSameAsFilter(search, imported, "many changed");
    EXPECT_EQ(search.currentPack(), before);
    search.prepare(imported);
    search.waitUntilPrepared();
    EXPECT_TRUE(search.currentPack()->isPackOf(imported));
    EXPECT_EQ(search.currentPack()->workedOutCount(), PartitionedClipSearch::repackLimit + 50);
    expectSameAsFilter(search, imported, "imported and packed");
}

TEST_F(PartitionedClipSearchPackTest, EarlierResultsAreSearchedInThePackAsTheUserTypesOn)
{
    QRandomGenerator random(9);
    PartitionedClipSearch& search = PartitionedClipSearch::shared();
    search.clearCaches();
    const QList<ClipboardItem> items = history(12000, random);
    search.prepare(items);
    search.waitUntilPrepared();
    const std::shared_ptr<const PackedClipTexts> pack = search.currentPack();

    // Typed on a character at a time and deleted again: each result is searched in the last one.
    NarrowingClipSearch narrowing;
    const QString word = QStringLiteral("parcel t");
    QStringList steps;
    for (int i = 1; i <= word.size(); ++i)
        steps.append(word.left(i));
    for (int i = word.size() - 1; i >= 1; --i)
        steps.append(word.left(i));
    for (const QString& step : steps) {
        for (const ClipboardSearchContentFilter content :
             {ClipboardSearchContentFilter::all, ClipboardSearchContentFilter::code}) {
            const ClipboardSearchCriteria c = criteria(step, content);
            const QString filters = QStringLiteral("g1|") + ClipboardSearchFilters::rawValue(content);
            EXPECT_EQ(ids(narrowing.filter(items, c, now, QTimeZone::systemTimeZone(), filters)),
                      ids(ClipboardSearch::filter(items, c, now, QTimeZone::systemTimeZone(), m_reference)))
                << step.toStdString();
        }
    }
    // Only the pack of the history served, never one made for a result.
    EXPECT_EQ(search.currentPack(), pack);

    // The history changes: its next searches follow it.
    QList<ClipboardItem> changed = items;
    changed.prepend(ClipboardItem(QUuid::createUuid(), QStringLiteral("parcel tracking"), now + 5));
    changed[7].setContent(ClipboardContent::text(QStringLiteral("no longer a match")));
    search.prepare(changed);
    for (const QString& step : steps) {
        const ClipboardSearchCriteria c = criteria(step);
        EXPECT_EQ(ids(narrowing.filter(changed, c, now, QTimeZone::systemTimeZone(), QStringLiteral("g2"))),
                  ids(ClipboardSearch::filter(changed, c, now, QTimeZone::systemTimeZone(), m_reference)))
            << step.toStdString();
    }
    search.clearCaches();
}

TEST_F(PartitionedClipSearchPackTest, APackFoldedInAnotherLocaleIsNotUsedAndIsMadeAgain)
{
    QRandomGenerator random(13);
    PartitionedClipSearch search(4);
    const QList<ClipboardItem> items = history(5000, random);
    search.prepare(items);
    search.waitUntilPrepared();
    ASSERT_EQ(search.currentPack()->localeName(), QStringLiteral("en_US"));

    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    m_reference.clear();
    for (const QString& query : {QStringLiteral("izmir"), QString::fromUtf8("\u0131"), QStringLiteral("I")}) {
        const ClipboardSearchCriteria c = criteria(query);
        EXPECT_EQ(ids(search.filter(items, c, now)),
                  ids(ClipboardSearch::filter(items, c, now, QTimeZone::systemTimeZone(), m_reference)))
            << query.toStdString();
    }
    search.waitUntilPrepared();
    EXPECT_EQ(search.currentPack()->localeName(), QStringLiteral("tr_TR"));
    expectSameAsFilter(search, items, "packed in Turkish");
}

} // namespace
