#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include "TolviCore/model/ReferenceDate.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

#include <QRandomGenerator>

#include <cmath>
#include <limits>
#include <thread>

namespace tolvi {
namespace {

const QTimeZone berlin("Europe/Berlin");

double at(int y, int mo, int d, int h, int mi, const QTimeZone& zone = berlin)
{
    return ReferenceDate::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi), zone));
}

ClipboardItem textClip(const QString& text, double createdAt = 0, std::optional<ClipboardSourceApp> app = std::nullopt)
{
    return ClipboardItem(QUuid::createUuid(), text, createdAt, false, {}, std::move(app));
}

ClipboardItem imageClip(std::optional<QString> recognized, double createdAt = 0)
{
    return ClipboardItem(QUuid::createUuid(),
                         ClipboardContent::image(ClipboardImage(QByteArray("png-bytes"), QStringLiteral("public.png"),
                                                                1440, 900, std::move(recognized))),
                         createdAt);
}

ClipboardSearchCriteria criteria(const QString& query = QString(),
                                 ClipboardSearchContentFilter content = ClipboardSearchContentFilter::all,
                                 ClipboardSearchScope scope = ClipboardSearchScope::all(),
                                 ClipboardSearchDateFilter date = ClipboardSearchDateFilter::anyTime,
                                 bool requiresOCR = false, std::optional<QString> app = std::nullopt)
{
    return ClipboardSearchCriteria(query, content, scope, date, requiresOCR, std::move(app));
}

QStringList texts(const QList<ClipboardItem>& items)
{
    QStringList result;
    for (const ClipboardItem& item : items)
        result.append(item.content().isImage() ? QStringLiteral("<image>") : item.content().textValue());
    return result;
}

class ClipboardSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(berlin.isValid()) << "time zone data (tzdata) is missing";
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QStringList filtered(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& c, double now = 0,
                         const QTimeZone& zone = berlin)
    {
        return texts(ClipboardSearch::filter(items, c, now, zone));
    }
};

TEST_F(ClipboardSearchTest, CriteriaDerivedValuesAndRawValues)
{
    EXPECT_FALSE(criteria(QStringLiteral(" \n\t")).hasActiveQuery());
    EXPECT_FALSE(criteria(QStringLiteral(" \n\t")).hasAnyFilter());
    EXPECT_TRUE(criteria(QStringLiteral(" x ")).hasAnyFilter());
    EXPECT_TRUE(criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                         ClipboardSearchDateFilter::anyTime, false, QString())
                    .hasActiveNonQueryFilters());
    EXPECT_TRUE(criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::pinned()).hasActiveNonQueryFilters());
    EXPECT_EQ(ClipboardSearchScope::pinboard(QUuid::fromString(u"11111111-1111-1111-1111-111111111111")),
              ClipboardSearchScope::pinboard(QUuid::fromString(u"11111111-1111-1111-1111-111111111111")));
    EXPECT_FALSE(ClipboardSearchScope::pinboard(QUuid::createUuid()) == ClipboardSearchScope::pinboard(QUuid::createUuid()));

    QStringList raw;
    for (auto f : ClipboardSearchFilters::allContentFilters()) {
        raw.append(ClipboardSearchFilters::rawValue(f));
        EXPECT_EQ(ClipboardSearchFilters::contentFilter(raw.last()), f);
    }
    for (auto f : ClipboardSearchFilters::allDateFilters()) {
        raw.append(ClipboardSearchFilters::rawValue(f));
        EXPECT_EQ(ClipboardSearchFilters::dateFilter(raw.last()), f);
    }
    EXPECT_EQ(raw, QStringList({"all", "text", "images", "links", "code", "anyTime", "today", "last7Days", "last30Days"}));
    EXPECT_FALSE(ClipboardSearchFilters::contentFilter(u"Links"));
    EXPECT_FALSE(ClipboardSearchFilters::dateFilter(u"yesterday"));
}

TEST_F(ClipboardSearchTest, BlankQueryWithoutFiltersReturnsTheSameList)
{
    const QList<ClipboardItem> items = {textClip("a"), imageClip(std::nullopt)};
    const QList<ClipboardItem> result = ClipboardSearch::filter(items, criteria(QStringLiteral("  \n ")), 0, berlin);
    EXPECT_TRUE(result.isSharedWith(items));
}

TEST_F(ClipboardSearchTest, QueryIgnoresCaseButNotDiacritics)
{
    const QList<ClipboardItem> items = {textClip(QString::fromUtf8("Gro\u00dfe Stra\u00dfe")), textClip("cafe"),
                                        textClip(QString::fromUtf8("Caf\u00e9 au lait")), textClip("Hello World")};
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("  STRASSE\n"))), QStringList{QString::fromUtf8("Gro\u00dfe Stra\u00dfe")});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("CAFE"))), QStringList{"cafe"});
    EXPECT_EQ(filtered(items, criteria(QString::fromUtf8("caf\u00c9"))), QStringList{QString::fromUtf8("Caf\u00e9 au lait")});
    // Canonically equivalent forms match each other.
    EXPECT_EQ(filtered(items, criteria(QString::fromUtf8("cafe\u0301"))), QStringList{QString::fromUtf8("Caf\u00e9 au lait")});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("o w"))), QStringList{"Hello World"});
    EXPECT_TRUE(filtered(items, criteria(QStringLiteral("zebra"))).isEmpty());
}

TEST_F(ClipboardSearchTest, QueryMatchesSourceApplicationAndImageSearchText)
{
    const QList<ClipboardItem> items = {
        textClip("quarterly numbers", 0, ClipboardSourceApp(QStringLiteral("Numbers Pro"), QStringLiteral("org.example.sheets"))),
        textClip("unrelated", 0, ClipboardSourceApp(QStringLiteral("Mail"))),
        imageClip(QStringLiteral("Invoice 42")),
    };
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("numbers pro"))), QStringList{"quarterly numbers"});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("EXAMPLE.SHE"))), QStringList{"quarterly numbers"});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("mail"))), QStringList{"unrelated"});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("invoice"))), QStringList{"<image>"});
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("1440 x 900"))), QStringList{"<image>"});
}

TEST_F(ClipboardSearchTest, LongTextsFindEveryOccurrence)
{
    // Long clips are first checked by the byte pairs they contain; that check may never hide a match.
    QString filler;
    for (int i = 0; i < 300; ++i)
        filler += QStringLiteral("lorem ipsum ");
    const QList<ClipboardItem> items = {
        textClip(filler + QString::fromUtf8("Gr\u00fc\u00dfe aus K\u00f6ln") + filler),
        textClip(QStringLiteral("x") + filler + QStringLiteral("Z")),
        textClip(filler),
    };
    EXPECT_EQ(filtered(items, criteria(QString::fromUtf8("GR\u00dcSSE"))).size(), 1);
    EXPECT_EQ(filtered(items, criteria(QString::fromUtf8("k\u00f6ln"))).size(), 1);
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("z"))).size(), 1);
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("ipsum lorem"))).size(), 3);
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("ipsum  lorem"))).size(), 0);
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("xlorem"))).size(), 1);
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("loremx"))).size(), 0);
}

TEST_F(ClipboardSearchTest, EditedClipsAreSearchedByTheirNewContent)
{
    ClipboardSearchTextCache cache;
    QList<ClipboardItem> items = {textClip("alpha"), imageClip(std::nullopt)};
    auto search = [&](const QString& q) { return texts(ClipboardSearch::filter(items, criteria(q), 0, berlin, cache)); };
    EXPECT_EQ(search("alpha"), QStringList{"alpha"});
    EXPECT_EQ(search("receipt"), QStringList());

    items[0].setContent(ClipboardContent::text(QStringLiteral("beta")));
    items[1].content().imageValue().setRecognizedText(QStringLiteral("Receipt total"));
    EXPECT_EQ(search("alpha"), QStringList());
    EXPECT_EQ(search("beta"), QStringList{"beta"});
    EXPECT_EQ(search("receipt"), QStringList{"<image>"});

    items[0].setSourceApp(ClipboardSourceApp(QStringLiteral("Terminal")));
    EXPECT_EQ(search("terminal"), QStringList{"beta"});
    EXPECT_EQ(cache.size(), 2);
}

TEST_F(ClipboardSearchTest, ScopesSelectBoardsPinsAndImages)
{
    const QUuid board = QUuid::createUuid();
    ClipboardItem onBoard(QUuid::createUuid(), QStringLiteral("on board"), 0, true, {board});
    ClipboardItem pinned(QUuid::createUuid(), QStringLiteral("pinned"), 0, true);
    ClipboardItem plain = textClip("plain");
    ClipboardItem image = imageClip(std::nullopt);
    const QList<ClipboardItem> items = {onBoard, pinned, plain, image};

    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::pinboard(board))),
              QStringList{"on board"});
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::pinned())),
              QStringList({"on board", "pinned"}));
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::screenshots())),
              QStringList{"<image>"});
    // Scope, content filter and query together.
    EXPECT_EQ(filtered(items, criteria(QStringLiteral("PIN"), ClipboardSearchContentFilter::text, ClipboardSearchScope::pinned())),
              QStringList{"pinned"});
    EXPECT_TRUE(filtered(items, criteria(QStringLiteral("plain"), ClipboardSearchContentFilter::text,
                                         ClipboardSearchScope::pinned())).isEmpty());
}

TEST_F(ClipboardSearchTest, SourceApplicationMatchesItsSearchIdentifierExactly)
{
    const QList<ClipboardItem> items = {
        textClip("bundled", 0, ClipboardSourceApp(QStringLiteral("Notes"), QStringLiteral("org.example.notes"))),
        textClip("named", 0, ClipboardSourceApp(QStringLiteral("Notes"))),
        textClip("empty id", 0, ClipboardSourceApp(QStringLiteral("Other"), QString())),
        textClip("no app"),
    };
    auto byApp = [&](std::optional<QString> id) {
        return filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                        ClipboardSearchDateFilter::anyTime, false, id));
    };
    EXPECT_EQ(byApp(QStringLiteral("org.example.notes")), QStringList{"bundled"});
    EXPECT_EQ(byApp(QStringLiteral("Notes")), QStringList{"named"});
    EXPECT_EQ(byApp(QString()), QStringList{"empty id"});
    EXPECT_TRUE(byApp(QStringLiteral("notes")).isEmpty());
}

TEST_F(ClipboardSearchTest, RecognisedTextAndContentFilters)
{
    const QList<ClipboardItem> items = {
        imageClip(QStringLiteral("Total 12")), imageClip(QStringLiteral(" \n ")), imageClip(std::nullopt),
        textClip("https://example.com/a"), textClip("see https://example.com/a"), textClip("let x = 1"),
        textClip("{\"a\": 1}"), textClip("Let me know"), textClip("letter {"),
    };
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                       ClipboardSearchDateFilter::anyTime, true)),
              QStringList{"<image>"});
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::links)), QStringList{"https://example.com/a"});
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::code)), QStringList({"let x = 1", "{\"a\": 1}"}));
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::images)).size(), 3);
    EXPECT_EQ(filtered(items, criteria({}, ClipboardSearchContentFilter::text)).size(), 6);
}

TEST_F(ClipboardSearchTest, LooksLikeCodeTokens)
{
    EXPECT_TRUE(ClipboardSearch::looksLikeCode(u"  let x = 1"));
    EXPECT_TRUE(ClipboardSearch::looksLikeCode(u"{\"a\":1}"));
    EXPECT_TRUE(ClipboardSearch::looksLikeCode(u"a => b"));
    EXPECT_TRUE(ClipboardSearch::looksLikeCode(u"} then {"));
    EXPECT_TRUE(ClipboardSearch::looksLikeCode(u"</div>"));
    EXPECT_FALSE(ClipboardSearch::looksLikeCode(u"Let it be"));
    EXPECT_FALSE(ClipboardSearch::looksLikeCode(u"letter"));
    EXPECT_FALSE(ClipboardSearch::looksLikeCode(u"only { here"));
    EXPECT_FALSE(ClipboardSearch::looksLikeCode(u"   \n"));
    EXPECT_FALSE(ClipboardSearch::looksLikeCode(u"function"));
}

// Berlin moves its clocks forward on 2026-03-29 and back on 2026-10-25.
TEST_F(ClipboardSearchTest, DateFiltersFollowTheCalendarAcrossDaylightSavingChanges)
{
    auto kept = [&](ClipboardSearchDateFilter filter, double now, QList<double> times) {
        QList<ClipboardItem> items;
        for (double t : times)
            items.append(textClip(QString::number(items.size()), t));
        QList<int> indices;
        for (const ClipboardItem& item : ClipboardSearch::filter(items, criteria({}, ClipboardSearchContentFilter::all,
                                                                                 ClipboardSearchScope::all(), filter),
                                                                 now, berlin))
            indices.append(item.content().textValue().toInt());
        return indices;
    };
    using F = ClipboardSearchDateFilter;

    // Seven calendar days back over the spring change is 167 hours, at the same wall-clock time.
    const double springNow = at(2026, 4, 2, 10, 0);
    EXPECT_EQ(kept(F::last7Days, springNow, {at(2026, 3, 26, 10, 0), at(2026, 3, 26, 9, 59), springNow - 7 * 86400.0,
                                             springNow + 3600}),
              QList<int>({0, 3}));
    // Over the autumn change it is 169 hours.
    const double autumnNow = at(2026, 10, 30, 10, 0);
    EXPECT_EQ(kept(F::last7Days, autumnNow, {at(2026, 10, 23, 10, 0), at(2026, 10, 23, 9, 59), autumnNow - 7 * 86400.0}),
              QList<int>({0, 2}));
    EXPECT_EQ(kept(F::last30Days, springNow, {at(2026, 3, 3, 10, 0), at(2026, 3, 3, 9, 59)}), QList<int>({0}));

    // The day of the spring change is 23 hours long, the autumn one 25.
    const double springDay = at(2026, 3, 29, 12, 0);
    EXPECT_EQ(kept(F::today, springDay, {at(2026, 3, 29, 0, 0), at(2026, 3, 28, 23, 59), at(2026, 3, 29, 23, 59),
                                         at(2026, 3, 30, 0, 0)}),
              QList<int>({0, 2}));
    const double autumnDay = at(2026, 10, 25, 12, 0);
    EXPECT_EQ(kept(F::today, autumnDay, {at(2026, 10, 25, 0, 0), at(2026, 10, 25, 23, 59), at(2026, 10, 26, 0, 0),
                                         at(2026, 10, 25, 0, 0) - 0.001}),
              QList<int>({0, 1}));
    // The same instant is another day in another zone.
    EXPECT_EQ(kept(F::today, at(2026, 6, 1, 0, 30), {at(2026, 5, 31, 23, 0)}), QList<int>());
    EXPECT_EQ(kept(F::anyTime, springNow, {1e300, -1e300}), QList<int>({0, 1}));
}

TEST_F(ClipboardSearchTest, TimesThatAreNotNumbersFailDateFiltersWithoutHarm)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QList<ClipboardItem> items = {textClip("nan", nan), textClip("inf", inf), textClip("far past", -inf),
                                        textClip("recent", at(2026, 4, 2, 9, 0))};
    const double now = at(2026, 4, 2, 10, 0);
    for (auto filter : {ClipboardSearchDateFilter::today, ClipboardSearchDateFilter::last7Days}) {
        const QStringList result = filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(), filter), now);
        EXPECT_TRUE(result.contains("recent"));
        EXPECT_FALSE(result.contains("nan"));
        EXPECT_FALSE(result.contains("far past"));
    }
    // A clock that is not a number matches nothing by date rather than everything.
    EXPECT_TRUE(filtered(items, criteria({}, ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                         ClipboardSearchDateFilter::today), nan).isEmpty());
}

TEST_F(ClipboardSearchTest, MatchesAgreesWithFilter)
{
    const ClipboardItem item = textClip("Quarterly report", 0, ClipboardSourceApp(QStringLiteral("Docs")));
    EXPECT_TRUE(ClipboardSearch::matches(item, criteria(QStringLiteral("REPORT")), 0, berlin));
    EXPECT_TRUE(ClipboardSearch::matches(item, criteria(QString()), 0, berlin));
    EXPECT_FALSE(ClipboardSearch::matches(item, criteria(QStringLiteral("report"), ClipboardSearchContentFilter::images), 0, berlin));
}

// What a query match means, worked out the plain way: the clip's whole searchable text (content,
// then the source application's name and bundle identifier) folded, and the folded query in it.
bool plainMatch(const ClipboardItem& item, const QString& query)
{
    QString searchable = item.content().searchText();
    if (const auto& app = item.sourceApp()) {
        searchable += QLatin1Char(' ') + app->name();
        if (app->bundleIdentifier())
            searchable += QLatin1Char(' ') + *app->bundleIdentifier();
    }
    const QByteArray folded = ClipboardSearchTextCache::foldedForMatching(query.trimmed(), QLocale());
    return folded.isEmpty() || ClipboardSearchTextCache::foldedForMatching(searchable, QLocale()).contains(folded);
}

// Texts mixing what caseless matching must get right: ASCII of both cases, texts that folding
// leaves alone and texts it changes (sharp s, combining marks, the Turkic i's, title-case and
// Kelvin signs), emoji and a lone surrogate; images with recognised text; source applications.
QList<ClipboardItem> mixedClips(QRandomGenerator& random)
{
    const QStringList pieces = {QStringLiteral("Invoice"), QStringLiteral("invoice"), QStringLiteral("STRASSE"),
                                QString::fromUtf8("stra\u00dfe"), QString::fromUtf8("Stra\u00dfe"),
                                QString::fromUtf8("caf\u00e9"), QString::fromUtf8("CAF\u00c9"),
                                QString::fromUtf8("cafe\u0301"), QString::fromUtf8("\u0130stanbul"),
                                QStringLiteral("ISTANBUL"), QString::fromUtf8("\u0131rmak"), QStringLiteral("Ice"),
                                QString::fromUtf8("\u4e2d\u6587"), QString::fromUtf8("\U0001F44D"),
                                QString(QChar(0xD83D)), QString::fromUtf8("\u01c5x"), QString::fromUtf8("\u212a"),
                                QStringLiteral("team"), QStringLiteral(" "), QStringLiteral("\n"),
                                QStringLiteral("{x}"), QStringLiteral("Term")};
    const std::vector<std::optional<ClipboardSourceApp>> apps = {
        std::nullopt, ClipboardSourceApp(QStringLiteral("Terminal"), QStringLiteral("org.gnome.Terminal")),
        ClipboardSourceApp(QString::fromUtf8("Caf\u00e9 Notes")),
        ClipboardSourceApp(QString::fromUtf8("\u0130z"), QStringLiteral("tr.example.IZ")),
        ClipboardSourceApp(QStringLiteral("Mail"), QString())};
    QList<ClipboardItem> items;
    for (int i = 0; i < 400; ++i) {
        const auto& app = apps[size_t(random.bounded(int(apps.size())))];
        if (i % 25 == 0) {
            std::optional<QString> recognized;
            if (i % 50 == 0)
                recognized = pieces[random.bounded(int(pieces.size()))] + QStringLiteral(" Total");
            ClipboardItem image(QUuid::createUuid(),
                                ClipboardContent::image(ClipboardImage(QByteArray("png"), QStringLiteral("public.png"),
                                                                       640, 480, recognized)),
                                0, false, {}, app);
            items.append(image);
            continue;
        }
        QString text;
        const int count = 1 + int(random.bounded(6));
        // Some texts of a single kind only, so that every kind of text is met on its own.
        const int only = i % 3 == 0 ? int(random.bounded(int(pieces.size()))) : -1;
        for (int w = 0; w < count; ++w)
            text += pieces[only >= 0 ? only : random.bounded(int(pieces.size()))];
        items.append(textClip(text, 0, app));
    }
    return items;
}

// Queries: fixed ones that test folding, and pieces of the clips' own searchable texts (across
// the joint of content and application too) in changed letter case.
QStringList mixedQueries(const QList<ClipboardItem>& items, QRandomGenerator& random)
{
    QStringList queries = {QStringLiteral("strasse"), QString::fromUtf8("\u00df"), QStringLiteral("i"),
                           QString::fromUtf8("\u0131"), QStringLiteral("I"), QString::fromUtf8("\u0130"),
                           QStringLiteral("ice"), QStringLiteral("ICE"), QString::fromUtf8("\u00e9"),
                           QString::fromUtf8("e\u0301"), QString::fromUtf8("\u0301"), QStringLiteral("k"),
                           QString::fromUtf8("\U0001F44D"), QString(QChar(0xD83D)), QStringLiteral("e terminal"),
                           QStringLiteral("m org"), QString::fromUtf8("\u01c6"), QStringLiteral("term"),
                           QStringLiteral("mail "), QStringLiteral("x} "), QStringLiteral("image 640"),
                           QStringLiteral("total"), QStringLiteral("zzz")};
    for (int i = 0; i < 120; ++i) {
        const ClipboardItem& item = items.at(random.bounded(int(items.size())));
        QString searchable = item.content().searchText();
        if (item.sourceApp())
            searchable += QLatin1Char(' ') + item.sourceApp()->name();
        const int from = int(random.bounded(int(searchable.size())));
        QString piece = searchable.mid(from, 1 + int(random.bounded(12)));
        queries.append(i % 2 ? piece.toUpper() : piece);
    }
    return queries;
}

TEST_F(ClipboardSearchTest, QueryMatchesAreThoseOfTheWholeFoldedSearchableText)
{
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Turkish, QLocale::Turkey), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        QRandomGenerator random(17);
        const QList<ClipboardItem> items = mixedClips(random);
        // One cache left to work everything out as it searches, one prepared beforehand on
        // another thread.
        ClipboardSearchTextCache searched;
        ClipboardSearchTextCache prepared;
        std::vector<qsizetype> all(size_t(items.size()));
        for (qsizetype i = 0; i < items.size(); ++i)
            all[size_t(i)] = i;
        std::thread([&] { prepared.prepare(items, all); }).join();
        EXPECT_EQ(prepared.size(), items.size());

        for (const QString& query : mixedQueries(items, random)) {
            QStringList expected;
            for (const ClipboardItem& item : items) {
                if (plainMatch(item, query))
                    expected.append(item.id().toString());
            }
            for (ClipboardSearchTextCache* cache : {&searched, &prepared}) {
                QStringList found;
                for (const ClipboardItem& item : ClipboardSearch::filter(items, criteria(query), 0, berlin, *cache))
                    found.append(item.id().toString());
                ASSERT_EQ(found, expected) << locale.name().toStdString() << " query " << query.toStdString();
            }
        }
    }
}

TEST_F(ClipboardSearchTest, OnlyTextsThatFoldingChangesKeepAFoldedCopy)
{
    ClipboardSearchTextCache cache;
    QList<ClipboardItem> items = {textClip("Invoice 42 for ACME"), textClip(QString::fromUtf8("caf\u00e9 \u4e2d\u6587")),
                                  textClip("lower case only")};
    ClipboardSearch::filter(items, criteria(QStringLiteral("x")), 0, berlin, cache);
    EXPECT_EQ(cache.size(), 3);
    EXPECT_EQ(cache.foldedBytes(), 0);

    items.append(textClip(QString::fromUtf8("Caf\u00e9")));
    EXPECT_EQ(filtered(items, criteria(QString::fromUtf8("CAF\u00c9"))).size(), 2);
    ClipboardSearch::filter(items, criteria(QStringLiteral("x")), 0, berlin, cache);
    EXPECT_EQ(cache.foldedBytes(), QString::fromUtf8("caf\u00e9").toUtf8().size());

    // In Turkish a capital I folds to a dotless i: an ASCII text with one is folded too.
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    items = {textClip("Invoice"), textClip("invoice")};
    EXPECT_EQ(texts(ClipboardSearch::filter(items, criteria(QStringLiteral("inv")), 0, berlin, cache)),
              QStringList{"invoice"});
    EXPECT_EQ(cache.foldedBytes(), QByteArray("\xC4\xB1nvoice").size());
}

TEST_F(ClipboardSearchTest, EntriesOfClipsThatAreGoneAreDropped)
{
    ClipboardSearchTextCache cache;
    QList<ClipboardItem> items = {textClip(QStringLiteral("kept")),
                                  textClip(QString::fromUtf8("Gone caf\u00e9")), imageClip(QStringLiteral("gone"))};
    ClipboardSearch::filter(items, criteria(QStringLiteral("x")), 0, berlin, cache);
    ASSERT_EQ(cache.size(), 3);
    const QList<ClipboardItem> narrowed = items.mid(0, 1);
    items.clear();
    // Clips still held are kept however long no search looks at them.
    for (quint64 i = 0; i < 2 * ClipboardSearchTextCache::sweepInterval; ++i)
        ClipboardSearch::filter(QList<ClipboardItem>{}, criteria(QStringLiteral("x")), 0, berlin, cache);
    EXPECT_EQ(cache.size(), 1);
    EXPECT_EQ(cache.foldedBytes(), 0);
    EXPECT_EQ(texts(ClipboardSearch::filter(narrowed, criteria(QStringLiteral("KEPT")), 0, berlin, cache)),
              QStringList{"kept"});
}

} // namespace
} // namespace tolvi
