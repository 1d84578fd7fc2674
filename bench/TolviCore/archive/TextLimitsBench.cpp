// The capture limit's check on texts made to look short (one character of ten megabytes, a
// million joined emoji in seven characters) and on the longest ordinary text it lets in.

#include "TolviCore/archive/TextLimits.h"

#include <benchmark/benchmark.h>

using namespace tolvi;

namespace {

constexpr qint64 captureLimit = 50'000;

void run(benchmark::State& state, const QString& text, bool expected)
{
    for (auto _ : state) {
        const bool exceeds = TextLimits::exceedsCharacterLimit(text, captureLimit);
        if (exceeds != expected)
            state.SkipWithError("unexpected verdict");
        benchmark::DoNotOptimize(exceeds);
    }
}

void BM_OneCharacterOfFiveMillionAccents(benchmark::State& state)
{
    static const QString text = QStringLiteral("e") + QString(5'000'000, QChar(0x0301));
    run(state, text, true);
}
BENCHMARK(BM_OneCharacterOfFiveMillionAccents)->Unit(benchmark::kMicrosecond);

void BM_AMillionJoinedEmojiInSevenCharacters(benchmark::State& state)
{
    static const QString text = [] {
        const QString heart(QChar(0x2764));
        QString joined;
        for (int piece = 0; piece < 7; ++piece) {
            QString run = heart;
            for (int i = 0; i < 1'000'000 / 7; ++i)
                run += QChar(0x200D) + heart;
            joined += run + QLatin1Char(' ');
        }
        return joined;
    }();
    run(state, text, true);
}
BENCHMARK(BM_AMillionJoinedEmojiInSevenCharacters)->Unit(benchmark::kMicrosecond);

// 50,000 of the longest emoji sequences (15 code units each): at the limit, let in.
void BM_FiftyThousandLongestEmoji(benchmark::State& state)
{
    static const QString text =
        QString::fromUcs4(U"\U0001F469\U0001F3FD\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F468\U0001F3FF")
            .repeated(captureLimit);
    run(state, text, false);
}
BENCHMARK(BM_FiftyThousandLongestEmoji)->Unit(benchmark::kMillisecond);

void BM_FiftyThousandLetters(benchmark::State& state)
{
    static const QString text(captureLimit, QLatin1Char('a'));
    run(state, text, false);
}
BENCHMARK(BM_FiftyThousandLetters)->Unit(benchmark::kMicrosecond);

} // namespace
