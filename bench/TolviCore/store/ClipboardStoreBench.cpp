// Recording and eviction on large histories.
//
// The persistence here accepts queued saves and lets go of each state at once, as the history
// file's writer does once a write is done, so the figures are the store's own work on the main
// thread, including handing the whole state to the save queue.

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <thread>

using namespace tolvi;

namespace {

class DiscardingPersistence : public ClipboardHistoryAsyncPersisting {
public:
    ClipboardHistoryState initial;
    qint64 saves = 0;

    // A list of its own: sharing the benchmark's copy would make the store's first change copy
    // the whole history. Built from the back so that it has room at the front, as the store's list
    // has after its first insertion (the one-time growth is not what these figures are about).
    ClipboardHistoryState load() override
    {
        ClipboardHistoryState state{{}, initial.pinboards};
        for (auto it = initial.items.crbegin(); it != initial.items.crend(); ++it)
            state.items.prepend(*it);
        return state;
    }
    void save(const ClipboardHistoryState&) override { ++saves; }
    void enqueueSave(const ClipboardHistoryState&, SaveCompletion completion) override
    {
        ++saves;
        completion(SaveResult::success());
    }
    void flush() override {}
};

ClipboardHistoryState historyOf(qsizetype count, qsizetype pinned = 20)
{
    ClipboardHistoryState state;
    state.pinboards = DefaultPinboards::all();
    state.items.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        state.items.append(ClipboardItem(QUuid::createUuid(),
                                         QStringLiteral("clip number %1 with some ordinary text in it").arg(i),
                                         1'000'000.0 + double(i), i < pinned));
    }
    return state;
}

ClipboardStore::Configuration unbounded()
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = std::nullopt;
    return configuration;
}

void BM_RecordNewText(benchmark::State& state)
{
    auto persistence = std::make_shared<DiscardingPersistence>();
    persistence->initial = historyOf(state.range(0));
    ClipboardStore store(persistence, unbounded());
    double now = 2'000'000.0;
    qint64 n = 0;
    for (auto _ : state) {
        const bool stored = store.record(QStringLiteral("a new clip %1").arg(n++), now += 1);
        benchmark::DoNotOptimize(stored);
        // Keep the size steady: the oldest clip goes again.
        state.PauseTiming();
        store.remove(store.itemAt(store.itemCount() - 1));
        state.ResumeTiming();
    }
    state.counters["clips"] = double(store.itemCount());
}
BENCHMARK(BM_RecordNewText)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_RecordDuplicateText(benchmark::State& state)
{
    auto persistence = std::make_shared<DiscardingPersistence>();
    const qsizetype count = state.range(0);
    persistence->initial = historyOf(count);
    ClipboardStore store(persistence, unbounded());
    double now = 2'000'000.0;
    qint64 n = 0;
    for (auto _ : state) {
        // A clip from anywhere in the history (uniformly) comes back to the top.
        const QString text = QStringLiteral("clip number %1 with some ordinary text in it").arg((n++ * 7919) % count);
        benchmark::DoNotOptimize(store.record(text, now += 1));
    }
    state.counters["clips"] = double(store.itemCount());
}
BENCHMARK(BM_RecordDuplicateText)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The usual case: a clip copied again shortly after, still near the top of the history.
void BM_RecordRecentDuplicate(benchmark::State& state)
{
    auto persistence = std::make_shared<DiscardingPersistence>();
    const qsizetype count = state.range(0);
    persistence->initial = historyOf(count);
    ClipboardStore store(persistence, unbounded());
    double now = 2'000'000.0;
    qint64 n = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("clip number %1 with some ordinary text in it").arg(count - 1 - (n++ % 50));
        benchmark::DoNotOptimize(store.record(text, now += 1));
    }
}
BENCHMARK(BM_RecordRecentDuplicate)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// 100,000 clips over a budget that the new clip's arrival breaks by 10,000 clips' worth.
void BM_EvictTenThousand(benchmark::State& state)
{
    const ClipboardHistoryState history = historyOf(100'000, 0);
    qint64 total = 0;
    for (const ClipboardItem& item : history.items)
        total += ClipboardStore::estimatedStorageBytes(item);
    const qint64 perClip = total / history.items.size();
    for (auto _ : state) {
        state.PauseTiming();
        auto persistence = std::make_shared<DiscardingPersistence>();
        persistence->initial = history;
        ClipboardStore::Configuration configuration = unbounded();
        configuration.maxHistoryBytes = total - perClip * 10'000;
        auto store = std::make_unique<ClipboardStore>(persistence, configuration);
        state.ResumeTiming();
        benchmark::DoNotOptimize(store->record(QStringLiteral("x"), 3'000'000.0));
        state.PauseTiming();
        if (store->itemCount() > 90'001 || store->itemCount() < 89'990)
            state.SkipWithError("unexpected eviction count");
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EvictTenThousand)->Unit(benchmark::kMillisecond)->Iterations(10);

// A copy while the history is held elsewhere: the saves being written keep the states they were
// handed and the search keeps the list it packs, as the program's do, and copies come 20 ms
// apart (a burst of copies; a person copies far less often). The saves let go of their states
// between two copies, as the history file's writer does on its own thread.
class HoldingPersistence : public ClipboardHistoryAsyncPersisting {
public:
    ClipboardHistoryState initial;
    QList<ClipboardHistoryState> held;
    ClipboardHistoryState load() override { return initial; }
    void save(const ClipboardHistoryState& state) override { held.append(state); }
    void enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion) override
    {
        held.append(state);
        completion(SaveResult::success());
    }
    void flush() override {}
};

void BM_RecordWhileHistoryIsHeld(benchmark::State& state)
{
    static int argc = 1;
    static char name[] = "TolviCoreStoreBench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    auto persistence = std::make_shared<HoldingPersistence>();
    persistence->initial = historyOf(state.range(0));
    ClipboardStore store(persistence, unbounded());
    persistence->initial = {};
    QList<ClipboardItem> searchHolds = store.items();
    double now = 2'000'000.0;
    qint64 n = 0;
    for (auto _ : state) {
        const bool stored = store.record(QStringLiteral("a new clip %1").arg(n++), now += 1);
        benchmark::DoNotOptimize(stored);
        state.PauseTiming();
        searchHolds = store.items();
        // Keep the size steady: the oldest clip goes again.
        store.remove(store.itemAt(store.itemCount() - 1));
        searchHolds = store.items();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        persistence->held.clear();
        state.ResumeTiming();
    }
    state.counters["clips"] = double(store.itemCount());
}
BENCHMARK(BM_RecordWhileHistoryIsHeld)->Arg(10'000)->Arg(100'000)->Iterations(100)->Unit(benchmark::kMicrosecond);

} // namespace
