// Start-up of the composition root with a large history: 10,000 text clips and 200 MB of images
// in a real history file. Measures construction (which loads the file), start(), and the first
// tray menu, then how long the main thread is held at a time in the seconds after start-up.
//
// Run: QT_QPA_PLATFORM=offscreen build/test/bench/Tolvi/app/AppStartupBenchmark
#include "Tolvi/app/AppState.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/menu/MenuBarContent.h"
#include "Tolvi/menu/TrayMenuBuilder.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include "AppBenchmarkPlatform.h"
#include "MainThreadStallProbe.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

using namespace tolvi;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString historyPath = dir.filePath("history.json");

    Fixture()
    {
        ClipboardHistoryState state;
        state.pinboards = DefaultPinboards::all();
        for (int i = 0; i < 10'000; ++i)
            state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("clip %1: an ordinary line of copied text").arg(i),
                                             800'000'000.0 - i));
        QByteArray image(4'000'000, Qt::Uninitialized);
        for (int i = 0; i < 50; ++i) {
            QRandomGenerator(i).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
            state.items.append(ClipboardItem(QUuid::createUuid(),
                                             ClipboardContent::image(ClipboardImage(image, QStringLiteral("public.png"), 1440, 900)),
                                             790'000'000.0 - i));
        }
        FileClipboardHistoryPersistence(historyPath).save(state);
    }
};

void BM_StartToTrayMenuReady(benchmark::State& state)
{
    Fixture fixture;
    for (auto _ : state) {
        bench::AppBenchmarkPlatform platform;
        AppState app(platform.environment(fixture.historyPath));
        app.start();
        QMenu menu;
        fillTrayMenu(menu, menuBarContent(app).entries([](const ClipboardItem& item) {
                         return ClipboardFormatter::menuPreview(item, 30);
                     }),
                     [](const MenuBarEntry&) {});
        benchmark::DoNotOptimize(menu.actions().size());
    }
}
BENCHMARK(BM_StartToTrayMenuReady)->Unit(benchmark::kMillisecond)->Iterations(3);

// After start-up: the longest the event loop waited for the main thread in 1.5 s, with the
// history window shown at the scheduled moment and a save of the whole history under way.
void BM_LongestMainThreadStallAfterStart(benchmark::State& state)
{
    Fixture fixture;
    for (auto _ : state) {
        bench::AppBenchmarkPlatform platform;
        AppState app(platform.environment(fixture.historyPath));
        app.preferencesStore().setCompletedSetupVersion(SetupGuideVersion::current());
        app.start();
        app.clipboardStore().record(QStringLiteral("one more clip, which saves the whole history"), 800'000'001.0);
        bench::MainThreadStallProbe probe(2);
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["longest_stall_ms"] = double(probe.longest());
        state.counters["stall_ended_at_ms"] = double(probe.longestEndedAt());
    }
}
BENCHMARK(BM_LongestMainThreadStallAfterStart)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
