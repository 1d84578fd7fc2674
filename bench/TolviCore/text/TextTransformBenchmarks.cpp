// Every transform on a 1 MB text of 50,000 lines (target: under 50 ms each), and the list of
// transforms offered for a 50,000-character text (target: under 1 ms).
#include "TolviCore/text/TextTransform.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>

#include <benchmark/benchmark.h>

namespace {

using tolvi::TextTransform;

const QStringList& vocabulary()
{
    static const QStringList words = {
        "the", "Quick", "brown", "FOX", "jumps", "over", "lazy", "dog", "lorem", "ipsum", "dolor", "sit", "amet",
        QString::fromUtf8("caf\u00e9"), QString::fromUtf8("na\u00efve"), QString::fromUtf8("Stra\u00dfe"), "item",
        "42", "7", "const", "value", "Hello.", "why?", "ok!", "\"quoted\"", "x=1", QString::fromUtf8("\u65e5\u672c"),
    };
    return words;
}

// Lines of about 20 characters with repeated lines, blank runs and mixed line endings.
QString textOfLines(int lines, int seed)
{
    QRandomGenerator random(seed);
    const QStringList& words = vocabulary();
    QString text;
    text.reserve(lines * 22);
    for (int i = 0; i < lines; ++i) {
        if (random.bounded(20) == 0)
            text += QStringLiteral("  ");
        const int count = 2 + int(random.bounded(3));
        for (int w = 0; w < count; ++w) {
            if (w > 0)
                text += random.bounded(10) == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
            text += words[int(random.bounded(words.size()))];
        }
        text += random.bounded(10) == 0 ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }
    return text;
}

const QString& megabyteText()
{
    static const QString text = [] {
        QString t = textOfLines(50000, 1);
        return t; // about one million characters in 50,000 lines
    }();
    return text;
}

const QString& megabyteJSON()
{
    static const QString json = [] {
        QString t = QStringLiteral("[");
        int i = 0;
        while (t.size() < 1'000'000) {
            if (i > 0)
                t += QLatin1Char(',');
            t += QStringLiteral("{\"id\":%1,\"name\":\"item %1\",\"big\":123456789012345678901234567890,\"tags\":[\"a\",\"b\"],\"ok\":true}")
                     .arg(i++);
        }
        return t + QLatin1Char(']');
    }();
    return json;
}

void BM_Transform(benchmark::State& state)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const TextTransform transform(TextTransform::Case(state.range(0)));
    const QString& text = megabyteText();
    state.SetLabel(transform.rawValue().toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(transform.apply(text));
}
BENCHMARK(BM_Transform)->DenseRange(0, TextTransform::caseCount - 1)->Unit(benchmark::kMillisecond);

void BM_PrettyJSONOfAMegabyteDocument(benchmark::State& state)
{
    const QString& json = megabyteJSON();
    for (auto _ : state)
        benchmark::DoNotOptimize(TextTransform(TextTransform::prettyJSON).apply(json));
}
BENCHMARK(BM_PrettyJSONOfAMegabyteDocument)->Unit(benchmark::kMillisecond);

void BM_AvailableForFiftyThousandCharacters(benchmark::State& state)
{
    // 0: prose, 1: a JSON document, 2: a long web address.
    QString text;
    if (state.range(0) == 0) {
        text = textOfLines(3000, 2).left(50000);
    } else if (state.range(0) == 1) {
        text = megabyteJSON().left(49990);
        text = text.left(text.lastIndexOf(QStringLiteral(",{"))) + QLatin1Char(']');
    } else {
        text = QStringLiteral("https://example.com/path?") + QString(50000 - 30, QChar(u'a')) + QStringLiteral("&x=1");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(TextTransform::available(text));
    state.SetLabel(std::to_string(text.size()) + " chars, " + std::to_string(TextTransform::available(text).size()) + " offered");
}
BENCHMARK(BM_AvailableForFiftyThousandCharacters)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

} // namespace
