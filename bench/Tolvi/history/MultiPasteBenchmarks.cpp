// Multi-paste in the history window with a large history: "Select Visible" over every clip and
// over a filtered list, one clip chosen or taken out of a large choice, a capture while a large
// choice stands, opening "Paste As" (and the rest of a row's menu) on a 50,000-character clip,
// and laying the footer out again as the window is resized. Every measured step includes the
// window's own reaction (the list's decorations and the footer).
//   MultiPasteBenchmarks [--benchmark_filter=...]
#include "Tolvi/history/ClipboardFooter.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/history/ClipRowMenu.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/clipviews/ThumbnailCache.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"

#include <QApplication>
#include <QMenu>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <memory>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

// The first nine of the shared words.
const QStringList words = clipWords().mid(0, 9);

// `count` text clips, newest first.
const ClipboardHistoryState& largeHistory()
{
    static const ClipboardHistoryState state = [] {
        QRandomGenerator random(7);
        QList<ClipboardItem> items;
        const double now = ReferenceDate::now();
        for (int i = 0; i < 100'000; ++i) {
            QString text;
            for (int w = 0, n = 3 + random.bounded(12); w < n; ++w)
                text += words[random.bounded(int(words.size()))] + QString::number(random.bounded(1000)) + u' ';
            items.append(ClipboardItem(QUuid::createUuid(), text, now - i * 30.0));
        }
        return ClipboardHistoryState{items, DefaultPinboards::all()};
    }();
    return state;
}

// The history window over the large history, with the footer bound to its state.
struct Window {
    Window()
        : store(std::make_shared<PreparedHistory>(largeHistory()), uncappedConfiguration())
    {
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {},
            nullptr, nullptr, &thumbnails, {}, {}, {}});
        controller->show(false);
        footer = std::make_unique<ClipboardFooter>(state());
        footer->resize(800, footer->heightForWidth(800));
        footer->show();
        QCoreApplication::processEvents();
    }

    HistoryWindowState& state() const { return *controller->windowState(); }

    ClipboardStore store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
    std::unique_ptr<ClipboardFooter> footer;
};

Window& sharedWindow()
{
    static Window window;
    return window;
}

// "Select Visible" over every clip (argument 0) or over the clips a query leaves (argument 1),
// from an empty choice; the footer then reads "Deselect Visible".
void BM_SelectVisible(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    HistoryWindowState& state = window.state();
    state.setQuery(benchmarkState.range(0) ? QStringLiteral("invoice") : QString());
    state.clearQueue();
    for (auto _ : benchmarkState) {
        state.toggleVisibleSelection();
        benchmarkState.PauseTiming();
        if (!state.isEveryVisibleItemQueued())
            benchmarkState.SkipWithError("not every visible clip was chosen");
        state.clearQueue();
        benchmarkState.ResumeTiming();
    }
    benchmarkState.counters["visible"] = double(state.filteredItems().size());
    state.setQuery(QString());
}
BENCHMARK(BM_SelectVisible)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// "Deselect Visible" with every clip chosen.
void BM_DeselectVisible(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    HistoryWindowState& state = window.state();
    state.setQuery(QString());
    state.clearQueue();
    for (auto _ : benchmarkState) {
        benchmarkState.PauseTiming();
        state.toggleVisibleSelection();
        benchmarkState.ResumeTiming();
        state.toggleVisibleSelection();
    }
    state.clearQueue();
}
BENCHMARK(BM_DeselectVisible)->Unit(benchmark::kMillisecond);

// One clip taken out of, or put back into, a choice of 10,000 (every clip visible).
void BM_ToggleOneInChoiceOf10k(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    HistoryWindowState& state = window.state();
    state.setQuery(QString());
    QList<QUuid> ids;
    for (qsizetype i = 0; i < 10'000; ++i)
        ids.append(window.store.itemAt(i * 7).id());
    state.setQueuedItemIDs(ids);
    // The footer has counted the choice once, as it does when the choice is made.
    state.queuedItemCount();
    state.isEveryVisibleItemQueued();
    const QUuid toggled = ids.at(5'000);
    for (auto _ : benchmarkState)
        state.toggleQueue(toggled);
    benchmarkState.counters["chosen"] = double(state.queuedItemIDs().size());
    state.clearQueue();
}
BENCHMARK(BM_ToggleOneInChoiceOf10k)->Unit(benchmark::kMicrosecond);

// A new clip captured while every one of 100,000 clips is chosen (argument 1) or none is
// (argument 0): the choice is checked against the history after every change of it.
void BM_CaptureWhileAllChosen(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    HistoryWindowState& state = window.state();
    state.setQuery(QString());
    state.clearQueue();
    if (benchmarkState.range(0))
        state.toggleVisibleSelection();
    static int n = 0;
    for (auto _ : benchmarkState)
        window.store.record(QStringLiteral("captured while chosen %1").arg(++n), ReferenceDate::now());
    benchmarkState.counters["chosen"] = double(state.queuedItemIDs().size());
    state.clearQueue();
}
BENCHMARK(BM_CaptureWhileAllChosen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

// A text of 50,000 characters; argument 1 makes it a JSON array, so every check has to read all.
ClipboardItem longClip(bool json)
{
    QString text;
    if (json) {
        text = QStringLiteral("[");
        while (text.size() < 49'990)
            text += QStringLiteral("\"pricing notes\", ");
        text += QStringLiteral("\"end\"]");
    } else {
        while (text.size() < 50'000)
            text += QStringLiteral("Quarterly pricing notes for the customer meeting.\n");
        text.truncate(50'000);
    }
    return ClipboardItem(QUuid::createUuid(), text, ReferenceDate::now());
}

// Opening "Paste As" on the clip: its entries, the availability of every transform, the menu.
void BM_OpenPasteAs50k(benchmark::State& benchmarkState)
{
    const ClipboardItem clip = longClip(benchmarkState.range(0) != 0);
    QWidget host;
    for (auto _ : benchmarkState) {
        std::unique_ptr<QMenu> menu(PasteAsMenu::create(
            clip, [&clip](const QUuid&) { return std::optional(clip); }, [](const ClipboardItem&) {},
            [](const QString&) {}, &host));
        benchmark::DoNotOptimize(menu->actions().size());
    }
}
BENCHMARK(BM_OpenPasteAs50k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The row menu's part of this window for the clip: the choice entry, "Paste As" and "Tools".
void BM_RowMenuEntries50k(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    window.store.record(longClip(true).content().textValue(), ReferenceDate::now());
    const QUuid id = window.store.itemAt(0).id();
    for (auto _ : benchmarkState) {
        QMenu menu;
        ClipRowMenuEntries::add(menu, window.state(), id, ClipRowMenuEntries::Part::leading);
        ClipRowMenuEntries::add(menu, window.state(), id, ClipRowMenuEntries::Part::middle);
        benchmark::DoNotOptimize(menu.actions().size());
    }
}
BENCHMARK(BM_RowMenuEntries50k)->Unit(benchmark::kMillisecond);

// The footer with every item shown, resized between a wide window and a narrow one.
void BM_FooterRelayoutOnResize(benchmark::State& benchmarkState)
{
    Window& window = sharedWindow();
    HistoryWindowState& state = window.state();
    state.setQuery(QStringLiteral("invoice"));
    state.toggleQueue(state.filteredItems().first().id());
    ClipboardFooter& footer = *window.footer;
    const int widths[] = {980, 520, 760, 600, 860};
    int step = 0;
    for (auto _ : benchmarkState) {
        const int width = widths[step++ % 5];
        footer.resize(width, footer.heightForWidth(width));
    }
    state.clearQueue();
    state.setQuery(QString());
}
BENCHMARK(BM_FooterRelayoutOnResize)->Unit(benchmark::kMicrosecond);

} // namespace
