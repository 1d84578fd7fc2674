// A board rename with a history at the 500 MB budget (the start-up benchmarks' generated history,
// in the real history file). Every board change writes the whole history before it is published.
//   BoardRename_Synchronous: the store's synchronous rename, for comparison: the call is the
//     main thread's stall.
//   BoardRename_Sheet: "Save" in the board sheet of the history window. main_stall_ms is the
//     longest time the main thread did not get round to a 1 ms heartbeat between the click and
//     the change published (the click itself included); published_ms is the time from the click
//     to the new name in the store, which follows the write.
// Wall time, a few iterations each (one write takes about a second).
//   BoardRenameBenchmarks [--benchmark_filter=...]
#include "GeneratedHistory.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/BoardManagementView.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

const HistoryShape& budgetShape()
{
    for (const HistoryShape& shape : historyShapes()) {
        if (QLatin1String(shape.name) == QLatin1String("budget_500MB"))
            return shape;
    }
    return historyShapes().back();
}

std::unique_ptr<ClipboardStore> openBudgetHistory(benchmark::State& state)
{
    const GeneratedHistory& history = generatedHistory(budgetShape());
    auto store = std::make_unique<ClipboardStore>(std::make_shared<FileClipboardHistoryPersistence>(history.historyPath()),
                                                  ClipboardStore::Configuration::standard());
    state.counters["file_MB"] = history.fileMB;
    state.counters["clips"] = double(store->itemCount());
    return store;
}

// The longest the main thread went without running a 1 ms heartbeat, while it is counted.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { beat(); });
    }

    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void beat()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    // Stops and counts the time since the last beat as well.
    double stopMilliseconds()
    {
        beat();
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

void BoardRename_Synchronous(benchmark::State& state)
{
    std::unique_ptr<ClipboardStore> store = openBudgetHistory(state);
    const QUuid work = DefaultPinboards::workID();
    int round = 0;
    for (auto _ : state) {
        store->renamePinboard(work, QStringLiteral("Work %1").arg(++round));
        QApplication::processEvents();
    }
    store->flushPersistence();
}
BENCHMARK(BoardRename_Synchronous)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BoardRename_Sheet(benchmark::State& state)
{
    std::unique_ptr<ClipboardStore> store = openBudgetHistory(state);
    InMemoryPasteboard pasteboard;
    PasteService paste(pasteboard, inertPasteEnvironment());
    InMemoryKeyValueSettings settings;
    SystemClock clock;
    UsageMetricsStore usage(settings, clock);
    ThumbnailCache thumbnails;
    TolviTheme theme;
    theme.accessibility().setReduceMotion(true);
    ClipboardPanelController controller(ClipboardPanelController::Dependencies{
        *store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {}, &theme,
        nullptr, &thumbnails, QStringLiteral("tolvi"), {}, {}});
    controller.show(false);
    controller.windowState()->setManagingBoards(true);
    BoardManagementView* sheet = controller.view()->boardSheet();
    if (!sheet || sheet->rowCount() == 0) {
        state.SkipWithError("the board sheet did not open");
        return;
    }
    QApplication::processEvents();

    StallMeter meter;
    double longestStall = 0;
    double publishedTotal = 0;
    int round = 0;
    for (auto _ : state) {
        BoardRowEditor* row = sheet->row(0);
        const QString name = QStringLiteral("Work %1").arg(++round);
        row->nameField()->setText(name);
        emit row->nameField()->textEdited(name);
        QElapsedTimer published;
        meter.start();
        published.start();
        row->saveButton()->click();
        while (store->pinboards().first().name() != name)
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        publishedTotal += double(published.nsecsElapsed()) / 1e6;
        // What the change sets off in the window, up to the sheet taking input again.
        while (sheet->isBusy())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::processEvents();
        longestStall = std::max(longestStall, meter.stopMilliseconds());
        if (sheet->error()) {
            state.SkipWithError(sheet->error()->toUtf8().constData());
            break;
        }
    }
    state.counters["main_stall_ms"] = longestStall;
    state.counters["published_ms"] = publishedTotal / std::max(1, round);
    store->flushPersistence();
}
BENCHMARK(BoardRename_Sheet)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
