// Each view of one clip in the history window (the window with the clip's row and the
// inspector, the full-size preview, quick edit) opened on texts a history file can hold that are
// hard to lay out. Per view and text: stall_ms, the longest time the main thread went without
// turning its event loop from opening the view until it had been painted, scrolled to the end and
// left idle for a moment; peak_x_clip, the growth of the process's peak memory over that time
// as a multiple of the clip's size (UTF-16). Offscreen; run by hand:
//   HostileTextViewsBenchmarks [--benchmark_filter=...]
#include "tests/Tolvi/history/HistoryTestSupport.h"
#include "tests/support/HostileTexts.h"
#include "tests/support/MainThreadWatchdog.h"

#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipLensView.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/platform/shell/Clock.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>

#include <benchmark/benchmark.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

constexpr double now = 800'000'000.0;

enum View { window, preview, quickEdit };

// Peak resident memory in bytes, and starting it again from the current.
qint64 peakResident()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void scrollToEnd(QWidget* root)
{
    for (QAbstractScrollArea* area : root->findChildren<QAbstractScrollArea*>())
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
}

void BM_HostileTextView(benchmark::State& state)
{
    const View view = View(state.range(0));
    const HostileText& hostile = hostileTexts()[size_t(state.range(1))];
    state.SetLabel(hostile.name);
    const QString text = hostile.make();
    TolviTheme theme;
    theme.accessibility().setReduceMotion(true);
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
    double stall = 0;
    double peakRatio = 0;
    for (auto _ : state) {
        auto history = std::make_shared<MemoryHistory>();
        history->state.items = {ClipboardItem(QUuid::createUuid(), text, now - 30)};
        ClipboardStore store(history, ClipboardStore::Configuration::standard());
        std::unique_ptr<ClipboardPanelController> controller;
        auto open = [&] {
            ClipboardPanelController::Dependencies dependencies{
                store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste.service, nullptr, nullptr,
                {}, {}, &theme, &settings, &thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }};
            controller = std::make_unique<ClipboardPanelController>(std::move(dependencies));
            controller->show(false);
        };
        std::unique_ptr<MainThreadWatchdog> watchdog;
        if (view == window) {
            resetPeakResident();
            const qint64 before = peakResident();
            watchdog = std::make_unique<MainThreadWatchdog>(600);
            open();
            watchdog->pump(300);
            controller->panel()->grab();
            scrollToEnd(controller->panel());
            controller->panel()->grab();
            watchdog->pump(500);
            stall = watchdog->takeLongestStallMilliseconds();
            peakRatio = double(peakResident() - before) / double(text.size() * 2);
        } else {
            open();
            QCoreApplication::processEvents();
            controller->panel()->grab();
            QCoreApplication::processEvents();
            resetPeakResident();
            const qint64 before = peakResident();
            watchdog = std::make_unique<MainThreadWatchdog>(600);
            HistoryWindowState& windowState = *controller->windowState();
            QWidget* overlay = nullptr;
            if (view == preview) {
                windowState.openPreview(*windowState.lensItem());
                overlay = controller->view()->previewOverlay();
            } else {
                windowState.setEditingItem(*windowState.lensItem());
                overlay = controller->view()->quickEditOverlay();
            }
            controller->panel()->grab();
            watchdog->pump(300);
            scrollToEnd(overlay);
            controller->panel()->grab();
            watchdog->pump(500);
            stall = watchdog->takeLongestStallMilliseconds();
            peakRatio = double(peakResident() - before) / double(text.size() * 2);
        }
        watchdog.reset();
        state.PauseTiming();
        controller.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["stall_ms"] = stall;
    state.counters["peak_x_clip"] = peakRatio;
}
BENCHMARK(BM_HostileTextView)
    ->ArgsProduct({{window, preview, quickEdit}, {0, 1, 2, 3, 4}})
    ->ArgNames({"view", "text"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
