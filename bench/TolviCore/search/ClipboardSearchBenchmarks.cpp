// Filtering the history on a keystroke: 10,000 clips, 70% text of 10 to 50,000 characters on a
// log scale and 30% images with recognised text, for a one-word query that matches nothing
// (target: median under 10 ms, with and without the date, type and application filters).
// The packed search on one thread: packing that history and 100,000 short texts, a pack made
// again after one new clip, and scanning a pack for a miss and for a one-letter query.
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/search/PackedClipTexts.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace tolvi;

const QStringList& vocabulary()
{
    static const QStringList words = {
        "the", "Quick", "brown", "fox", "jumps", "over", "lazy", "dog", "lorem", "ipsum", "dolor", "sit", "amet",
        "consectetur", "adipiscing", "elit", "Invoice", "total", "meeting", "notes", "function", "return", "const",
        "value", "error", "window", "clipboard", "history", QString::fromUtf8("caf\u00e9"),
        QString::fromUtf8("Stra\u00dfe"), "https://example.com/a?b=1", "{", "}", "2026", "42", "\n", "\n\n",
    };
    return words;
}

QString randomText(QRandomGenerator& random, int length)
{
    const QStringList& words = vocabulary();
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        text += words[int(random.bounded(words.size()))];
        text += QLatin1Char(' ');
    }
    text.truncate(length);
    return text;
}

const QList<ClipboardItem>& history()
{
    static const QList<ClipboardItem> items = [] {
        QRandomGenerator random(7);
        const QStringList apps = {"Terminal", "Browser", "Editor", "Mail", "Chat"};
        const double now = ReferenceDate::now();
        QList<ClipboardItem> list;
        list.reserve(10000);
        for (int i = 0; i < 10000; ++i) {
            const double createdAt = now - random.bounded(60.0 * 86400.0);
            const QString app = apps[int(random.bounded(apps.size()))];
            ClipboardSourceApp source(app, QStringLiteral("org.example.") + app.toLower());
            if (random.bounded(10) < 7) {
                const int length = int(std::lround(10.0 * std::pow(5000.0, random.generateDouble())));
                list.append(ClipboardItem(QUuid::createUuid(), randomText(random, length), createdAt, false, {}, source));
            } else {
                const QString ocr = randomText(random, 200 + int(random.bounded(1800)));
                ClipboardImage image(QByteArray(64, char(i)), QStringLiteral("public.png"), 1440, 900, ocr);
                list.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image), createdAt, false, {}, source));
            }
        }
        return list;
    }();
    return items;
}

ClipboardSearchCriteria missCriteria(bool withFilters, const QString& word = QStringLiteral("zeppelin"))
{
    if (!withFilters)
        return ClipboardSearchCriteria(word, ClipboardSearchContentFilter::all,
                                       ClipboardSearchScope::all(), ClipboardSearchDateFilter::anyTime, false);
    return ClipboardSearchCriteria(word, ClipboardSearchContentFilter::text,
                                   ClipboardSearchScope::all(), ClipboardSearchDateFilter::last30Days, false,
                                   QStringLiteral("org.example.editor"));
}

void BM_FilterMiss(benchmark::State& state)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QList<ClipboardItem>& items = history();
    const ClipboardSearchCriteria criteria = missCriteria(state.range(0) != 0);
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const double now = ReferenceDate::now();
    ClipboardSearch::filter(items, missCriteria(false), now, zone); // fold every clip once
    qint64 characters = 0;
    for (const ClipboardItem& item : items)
        characters += item.content().searchText().size();
    for (auto _ : state)
        benchmark::DoNotOptimize(ClipboardSearch::filter(items, criteria, now, zone));
    state.SetLabel(std::to_string(characters / 1000000) + "M characters" + (state.range(0) ? ", filters on" : ""));
}
BENCHMARK(BM_FilterMiss)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The worst case for a miss: every byte pair of "dolorem" occurs in the long clips ("dolor",
// "lorem"), so their whole text is searched.
void BM_FilterMissWithCommonPairs(benchmark::State& state)
{
    const QList<ClipboardItem>& items = history();
    const ClipboardSearchCriteria criteria = missCriteria(state.range(0) != 0, QStringLiteral("dolorem"));
    const double now = ReferenceDate::now();
    ClipboardSearch::filter(items, missCriteria(false), now, QTimeZone::systemTimeZone());
    for (auto _ : state)
        benchmark::DoNotOptimize(ClipboardSearch::filter(items, criteria, now, QTimeZone::systemTimeZone()));
    state.SetLabel(state.range(0) ? "filters on" : "");
}
BENCHMARK(BM_FilterMissWithCommonPairs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_FilterHitAndCodeFilter(benchmark::State& state)
{
    const QList<ClipboardItem>& items = history();
    const ClipboardSearchCriteria criteria(QStringLiteral("invoice"), ClipboardSearchContentFilter::code,
                                           ClipboardSearchScope::all(), ClipboardSearchDateFilter::last7Days, false);
    const double now = ReferenceDate::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(ClipboardSearch::filter(items, criteria, now, QTimeZone::systemTimeZone()));
}
BENCHMARK(BM_FilterHitAndCodeFilter)->Unit(benchmark::kMillisecond);

// The first keystroke after start folds every clip; later ones reuse the folds.
void BM_FirstQueryFoldsEveryClip(benchmark::State& state)
{
    const QList<ClipboardItem>& items = history();
    const double now = ReferenceDate::now();
    for (auto _ : state) {
        ClipboardSearchTextCache cache;
        benchmark::DoNotOptimize(ClipboardSearch::filter(items, missCriteria(false), now, QTimeZone::systemTimeZone(), cache));
    }
}
BENCHMARK(BM_FirstQueryFoldsEveryClip)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100,000 texts of 3 to 42 words, as the history window's benchmark has them.
const QList<ClipboardItem>& shortHistory()
{
    static const QList<ClipboardItem> items = [] {
        QRandomGenerator random(7);
        const QStringList words = {"invoice", "meeting", "deploy", "quarterly", "panel",  "customer",
                                   "pricing", "release", "notes",  "kitchen",   "garden", "parcel"};
        const double now = ReferenceDate::now();
        QList<ClipboardItem> list;
        for (int i = 0; i < 100'000; ++i) {
            QString text;
            const int count = 3 + int(random.bounded(40));
            for (int w = 0; w < count; ++w) {
                if (w)
                    text += w % 13 == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
                text += words[int(random.bounded(words.size()))] + QString::number(random.bounded(1000));
            }
            list.append(ClipboardItem(QUuid::createUuid(), text, now - i * 30.0));
        }
        return list;
    }();
    return items;
}

const QList<ClipboardItem>& historyFor(const benchmark::State& state)
{
    return state.range(0) ? shortHistory() : history();
}

void BM_PackHistory(benchmark::State& state)
{
    const QList<ClipboardItem>& items = historyFor(state);
    qsizetype folded = 0;
    for (auto _ : state)
        folded = PackedClipTexts::pack(items)->foldedBytes();
    state.SetLabel(state.range(0) ? "short_100k" : "texts_and_images_10k");
    state.counters["folded_MB"] = double(folded) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PackHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RepackAfterOneNewClip(benchmark::State& state)
{
    const QList<ClipboardItem>& items = historyFor(state);
    const std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(items);
    QList<ClipboardItem> changed = items;
    changed.prepend(ClipboardItem(QString::fromUtf8("Caf\u00e9 Stra\u00dfe")));
    for (auto _ : state)
        benchmark::DoNotOptimize(PackedClipTexts::repack(*pack, changed));
    state.SetLabel(state.range(0) ? "short_100k" : "texts_and_images_10k");
}
BENCHMARK(BM_RepackAfterOneNewClip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One thread scanning the whole pack: for a word that matches nothing, and for "p".
void BM_PackedScan(benchmark::State& state)
{
    const QList<ClipboardItem>& items = historyFor(state);
    const std::shared_ptr<const PackedClipTexts> pack = PackedClipTexts::pack(items);
    const ClipboardSearchCriteria criteria(state.range(1) ? QStringLiteral("p") : QStringLiteral("zeppelin"),
                                           ClipboardSearchContentFilter::all, ClipboardSearchScope::all(),
                                           ClipboardSearchDateFilter::anyTime, false);
    const ClipboardSearch::PackedSearch search(*pack, criteria, ReferenceDate::now(), QTimeZone::systemTimeZone());
    std::vector<quint32> matched;
    matched.reserve(size_t(items.size()));
    for (auto _ : state) {
        matched.clear();
        search.match(nullptr, 0, quint32(items.size()), matched);
        benchmark::DoNotOptimize(matched.data());
    }
    const std::string history = state.range(0) ? "short_100k" : "texts_and_images_10k";
    state.SetLabel(history + (state.range(1) ? " p" : " miss"));
    state.counters["matched"] = double(matched.size());
}
BENCHMARK(BM_PackedScan)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_MetadataAndPreviewOfLongText(benchmark::State& state)
{
    const ClipboardItem item(QUuid::createUuid(), QString(50000, QChar(u'x')), ReferenceDate::now() - 30 * 86400.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ClipboardFormatter::menuPreview(item, 80));
        benchmark::DoNotOptimize(ClipboardFormatter::metadata(item, ReferenceDate::now()));
    }
}
BENCHMARK(BM_MetadataAndPreviewOfLongText)->Unit(benchmark::kMicrosecond);

} // namespace
