// Opening the settings window over a large history, and a history-limit change that then
// evicts many clips, with the window bound to the store.
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/settings/SettingsView.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QComboBox>

#include <benchmark/benchmark.h>

namespace {

using namespace tolvi;

class MemoryHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return {}; }
    void save(const ClipboardHistoryState&) override {}
};

struct Stores {
    InMemoryKeyValueSettings settings;
    ManualScheduler scheduler;
    FakeClock clock;
    FakeWorkspace workspace;
    TolviTheme theme;
    ClipboardStore store{std::make_shared<MemoryHistory>(), ClipboardStore::Configuration::standard()};
    AppExclusionStore exclusions{settings};
    PreferencesStore preferences{settings};
    PermissionStatusStore permissions{[] { return true; }, scheduler, false};
    UsageMetricsStore usage{settings, clock};

    SettingsDependencies dependencies()
    {
        return {store, FeatureFlags(TolviDistributionChannel::direct, true), exclusions, preferences, permissions,
                usage, workspace, [] { return true; }, {}, QStringLiteral("tolvi"), QStringLiteral("/tmp/history.json"),
                &theme, SettingsActions{}};
    }

    void fill(int count, double start)
    {
        for (int i = 0; i < count; ++i)
            store.record(QStringLiteral("benchmark clip %1").arg(start + i), start + i);
    }
};

void BM_OpenSettingsWith100000Clips(benchmark::State& state)
{
    Stores stores;
    stores.fill(100'000, 1'000'000.0);
    for (auto _ : state) {
        SettingsPanelController controller(stores.dependencies());
        controller.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(controller.panel());
        state.PauseTiming();
        controller.orderOut();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSettingsWith100000Clips)->Unit(benchmark::kMillisecond)->Iterations(10);

// The user picks "25 recent items" with 10,025 clips held; the composition root applies the limit
// without trimming, and the next clip evicts the 10,000 oldest.
void BM_HistoryLimitChangeThatEvicts10000Clips(benchmark::State& state)
{
    Stores stores;
    SettingsPanelController controller(stores.dependencies());
    controller.show();
    QComboBox* picker = controller.view()->capturePage()->historyLimitPicker();
    QObject::connect(&stores.preferences, &PreferencesStore::historyLimitChanged, &stores.store,
                     [&stores](HistoryLimitPreference value) {
                         const std::optional<int> limit = historylimit::itemLimit(value);
                         stores.store.updateRecentLimit(limit ? std::optional<qint64>(*limit) : std::nullopt, false);
                     });
    double next = 2'000'000.0;
    for (auto _ : state) {
        state.PauseTiming();
        stores.preferences.setHistoryLimit(HistoryLimitPreference::unlimited);
        stores.store.clear();
        stores.fill(10'024, next);
        next += 20'000;
        state.ResumeTiming();

        const int index = picker->findData(int(HistoryLimitPreference::twentyFive));
        picker->setCurrentIndex(index);
        emit picker->activated(index);
        stores.store.record(QStringLiteral("the clip that evicts"), next++);
        QApplication::processEvents();
        if (stores.store.itemCount() != 25)
            state.SkipWithError("the limit did not evict");
    }
}
BENCHMARK(BM_HistoryLimitChangeThatEvicts10000Clips)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
