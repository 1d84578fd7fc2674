// Start-up of the composition root with a large history: 10,000 text clips and 200 MB of images
// in a real history file. Measures construction (which loads the file), start(), and the first
// tray menu, then how long the main thread is held at a time in the seconds after start-up.
//
// Run: QT_QPA_PLATFORM=offscreen build/test/bench/Tolvi/app/AppStartupBenchmark
#include "Tolvi/app/AppState.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/menu/MenuBarContent.h"
#include "Tolvi/menu/TrayMenuBuilder.h"
#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/search/ClipboardFormatter.h"

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

struct NoWindow final : SimpleWindowControlling, WhatsNewWindowControlling {
    bool hasWindow() const override { return false; }
    bool isWindowVisible() const override { return false; }
    void orderOut() override {}
    void setHiddenFromScreenCapture(bool) override {}
    void show() override {}
    void show(bool) override {}
};

struct Platform {
    InMemoryKeyValueSettings settings;
    InMemoryBundleInfo bundle;
    SystemClock clock;
    QtScheduler scheduler;
    FakeAlerts alerts;
    FakeFilePanels panels;
    FakeDesktopWorkspace desktop;
    FakeWorkspace workspace;
    InMemoryPasteboard pasteboard;
    FakeHotKeyBackend hotKeys;

    AppEnvironment environment(const QString& historyPath)
    {
        AppEnvironment env{
            .settings = settings,
            .bundle = bundle,
            .clock = clock,
            .scheduler = scheduler,
            .alerts = alerts,
            .filePanels = panels,
            .desktop = desktop,
            .workspace = workspace,
            .pasteboard = pasteboard,
            .hotKeys = hotKeys,
            .historyFilePath = historyPath,
            .makePersistence = [](const QString& path) { return std::make_shared<FileClipboardHistoryPersistence>(path); },
        };
        env.pasteEnvironment.frontmostPID = [] { return std::optional<qint64>(); };
        env.pasteEnvironment.isTolvi = [](qint64) { return false; };
        env.pasteEnvironment.schedule = [this](double seconds, std::function<void()> work) {
            scheduler.scheduleOnce(seconds, std::move(work));
        };
        env.recognizeImage = [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {};
        env.windows.history = [](AppState& app) -> std::unique_ptr<HistoryWindowControlling> {
            return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
                app.clipboardStore(), app.featureFlags(), app.usageMetricsStore(), app.pasteService(), &app.preferencesStore(), nullptr, {}, {},
                &app.theme(), nullptr, nullptr, {}, {}, {}});
        };
        env.windows.whatsNew = [](AppState&) -> std::unique_ptr<WhatsNewWindowControlling> { return std::make_unique<NoWindow>(); };
        env.windows.setup = [](AppState&) -> std::unique_ptr<SimpleWindowControlling> { return std::make_unique<NoWindow>(); };
        return env;
    }
};

void BM_StartToTrayMenuReady(benchmark::State& state)
{
    Fixture fixture;
    for (auto _ : state) {
        Platform platform;
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
        Platform platform;
        AppState app(platform.environment(fixture.historyPath));
        app.preferencesStore().setCompletedSetupVersion(SetupGuideVersion::current());
        app.start();
        app.clipboardStore().record(QStringLiteral("one more clip, which saves the whole history"), 800'000'001.0);
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        qint64 longestAt = 0;
        QTimer probe;
        probe.setInterval(2);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (now - last > longest) {
                longest = now - last;
                longestAt = now;
            }
            last = now;
        });
        probe.start();
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["longest_stall_ms"] = double(longest);
        state.counters["stall_ended_at_ms"] = double(longestAt);
    }
}
BENCHMARK(BM_LongestMainThreadStallAfterStart)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
