// Import preview and merge of a 20,000-clip archive into a 20,000-clip history.

#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <benchmark/benchmark.h>

using namespace tolvi;

namespace {

class MemoryPersistence : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState stored;
    ClipboardHistoryState load() override { return stored; }
    void save(const ClipboardHistoryState& state) override { stored = state; }
};

// Every archive clip equals a present one (the merged history may hold at most 20,000), under
// another id, on boards that match by id, by name or are new.
void BM_PreviewAndMergeImport(benchmark::State& state)
{
    ClipboardHistoryState present;
    present.pinboards = DefaultPinboards::all();
    ClipboardHistoryState incoming;
    incoming.pinboards = DefaultPinboards::all();
    for (int i = 0; i < 40; ++i)
        incoming.pinboards.append(Pinboard(QUuid::createUuid(), QStringLiteral("Board %1").arg(i), QStringLiteral("folder"), i));
    incoming.pinboards.append(Pinboard(QUuid::createUuid(), QStringLiteral("WORK"), QStringLiteral("folder"), 1));
    for (int i = 0; i < 20'000; ++i) {
        present.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("clip %1 with ordinary text").arg(i), 1000.0 + i));
        QList<QUuid> boards{incoming.pinboards[i % incoming.pinboards.size()].id()};
        incoming.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("clip %1 with ordinary text").arg(i), 3000.0 + i,
                                            i % 3 == 0, boards));
    }
    const QByteArray archive = ClipboardHistoryArchive::encode(incoming);
    for (auto _ : state) {
        state.PauseTiming();
        auto persistence = std::make_shared<MemoryPersistence>();
        persistence->stored = present;
        ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
        configuration.maxItems = std::nullopt;
        auto store = std::make_unique<ClipboardStore>(persistence, configuration);
        state.ResumeTiming();

        // As the importer does it: decode once, preview, then merge the same decoded archive.
        const ClipboardHistoryState decoded = ClipboardHistoryArchive::decode(archive);
        const ClipboardImportPreview preview = store->previewImport(decoded);
        const ClipboardImportPreview merged = store->mergeImport(decoded);
        benchmark::DoNotOptimize(merged.totalItems);

        state.PauseTiming();
        if (!(preview == merged) || merged.totalItems != 20'000)
            state.SkipWithError("unexpected merge result");
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewAndMergeImport)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

// What the import flow asks of the main thread once the archive is read: the basis its preview
// is worked out from, and the call that starts the merge (checked, merged and written on the
// store's writer thread). A 10,000-clip history of accented 2,400-character texts and an archive
// of as many, half of them present already.
void BM_ImportMainThreadShare(benchmark::State& state)
{
    const auto text = [](int i) { return QStringLiteral("clip %1 ").arg(i) + QString(2'400, QChar(0xe9)); };
    auto persistence = std::make_shared<MemoryPersistence>();
    persistence->stored.pinboards = DefaultPinboards::all();
    for (int i = 0; i < 10'000; ++i)
        persistence->stored.items.append(ClipboardItem(QUuid::createUuid(), text(i), 1000.0 + i));
    ClipboardHistoryState incoming;
    incoming.pinboards = DefaultPinboards::all();
    for (int i = 0; i < 10'000; ++i)
        incoming.items.append(ClipboardItem(QUuid::createUuid(), text(i + 5'000), 30'000.0 + i));
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = std::nullopt;
    const ClipboardHistoryState present = persistence->stored;
    for (auto _ : state) {
        state.PauseTiming();
        persistence->stored = present;
        ClipboardStore store(persistence, configuration);
        state.ResumeTiming();

        const ClipboardStore::ImportBasis basis = store.importBasis();
        store.mergeImportAsync(incoming, {});

        state.PauseTiming();
        store.flushPersistence();
        if (store.itemCount() != 15'000 || basis.items.size() != 10'000)
            state.SkipWithError("unexpected merge result");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportMainThreadShare)->Unit(benchmark::kMillisecond)->Iterations(5);
