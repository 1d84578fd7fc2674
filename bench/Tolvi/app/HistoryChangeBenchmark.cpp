// What a change of the history costs the main thread in the running program: the composition
// root with its history file (saved in the background), the tray menu and the history window as
// the program has them.
//
// BM_CopyMainThreadTime: the main thread's CPU time per copy (the store's recording and every
// window, menu and search that follows it, up to the next copy 150 ms later) with 10,000 and
// 100,000 short texts, with the history window (which the program opens at start) hidden again or
// shown.
// A copy is a new text or a text copied again from near the top of the history.
//
// BM_ImportEndStall: the longest the event loop waits for the main thread while a 10,000-clip
// archive is merged into a 10,000-clip history (texts of about 2.5 KB with accents, none of them
// alike), from the merge's start until 1 s after it is published, with the history window shown
// or hidden; when that stall came, counted from the publication; and the main thread's CPU time
// meanwhile (the 1 ms probe's own turns included).
//
// Run: build/dev/bench/Tolvi/app/HistoryChangeBenchmark (offscreen unless QT_QPA_PLATFORM says
// otherwise). The machine's load shows in the stall figures: quote it with them.
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/menu/MenuBarContent.h"
#include "Tolvi/menu/TrayController.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/store/ClipboardStore.h"

#include "AppBenchmarkPlatform.h"
#include "BenchmarkHistory.h"
#include "GeneratedHistory.h"
#include "MainThreadStallProbe.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <memory>

using namespace tolvi;

namespace {

double threadCPUSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Runs the event loop for `milliseconds`.
void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

struct HistoryFile {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("history.json"));

    explicit HistoryFile(const ClipboardHistoryState& state) { FileClipboardHistoryPersistence(path).save(state); }
};

// The running program on a history file: started, its setup done, its tray menu rebuilt on
// every change as the program's is.
struct RunningProgram {
    bench::AppBenchmarkPlatform platform;
    AppState app;
    TrayController tray;

    explicit RunningProgram(const QString& historyPath)
        : app(platform.environment(historyPath)),
          tray([this] { return menuBarContent(app); }, [this](const MenuBarEntry& entry) { performMenuAction(app, entry); })
    {
        QObject::connect(&app, &AppState::menuInputsChanged, &tray, &TrayController::rebuildMenu);
        app.preferencesStore().setCompletedSetupVersion(SetupGuideVersion::current());
        app.start();
    }

    ClipboardStore& store() { return app.clipboardStore(); }
};

enum class WindowUse { hidden, shown };

// The program opens its history window shortly after it starts; the user may have closed it.
void applyWindowUse(RunningProgram& program, WindowUse use)
{
    runEventLoop(int(AppState::historyDelaySeconds * 1000) + 300);
    if (!program.app.panelController().isWindowVisible())
        qFatal("the history window did not open");
    if (use == WindowUse::hidden)
        program.app.panelController().orderOut();
    runEventLoop(300);
}

const char* labelOf(WindowUse use)
{
    return use == WindowUse::hidden ? "window hidden" : "window shown";
}

const ClipboardHistoryState& shortTexts(int count)
{
    static const ClipboardHistoryState tenThousand = bench::textHistory(10'000, 0, bench::ImagePlacement::amongTexts);
    static const ClipboardHistoryState hundredThousand = bench::textHistory(100'000, 0, bench::ImagePlacement::amongTexts);
    return count == 10'000 ? tenThousand : hundredThousand;
}

// Arguments: the clips, the window's use, and what is copied (0: a new text each time; 1: a text
// copied again from among the 20 newest clips).
void BM_CopyMainThreadTime(benchmark::State& state)
{
    const int count = int(state.range(0));
    const auto use = WindowUse(state.range(1));
    const bool copiesAgain = state.range(2) == 1;
    HistoryFile file(shortTexts(count));
    RunningProgram program(file.path);
    applyWindowUse(program, use);
    ClipboardStore& store = program.store();
    // Copies again take the texts of the newest clips of the moment.
    QStringList recent;
    for (qsizetype i = 0; i < 20; ++i)
        recent.append(store.itemAt(i).content().textValue());

    QList<double> cpu;
    QList<double> wall;
    int n = 0;
    for (auto _ : state) {
        const QString text = copiesAgain ? recent.at((n * 7) % recent.size())
                                         : QStringLiteral("a new clip, copied as number %1 of this run").arg(n);
        ++n;
        const double cpuBefore = threadCPUSeconds();
        QElapsedTimer timer;
        timer.start();
        store.record(text, ReferenceDate::now());
        QCoreApplication::processEvents();
        const double recorded = double(timer.nsecsElapsed()) / 1e6;
        // What the copy left for later (the menu, the copy of the list for the next change, the
        // save's completion) runs before the next copy.
        runEventLoop(150);
        const double spent = threadCPUSeconds() - cpuBefore;
        state.SetIterationTime(spent);
        cpu.append(spent * 1000);
        wall.append(recorded);
    }
    if (store.itemCount() < count)
        state.SkipWithError("the history lost clips");
    state.SetLabel(labelOf(use));
    state.counters["cpu_median_ms"] = median(cpu);
    state.counters["cpu_max_ms"] = *std::max_element(cpu.cbegin(), cpu.cend());
    state.counters["record_median_ms"] = median(wall);
    state.counters["record_max_ms"] = *std::max_element(wall.cbegin(), wall.cend());
}
BENCHMARK(BM_CopyMainThreadTime)
    ->ArgNames({"clips", "window", "again"})
    ->Args({10'000, int(WindowUse::hidden), 0})
    ->Args({100'000, int(WindowUse::hidden), 0})
    ->Args({100'000, int(WindowUse::hidden), 1})
    ->Args({100'000, int(WindowUse::shown), 0})
    ->Args({100'000, int(WindowUse::shown), 1})
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Texts of about 2.5 KB in a language with accents (every one beyond ASCII, as the start-up
// benchmark's accented history has them), `seed` telling the histories apart.
ClipboardHistoryState accentedTexts(int count, int seed, double newest)
{
    QRandomGenerator random(seed);
    ClipboardHistoryState state;
    state.pinboards = DefaultPinboards::all();
    for (int i = 0; i < count; ++i) {
        state.items.append(ClipboardItem(QUuid::createUuid(),
                                         QStringLiteral("%1/%2 ").arg(seed).arg(i) + bench::accentedText(i, random),
                                         newest - i * 13.0));
    }
    return state;
}

// Argument: the window's use.
void BM_ImportEndStall(benchmark::State& state)
{
    const auto use = WindowUse(state.range(0));
    const double now = ReferenceDate::now();
    const ClipboardHistoryState present = accentedTexts(10'000, 1, now - 200'000);
    const ClipboardHistoryState archive = accentedTexts(10'000, 2, now - 100'000);
    QList<double> stalls;
    QList<double> cpus;
    for (auto _ : state) {
        state.PauseTiming();
        HistoryFile file(present);
        RunningProgram program(file.path);
        applyWindowUse(program, use);
        state.ResumeTiming();

        bench::MainThreadStallProbe probe(1);
        const double cpuBefore = threadCPUSeconds();
        // As the import flow does it: the basis of the preview, then the merge.
        const ClipboardStore::ImportBasis basis = program.store().importBasis();
        bool published = false;
        qint64 publishedAt = 0;
        program.store().mergeImportAsync(archive, [&](const std::optional<QString>& failure) {
            published = !failure;
            publishedAt = probe.elapsed();
        });
        {
            QEventLoop untilPublished;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &untilPublished, [&] {
                if (published || probe.elapsed() > 60'000)
                    untilPublished.quit();
            });
            poll.start(5);
            untilPublished.exec();
        }
        runEventLoop(1000);
        const double cpu = threadCPUSeconds() - cpuBefore;

        state.PauseTiming();
        if (!published || program.store().itemCount() != 20'000 || basis.items.size() != 10'000)
            state.SkipWithError("unexpected import result");
        stalls.append(double(probe.longest()));
        cpus.append(cpu * 1000);
        state.counters["last_stall_from_publish_ms"] = double(probe.longestEndedAt() - publishedAt);
        state.counters["last_published_at_ms"] = double(publishedAt);
        state.ResumeTiming();
    }
    state.SetLabel(labelOf(use));
    state.counters["stall_median_ms"] = median(stalls);
    state.counters["stall_max_ms"] = *std::max_element(stalls.cbegin(), stalls.cend());
    state.counters["main_thread_cpu_median_ms"] = median(cpus);
}
BENCHMARK(BM_ImportEndStall)
    ->ArgName("window")
    ->Arg(int(WindowUse::hidden))
    ->Arg(int(WindowUse::shown))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
