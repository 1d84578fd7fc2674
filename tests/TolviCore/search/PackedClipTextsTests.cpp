#include "TolviCore/search/PackedClipTexts.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include <QLocale>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tolvi {
namespace {

const QTimeZone zone("Europe/Berlin");
const QUuid board = QUuid::createUuid();
constexpr double now = 800'000'000.0;

ClipboardItem textClip(const QString& text, std::optional<ClipboardSourceApp> app = std::nullopt)
{
    return ClipboardItem(QUuid::createUuid(), text, now - 60, false, {}, std::move(app));
}

ClipboardItem imageClip(std::optional<QString> recognized, int width = 640)
{
    return ClipboardItem(QUuid::createUuid(),
                         ClipboardContent::image(ClipboardImage(QByteArray("png"), QStringLiteral("public.png"), width,
                                                                480, std::move(recognized))),
                         now - 60);
}

// A text clip's content; every other text held as its bytes (ASCII, or UTF-8 beyond), as one read
// from the history file is.
ClipboardContent textContent(const QString& text, int i)
{
    if (i % 2 && QtPrivate::isAscii(QStringView(text)))
        return ClipboardContent::asciiText(text.toLatin1());
    if (i % 2 && !UnicodeText::hasLoneSurrogates(text))
        return ClipboardContent::utf8Text(text.toUtf8());
    return ClipboardContent::text(text);
}

// Clips that every filter and every form of text meets: ASCII of both cases, texts that folding
// leaves alone, changes only in ASCII letters or changes otherwise (sharp s, combining marks, the
// Turkic i's, title-case and Kelvin signs), emoji and a lone surrogate, empty and blank texts,
// links and code, images with and without recognised text; with and without source
// applications; pinned, on a board or not, from today back to six weeks ago, and one whose time
// is not a number.
QList<ClipboardItem> variedClips(QRandomGenerator& random)
{
    const QStringList pieces = {QStringLiteral("Invoice"), QStringLiteral("invoice"), QStringLiteral("STRASSE"),
                                QString::fromUtf8("stra\u00dfe"), QString::fromUtf8("Z\u00fcrich"),
                                QString::fromUtf8("caf\u00e9"), QString::fromUtf8("CAF\u00c9"),
                                QString::fromUtf8("cafe\u0301"), QString::fromUtf8("\u0130stanbul"),
                                QStringLiteral("ISTANBUL"), QString::fromUtf8("\u0131rmak"), QStringLiteral("Ice"),
                                QString::fromUtf8("\u4e2d\u6587"), QString::fromUtf8("\U0001F44D"),
                                QString(QChar(0xD83D)), QString::fromUtf8("\u01c5x"), QString::fromUtf8("\u212a"),
                                QString::fromUtf8("\uFFFD"), QStringLiteral("team"), QStringLiteral(" "),
                                QStringLiteral("\n"), QStringLiteral("{x}"), QStringLiteral("const "),
                                QStringLiteral("=>"), QStringLiteral("Term")};
    const QStringList whole = {QString(), QStringLiteral("   "), QStringLiteral("https://example.org/path?q=1"),
                               QStringLiteral(" http://Example.COM "), QStringLiteral("let x = 1")};
    const std::vector<std::optional<ClipboardSourceApp>> apps = {
        std::nullopt, ClipboardSourceApp(QStringLiteral("Terminal"), QStringLiteral("org.gnome.Terminal")),
        ClipboardSourceApp(QString::fromUtf8("Caf\u00e9 Notes")),
        ClipboardSourceApp(QString::fromUtf8("\u0130z"), QStringLiteral("tr.example.IZ")),
        ClipboardSourceApp(QStringLiteral("Mail"), QString())};
    QList<ClipboardItem> items;
    for (int i = 0; i < 500; ++i) {
        const auto& app = apps[size_t(random.bounded(int(apps.size())))];
        ClipboardContent content = ClipboardContent::text(QString());
        if (i % 20 == 0) {
            std::optional<QString> recognized;
            if (i % 40 == 0)
                recognized = pieces[random.bounded(int(pieces.size()))] + QStringLiteral(" Total");
            else if (i % 60 == 20)
                recognized = QStringLiteral(" \n");
            content = ClipboardContent::image(
                ClipboardImage(QByteArray("png"), QStringLiteral("public.png"), 640 + i, 480, recognized));
        } else if (i % 11 == 0) {
            content = textContent(whole[random.bounded(int(whole.size()))], i);
        } else {
            QString text;
            const int count = 1 + int(random.bounded(6));
            // Some texts of a single kind only, so that every form of text is met on its own.
            const int only = i % 3 == 0 ? int(random.bounded(int(pieces.size()))) : -1;
            for (int w = 0; w < count; ++w)
                text += pieces[only >= 0 ? only : random.bounded(int(pieces.size()))];
            content = textContent(text, i / 2);
        }
        const double createdAt = i == 7 ? std::numeric_limits<double>::quiet_NaN()
                                        : now - random.bounded(42.0 * 86400.0);
        QList<QUuid> boards;
        if (random.bounded(4) == 0)
            boards.append(board);
        items.append(ClipboardItem(QUuid::createUuid(), content, createdAt, random.bounded(5) == 0, boards, app));
    }
    return items;
}

// Queries that test folding, and pieces of the clips' own searchable texts (across the joint of
// content and application too) in changed letter case.
QStringList queriesFor(const QList<ClipboardItem>& items, QRandomGenerator& random)
{
    QStringList queries = {QString(), QStringLiteral("strasse"), QString::fromUtf8("\u00df"), QStringLiteral("i"),
                           QString::fromUtf8("\u0131"), QStringLiteral("I"), QString::fromUtf8("\u0130"),
                           QStringLiteral("ICE"), QString::fromUtf8("\u00e9"), QString::fromUtf8("e\u0301"),
                           QStringLiteral("k"), QString::fromUtf8("Z\u00dc"), QString::fromUtf8("\U0001F44D"),
                           QString(QChar(0xD83D)), QStringLiteral("e terminal"), QStringLiteral("m org"),
                           QString::fromUtf8("\u01c6"), QStringLiteral("mail "), QStringLiteral("x} "),
                           QStringLiteral("image 640"), QStringLiteral("total"), QStringLiteral("zzz")};
    for (int i = 0; i < 40; ++i) {
        const ClipboardItem& item = items.at(random.bounded(int(items.size())));
        QString searchable = item.content().searchText();
        if (item.sourceApp())
            searchable += QLatin1Char(' ') + item.sourceApp()->name();
        if (searchable.isEmpty())
            continue;
        const int from = int(random.bounded(int(searchable.size())));
        const QString piece = searchable.mid(from, 1 + int(random.bounded(12)));
        queries.append(i % 2 ? piece.toUpper() : piece);
    }
    return queries;
}

// Every filter besides the query, one at a time and a few together.
std::vector<ClipboardSearchCriteria> criteriaFor(const QString& query)
{
    using Content = ClipboardSearchContentFilter;
    using Date = ClipboardSearchDateFilter;
    std::vector<ClipboardSearchCriteria> all;
    for (const Content content : ClipboardSearchFilters::allContentFilters())
        all.emplace_back(query, content, ClipboardSearchScope::all(), Date::anyTime, false);
    all.emplace_back(query, Content::all, ClipboardSearchScope::pinned(), Date::anyTime, false);
    all.emplace_back(query, Content::all, ClipboardSearchScope::pinboard(board), Date::today, false);
    all.emplace_back(query, Content::all, ClipboardSearchScope::screenshots(), Date::anyTime, true);
    all.emplace_back(query, Content::text, ClipboardSearchScope::all(), Date::last7Days, false,
                     QStringLiteral("org.gnome.Terminal"));
    all.emplace_back(query, Content::all, ClipboardSearchScope::all(), Date::last30Days, false,
                     QStringLiteral("Mail"));
    all.emplace_back(query, Content::links, ClipboardSearchScope::all(), Date::anyTime, false, QString());
    return all;
}

QList<QUuid> ids(const QList<ClipboardItem>& items)
{
    QList<QUuid> result;
    for (const ClipboardItem& item : items)
        result.append(item.id());
    return result;
}

// The clips of `list` the pack's search finds, `list` being the pack's or some of its clips.
QList<QUuid> packedMatches(const PackedClipTexts& pack, const QList<ClipboardItem>& list,
                           const ClipboardSearchCriteria& criteria)
{
    const ClipboardSearch::PackedSearch search(pack, criteria, now, zone);
    EXPECT_TRUE(search.isUsable());
    std::vector<quint32> places;
    const bool whole = pack.isPackOf(list);
    if (!whole) {
        EXPECT_TRUE(pack.placesOf(list, places));
    }
    std::vector<quint32> matched;
    // In runs, as the threads take them.
    for (quint32 first = 0; first < quint32(list.size()); first += 64)
        search.match(whole ? nullptr : places.data(), first, std::min(quint32(list.size()), first + 64), matched);
    QList<QUuid> result;
    for (const quint32 k : matched)
        result.append(list.at(k).id());
    return result;
}

class PackedClipTextsTest : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(PackedClipTextsTest, FindsWhatTheSearchFindsInEveryLocaleAndWithEveryFilter)
{
    ASSERT_TRUE(zone.isValid()) << "time zone data (tzdata) is missing";
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Turkish),
                                  QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        QRandomGenerator random(23);
        const QList<ClipboardItem> items = variedClips(random);
        const std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(items);
        EXPECT_EQ(pack->localeName(), locale.name());
        // Some of the clips in their order, as an earlier result holds them.
        QList<ClipboardItem> some;
        for (qsizetype i = 0; i < items.size(); i += 3)
            some.append(items.at(i));
        ClipboardSearchTextCache reference;
        for (const QString& query : queriesFor(items, random)) {
            for (const ClipboardSearchCriteria& criteria : criteriaFor(query)) {
                const std::string what = locale.name().toStdString() + " query \"" + query.toStdString() + "\" filter "
                                         + ClipboardSearchFilters::rawValue(criteria.contentFilter).toStdString();
                ASSERT_EQ(packedMatches(*pack, items, criteria),
                          ids(ClipboardSearch::filter(items, criteria, now, zone, reference)))
                    << what;
                ASSERT_EQ(packedMatches(*pack, some, criteria),
                          ids(ClipboardSearch::filter(some, criteria, now, zone, reference)))
                    << what << " over some clips";
            }
        }
    }
}

TEST_F(PackedClipTextsTest, OnlyTextsThatFoldingChangesBeyondAsciiCaseKeepAFoldedCopy)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QList<ClipboardItem> inPlace = {
        textClip(QStringLiteral("Invoice 42 for ACME")), textClip(QString::fromUtf8("Caf\u00e9 \u4e2d\u6587")),
        textClip(QString::fromUtf8("Z\u00fcrich \U0001F44D")), textClip(QString()),
        textClip(QStringLiteral("x"), ClipboardSourceApp(QString::fromUtf8("Stra\u00dfe App")))};
    EXPECT_EQ(PackedClipTexts::pack(inPlace)->foldedCopyCount(), 0);
    EXPECT_EQ(PackedClipTexts::pack(inPlace)->blockBytes(), 0);

    // Sharp s, a decomposed accent, a Kelvin sign, a lone surrogate and an image's search text.
    const QList<ClipboardItem> folded = {
        textClip(QString::fromUtf8("Stra\u00dfe")), textClip(QString::fromUtf8("cafe\u0301")),
        textClip(QString::fromUtf8("\u212a")), textClip(QString(QChar(0xD83D))), imageClip(QStringLiteral("Total"))};
    QList<ClipboardItem> both = inPlace + folded;
    const std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(both);
    EXPECT_EQ(pack->foldedCopyCount(), folded.size());
    qsizetype bytes = 0;
    for (const ClipboardItem& item : folded)
        bytes += ClipboardSearchTextCache::foldedForMatching(item.content().searchText(), QLocale()).size();
    EXPECT_EQ(pack->foldedBytes(), bytes);
    // One block, given back what it does not use.
    EXPECT_EQ(pack->blockCount(), 1);
    EXPECT_EQ(pack->blockBytes(), bytes);

    // In Turkish a capital I folds to a dotless i: an ASCII text with one is folded too.
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    const QList<ClipboardItem> turkish = {textClip(QStringLiteral("Invoice")), textClip(QStringLiteral("invoice")),
                                          textClip(QStringLiteral("ACME"))};
    const std::shared_ptr<const PackedClipTexts> turkishPack = PackedClipTexts::pack(turkish);
    EXPECT_EQ(turkishPack->foldedCopyCount(), 1);
    EXPECT_EQ(turkishPack->foldedBytes(), QByteArray("\xC4\xB1nvoice").size());

    // Texts held as ASCII bytes likewise, and none of them is turned into a QString for good.
    QList<ClipboardItem> held;
    for (const ClipboardItem& item : turkish)
        held.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::asciiText(item.content().textValue().toLatin1()),
                                   now - 60));
    const std::shared_ptr<const PackedClipTexts> bytesPack = PackedClipTexts::pack(held);
    EXPECT_EQ(bytesPack->foldedCopyCount(), 1);
    EXPECT_EQ(bytesPack->foldedBytes(), QByteArray("\xC4\xB1nvoice").size());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(PackedClipTexts::pack(held)->foldedCopyCount(), 0);
    for (const ClipboardItem& item : held)
        EXPECT_FALSE(item.content().holdsTextValue());
}

TEST_F(PackedClipTextsTest, APackMadeFromAnEarlierOneWorksOutOnlyTheClipsThatChanged)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QList<ClipboardItem> items;
    for (int i = 0; i < 1000; ++i) {
        const QString text = i % 4 ? QStringLiteral("clip %1 notes").arg(i) : QString::fromUtf8("Stra\u00dfe %1").arg(i);
        items.append(textClip(text, i % 3 ? std::nullopt : std::optional(ClipboardSourceApp(QStringLiteral("Terminal")))));
    }
    const std::shared_ptr<const PackedClipTexts> first = PackedClipTexts::pack(items);
    EXPECT_EQ(first->workedOutCount(), items.size());
    // Facts worked out in the first pack are taken over with the records.
    const ClipboardSearchCriteria code(QStringLiteral("notes"), ClipboardSearchContentFilter::code,
                                       ClipboardSearchScope::all(), ClipboardSearchDateFilter::anyTime, false);
    EXPECT_TRUE(packedMatches(*first, items, code).isEmpty());

    QList<ClipboardItem> changed = items;
    changed.prepend(textClip(QStringLiteral("new {notes}")));                                   // new
    changed.prepend(textClip(QString::fromUtf8("newest Stra\u00dfe")));                        // new
    changed.remove(500, 3);                                                                     // taken out
    changed[100].setContent(ClipboardContent::text(QStringLiteral("edited {notes}")));          // changed text
    changed[200].setPinned(true);                                                               // same text
    changed[300].setSourceApp(ClipboardSourceApp(QStringLiteral("Mail")));                      // same text
    changed.move(10, 4);                                                                        // moved near
    changed.move(900, 0);                                                                       // moved far
    const std::shared_ptr<const PackedClipTexts> second = PackedClipTexts::repack(*first, changed);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->workedOutCount(), 2 + 1 + 1);
    EXPECT_TRUE(second->isPackOf(changed));
    // The folded copies of the clips taken over stay in the earlier pack's block.
    EXPECT_EQ(second->blockCount(), first->blockCount() + 1);

    ClipboardSearchTextCache reference;
    for (const QString& query : {QStringLiteral("notes"), QStringLiteral("strasse"), QStringLiteral("s mail"),
                                 QStringLiteral("terminal"), QStringLiteral("edited")}) {
        for (const ClipboardSearchCriteria& criteria : criteriaFor(query)) {
            EXPECT_EQ(packedMatches(*second, changed, criteria),
                      ids(ClipboardSearch::filter(changed, criteria, now, zone, reference)))
                << query.toStdString();
        }
    }

    // Many clips put in at once, and a clip moved far: the new ones are worked out, and the moved
    // one as if it were new.
    QList<ClipboardItem> bulk;
    for (int i = 0; i < 40; ++i)
        bulk.append(textClip(QString::fromUtf8("imported %1 caf\u00e9 Stra\u00dfe").arg(i)));
    bulk += changed;
    bulk.move(700, 300);
    const std::shared_ptr<const PackedClipTexts> third = PackedClipTexts::repack(*second, bulk);
    EXPECT_EQ(third->workedOutCount(), 40 + 1);
    for (const QString& query : {QStringLiteral("imported 3"), QStringLiteral("clip 6"), QStringLiteral("strasse")}) {
        const ClipboardSearchCriteria criteria(query, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                               ClipboardSearchDateFilter::anyTime, false);
        EXPECT_EQ(packedMatches(*third, bulk, criteria), ids(ClipboardSearch::filter(bulk, criteria, now, zone, reference)))
            << query.toStdString();
    }

    // A limit below the clips to work out gives no pack.
    EXPECT_FALSE(PackedClipTexts::repack(*first, changed, 3));
    EXPECT_TRUE(PackedClipTexts::repack(*first, changed, 4));
    // Nothing changed: nothing worked out, no block added.
    const std::shared_ptr<const PackedClipTexts> same = PackedClipTexts::repack(*second, changed);
    EXPECT_EQ(same->workedOutCount(), 0);
    EXPECT_EQ(same->blockCount(), second->blockCount());
}

TEST_F(PackedClipTextsTest, BlocksMostlyUnusedAreCopiedIntoNewOnes)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QList<ClipboardItem> items;
    const QString line = QString::fromUtf8("Stra\u00dfe ").repeated(100);
    for (int i = 0; i < 4000; ++i)
        items.append(textClip(line + QString::number(i)));
    const std::shared_ptr<const PackedClipTexts> first = PackedClipTexts::pack(items);
    ASSERT_GT(first->blockCount(), 4);
    EXPECT_EQ(first->blockBytes(), first->foldedBytes());

    // A third of the clips taken out: the blocks are kept as they are.
    QList<ClipboardItem> fewer = items;
    fewer.remove(0, 1300);
    const std::shared_ptr<const PackedClipTexts> second = PackedClipTexts::repack(*first, fewer);
    EXPECT_EQ(second->blockBytes(), first->blockBytes());
    EXPECT_EQ(second->workedOutCount(), 0);

    // More than half unused: only what is used is held, and searched the same.
    QList<ClipboardItem> fewest = fewer.mid(0, 1000);
    const std::shared_ptr<const PackedClipTexts> third = PackedClipTexts::repack(*second, fewest);
    EXPECT_EQ(third->blockBytes(), third->foldedBytes());
    EXPECT_LT(third->blockCount(), second->blockCount());
    ClipboardSearchTextCache reference;
    for (const QString& query : {QStringLiteral("strasse 1399"), QStringLiteral("ss 2"), QStringLiteral("e 23")}) {
        const ClipboardSearchCriteria criteria(query, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                               ClipboardSearchDateFilter::anyTime, false);
        EXPECT_EQ(packedMatches(*third, fewest, criteria),
                  ids(ClipboardSearch::filter(fewest, criteria, now, zone, reference)));
    }
}

TEST_F(PackedClipTextsTest, ClipsAddedOneAtATimeKeepFewBlocksAndLongTextsKeepTheirOwn)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Long texts that folding changes: a block each.
    QList<ClipboardItem> items;
    const QString longText = QString::fromUtf8("Stra\u00dfe ").repeated(10'000);
    for (int i = 0; i < 100; ++i)
        items.append(textClip(longText + QString::number(i)));
    std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(items);
    EXPECT_EQ(pack->blockCount(), 100);

    // A new clip at a time, each one folded: a small block each, merged now and then.
    qsizetype mostBlocks = 0;
    for (int i = 0; i < 200; ++i) {
        items.prepend(textClip(QString::fromUtf8("Gr\u00fc\u00dfe %1").arg(i)));
        pack = PackedClipTexts::repack(*pack, items);
        ASSERT_EQ(pack->workedOutCount(), 1);
        mostBlocks = std::max(mostBlocks, pack->blockCount());
    }
    EXPECT_LE(mostBlocks, 100 + 64 + 1);
    EXPECT_GT(mostBlocks, 100 + 1);
    ClipboardSearchTextCache reference;
    for (const QString& query : {QStringLiteral("grusse 1"), QStringLiteral("strasse 7"), QStringLiteral("e 9")}) {
        const ClipboardSearchCriteria criteria(query, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                               ClipboardSearchDateFilter::anyTime, false);
        EXPECT_EQ(packedMatches(*pack, items, criteria), ids(ClipboardSearch::filter(items, criteria, now, zone, reference)))
            << query.toStdString();
    }
}

TEST_F(PackedClipTextsTest, ListsThatAreNotSomeOfThePackedClipsInOrderHaveNoPlaces)
{
    const QList<ClipboardItem> items = {textClip(QStringLiteral("a")), textClip(QStringLiteral("b")),
                                        textClip(QStringLiteral("c"))};
    const std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(items);
    std::vector<quint32> places;
    EXPECT_TRUE(pack->placesOf({items[0], items[2]}, places));
    EXPECT_EQ(places, (std::vector<quint32>{0, 2}));
    EXPECT_FALSE(pack->placesOf({items[2], items[0]}, places));
    EXPECT_FALSE(pack->placesOf({items[0], textClip(QStringLiteral("a"))}, places));
    EXPECT_FALSE(pack->placesOf(items + items, places));
    // An equal list in storage of its own is not the pack's list, but all of its clips.
    const QList<ClipboardItem> copy(items.cbegin(), items.cend());
    EXPECT_FALSE(pack->isPackOf(copy));
    EXPECT_TRUE(pack->placesOf(copy, places));
}

} // namespace
} // namespace tolvi
