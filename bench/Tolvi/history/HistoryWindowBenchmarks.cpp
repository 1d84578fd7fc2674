// The history window with a large history: from the hot key to the window painted (first open
// and reopening), one keystroke in the search field to the list repainted (the first one after
// start-up and later ones), the memory the search holds, and scrolling the whole list page by
// page (the longest page and the thumbnail memory).
// Histories: "mixed_10k" (9,800 short texts and 200 images), "texts_10k" (10,000 texts of about
// 2.5 KB, 25 MB of text, as the start-up benchmark has them) and "short_100k" (100,000 short
// texts).
//   HistoryWindowBenchmarks [--benchmark_filter=...]
// BM_FirstSearchMemory measures resident memory: run it on its own for figures that earlier
// benchmarks' heap does not blur (--benchmark_filter=FirstSearchMemory).
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"
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
#include "GeneratedHistory.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <fstream>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

struct Window {
    explicit Window(const ClipboardHistoryState& state)
        : store(std::make_shared<PreparedHistory>(state), uncappedConfiguration())
    {
    }

    std::unique_ptr<ClipboardPanelController> makeController()
    {
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {}, nullptr,
            nullptr, &thumbnails, {}, {}, {}});
    }

    // A window shown and painted once.
    std::unique_ptr<ClipboardPanelController> shownController()
    {
        std::unique_ptr<ClipboardPanelController> controller = makeController();
        controller->show(false);
        paint(*controller);
        return controller;
    }

    // As at start-up: search prepares what it needs of the loaded history in the background
    // before the user types.
    void prepareSearch()
    {
        PartitionedClipSearch::shared().prepare(store.items());
        PartitionedClipSearch::shared().waitUntilPrepared();
    }

    // Paints the list as the screen would get it.
    static void paint(ClipboardPanelController& controller)
    {
        QWidget* panel = controller.panel();
        static QImage target;
        if (target.size() != panel->size())
            target = QImage(panel->size(), QImage::Format_ARGB32_Premultiplied);
        panel->render(&target);
    }

    ClipboardStore store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
};

const ClipboardHistoryState& mixedHistory()
{
    static const ClipboardHistoryState state = textHistory(9800, 200, ImagePlacement::ownTimes);
    return state;
}

const ClipboardHistoryState& largeHistory()
{
    static const ClipboardHistoryState state = textHistory(100'000, 0, ImagePlacement::ownTimes);
    return state;
}

// 10,000 texts of ordinary length, as the start-up benchmark's history holds them.
const ClipboardHistoryState& ordinaryHistory()
{
    static const ClipboardHistoryState state = [] {
        QRandomGenerator random(7);
        QList<ClipboardItem> items;
        const double now = ReferenceDate::now();
        for (int i = 0; i < 10'000; ++i) {
            items.append(ClipboardItem(QUuid::createUuid(), bench::ordinaryText(i, random), now - i * 13.0, false, {},
                                       ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.example.editor"))));
        }
        return ClipboardHistoryState{items, DefaultPinboards::all()};
    }();
    return state;
}

enum HistoryKind { mixed10k, texts10k, short100k };

const ClipboardHistoryState& historyFor(benchmark::State& state)
{
    switch (HistoryKind(state.range(0))) {
    case mixed10k:
        state.SetLabel("mixed_10k");
        return mixedHistory();
    case texts10k:
        state.SetLabel("texts_10k");
        return ordinaryHistory();
    case short100k:
        break;
    }
    state.SetLabel("short_100k");
    return largeHistory();
}

// Every history kind, by its number.
void histories(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgName("history")->Arg(mixed10k)->Arg(texts10k)->Arg(short100k);
}

double residentMB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The history's text as UTF-8, in MB.
double textMB(const ClipboardHistoryState& history)
{
    double bytes = 0;
    for (const ClipboardItem& item : history.items) {
        if (const QString* text = item.content().textIf())
            bytes += double(text->toUtf8().size());
    }
    return bytes / (1024.0 * 1024.0);
}

// The first open: the window and its content are made, placed, shown and painted.
void BM_FirstOpenToPainted(benchmark::State& state)
{
    Window window(historyFor(state));
    for (auto _ : state) {
        std::unique_ptr<ClipboardPanelController> controller = window.makeController();
        controller->show(false);
        Window::paint(*controller);
        state.PauseTiming();
        controller.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstOpenToPainted)->Apply(histories)->Unit(benchmark::kMillisecond);

// Every later open: the hot key shows the window kept from before.
void BM_ReopenToPainted(benchmark::State& state)
{
    Window window(historyFor(state));
    std::unique_ptr<ClipboardPanelController> controller = window.shownController();
    for (auto _ : state) {
        controller->orderOut();
        controller->show(false);
        Window::paint(*controller);
    }
}
BENCHMARK(BM_ReopenToPainted)->Apply(histories)->Unit(benchmark::kMillisecond);

// One typed character, from the field's change to the list painted again: words typed a
// character at a time and deleted again, each word new to the search (typing on narrows the
// previous result; deleting finds an earlier result again).
void BM_KeystrokeToRepaint(benchmark::State& state)
{
    Window window(historyFor(state));
    std::unique_ptr<ClipboardPanelController> controller = window.shownController();
    QLineEdit* field = controller->view()->searchField();
    QStringList steps;
    const QStringList& words = clipWords();
    for (const QString& word : words) {
        const QString query = word + QString::number(words.indexOf(word) * 37 % 1000);
        for (int i = 1; i <= query.size(); ++i)
            steps.append(query.left(i));
        for (int i = query.size() - 1; i >= 0; --i)
            steps.append(query.left(i));
    }
    window.prepareSearch();
    qsizetype step = 0;
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        field->setText(steps[step]);
        step = (step + 1) % steps.size();
        Window::paint(*controller);
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
    }
    state.counters["slowest_ms"] = slowest;
}
// The very first keystroke after start-up, when search has seen no clip yet. Timed by hand: the
// window's making and taking down (of a large history) are left out.
void BM_FirstKeystrokeToRepaint(benchmark::State& state)
{
    const ClipboardHistoryState& history = historyFor(state);
    for (auto _ : state) {
        PartitionedClipSearch::shared().clearCaches();
        Window window(history);
        std::unique_ptr<ClipboardPanelController> controller = window.shownController();
        window.prepareSearch();
        QElapsedTimer timer;
        timer.start();
        controller->view()->searchField()->setText(QStringLiteral("p"));
        Window::paint(*controller);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_FirstKeystrokeToRepaint)->Apply(histories)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_KeystrokeToRepaint)->Apply(histories)->Unit(benchmark::kMillisecond);

// The memory the search keeps once it has searched: resident memory after the first keystroke's
// search and repaint minus before search prepared anything, against the size of the history's
// text as UTF-8.
void BM_FirstSearchMemory(benchmark::State& state)
{
    const ClipboardHistoryState& history = historyFor(state);
    double searchMB = 0;
    for (auto _ : state) {
        PartitionedClipSearch::shared().clearCaches();
        Window window(history);
        std::unique_ptr<ClipboardPanelController> controller = window.shownController();
        QCoreApplication::processEvents();
        malloc_trim(0);
        const double before = residentMB();
        window.prepareSearch();
        controller->view()->searchField()->setText(QStringLiteral("p"));
        Window::paint(*controller);
        malloc_trim(0);
        searchMB = residentMB() - before;
    }
    state.counters["search_MB"] = searchMB;
    state.counters["text_MB"] = textMB(history);
    state.counters["search_per_text"] = searchMB / textMB(history);
}
BENCHMARK(BM_FirstSearchMemory)->Apply(histories)->Unit(benchmark::kMillisecond)->Iterations(1);

// Scrolling through the whole list a page at a time; reports the longest page and the
// thumbnail cache's size at the end.
void BM_ScrollWholeListByPages(benchmark::State& state)
{
    Window window(mixedHistory());
    std::unique_ptr<ClipboardPanelController> controller = window.makeController();
    controller->show(false);
    QListView* list = controller->view()->list();
    // Images interleaved with texts, as a real history has them.
    double longestPage = 0;
    int pages = 0;
    for (auto _ : state) {
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(0);
        while (true) {
            QElapsedTimer timer;
            timer.start();
            Window::paint(*controller);
            QCoreApplication::processEvents();
            longestPage = std::max(longestPage, timer.nsecsElapsed() / 1e6);
            if (qEnvironmentVariableIsSet("TOLVI_BENCH_TRACE") && timer.nsecsElapsed() > 12'000'000)
                fprintf(stderr, "page %d at %d: %.1f ms\n", pages, bar->value(), timer.nsecsElapsed() / 1e6);
            ++pages;
            if (bar->value() >= bar->maximum())
                break;
            bar->setValue(bar->value() + bar->pageStep());
        }
    }
    state.counters["longest_page_ms"] = longestPage;
    state.counters["pages"] = double(pages) / double(state.iterations());
    state.counters["thumbnail_MB"] = double(window.thumbnails.totalBytes()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ScrollWholeListByPages)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
