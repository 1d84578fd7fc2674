// The compact panel with a large history: from the hot key to the panel painted, one keystroke
// in the search field to the list repainted, an arrow key to the next selection painted,
// opening the actions of a 50,000-character clip, opening the editor on clips the history file
// may hold beyond the capture limit, one keystroke in the editor on a long clip, and scrolling
// through 200 images.
//   CompactPanelBenchmarks [--benchmark_filter=...]
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipTextEditor.h"

#include "Tolvi/panels/PanelCommandBus.h"
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
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>

#include <benchmark/benchmark.h>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

const ClipboardHistoryState& mixedHistory()
{
    static const ClipboardHistoryState state = textHistory(9800, 200, ImagePlacement::amongTexts);
    return state;
}

const ClipboardHistoryState& largeHistory()
{
    static const ClipboardHistoryState state = textHistory(100'000, 0, ImagePlacement::amongTexts);
    return state;
}

const ClipboardHistoryState& historyFor(const benchmark::State& state)
{
    return state.range(0) == 10'000 ? mixedHistory() : largeHistory();
}

struct Panel {
    explicit Panel(const ClipboardHistoryState& state)
        : store(std::make_shared<PreparedHistory>(state), uncappedConfiguration())
    {
    }

    std::unique_ptr<CompactClipboardPanelController> makeController()
    {
        CompactClipboardPanelController::Dependencies dependencies{
            store, FeatureFlags(TolviDistributionChannel::development, true), usage, paste};
        dependencies.thumbnails = &thumbnails;
        dependencies.pointerPosition = [] { return QPoint(400, 300); };
        return std::make_unique<CompactClipboardPanelController>(std::move(dependencies));
    }

    // Paints the panel as the screen would get it.
    static void paint(CompactClipboardPanelController& controller)
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

// The first hot key press: the panel and its content are made, placed, shown and painted.
void BM_FirstHotKeyToPainted(benchmark::State& state)
{
    Panel panel(historyFor(state));
    for (auto _ : state) {
        std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
        controller->show();
        Panel::paint(*controller);
        state.PauseTiming();
        controller.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstHotKeyToPainted)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Every later press: the panel kept from before is shown again (the list is worked out anew
// for the current time).
void BM_HotKeyToPainted(benchmark::State& state)
{
    Panel panel(historyFor(state));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    Panel::paint(*controller);
    for (auto _ : state) {
        controller->orderOut();
        controller->show();
        Panel::paint(*controller);
    }
}
BENCHMARK(BM_HotKeyToPainted)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// One typed character, from the field's change to the panel painted again: words typed a
// character at a time and deleted again.
void BM_KeystrokeToRepaint(benchmark::State& state)
{
    Panel panel(historyFor(state));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    Panel::paint(*controller);
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
    field->setText(QStringLiteral("x"));
    field->setText(QString());
    qsizetype step = 0;
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        field->setText(steps[step]);
        step = (step + 1) % steps.size();
        Panel::paint(*controller);
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
    }
    state.counters["slowest_ms"] = slowest;
}
BENCHMARK(BM_KeystrokeToRepaint)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// An arrow key, as the key routing posts it, to the next selection painted; down the list and
// back up again.
void BM_ArrowToSelectionPainted(benchmark::State& state)
{
    Panel panel(historyFor(state));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    Panel::paint(*controller);
    int moves = 0;
    bool down = true;
    for (auto _ : state) {
        PanelCommandBus::shared().post(
            down ? CompactKeyboardCommand::selectNextClip : CompactKeyboardCommand::selectPreviousClip,
            controller->panel());
        Panel::paint(*controller);
        if (++moves % 200 == 0)
            down = !down;
    }
}
BENCHMARK(BM_ArrowToSelectionPainted)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// Return on a 50,000-character clip: its catalogue (every transform's availability) is built
// and the action list painted.
void BM_OpenActionsOnLongClip(benchmark::State& state)
{
    Panel panel(mixedHistory());
    QRandomGenerator random(3);
    panel.store.record(sentence(random, 12'000).left(50'000), ReferenceDate::now() + 10);
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    Panel::paint(*controller);
    CompactPanelState& panelState = *controller->panelState();
    panelState.setSelectedItemID(panel.store.itemAt(0).id());
    for (auto _ : state) {
        PanelCommandBus::shared().post(CompactKeyboardCommand::accept, controller->panel());
        Panel::paint(*controller);
        state.PauseTiming();
        panelState.showResults();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenActionsOnLongClip)->Unit(benchmark::kMillisecond);

// A history of a few short clips under one long text: 50,000,006 characters of lines, one line
// of 2,000,020 characters (a URL), or 400,000 characters of lines (long, but edited in place).
ClipboardHistoryState longClipHistory(int64_t kind)
{
    QString text;
    if (kind == 0 || kind == 2) {
        const qsizetype length = kind == 0 ? 50'000'006 : 400'000;
        const QString line = QStringLiteral("Line of the export: the quarterly invoice for the garden parcel.\n");
        text.reserve(length + line.size());
        while (text.size() < length)
            text += line;
        text.truncate(length);
    } else {
        text = QStringLiteral("https://example.com/?q=") + QString(2'000'020 - 23, QLatin1Char('x'));
    }
    const double now = ReferenceDate::now();
    return {{ClipboardItem(QUuid::createUuid(), text, now), ClipboardItem(QUuid::createUuid(), QStringLiteral("short"), now - 60)},
            DefaultPinboards::all()};
}

const char* longClipLabel(int64_t kind)
{
    return kind == 0 ? "50,000,006 chars" : kind == 1 ? "2,000,020-char line" : "400,000 chars";
}

// Control+E on the long clip to the editor painted.
void BM_OpenEditorOnLongClip(benchmark::State& state)
{
    Panel panel(longClipHistory(state.range(0)));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    Panel::paint(*controller);
    CompactPanelState& panelState = *controller->panelState();
    for (auto _ : state) {
        PanelCommandBus::shared().post(CompactKeyboardCommand::editSelectedClip, controller->panel());
        Panel::paint(*controller);
        state.PauseTiming();
        panelState.requestLeaveEditor();
        panelState.showResults();
        Panel::paint(*controller);
        state.ResumeTiming();
    }
    state.SetLabel(longClipLabel(state.range(0)));
}
BENCHMARK(BM_OpenEditorOnLongClip)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One character typed into the middle of a 400,000-character clip (status, buttons and font
// worked out again) to the editor painted again.
void BM_EditorKeystrokeOnLongClip(benchmark::State& state)
{
    Panel panel(longClipHistory(2));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    PanelCommandBus::shared().post(CompactKeyboardCommand::editSelectedClip, controller->panel());
    Panel::paint(*controller);
    ClipTextEditor* editor = controller->view()->editor();
    editor->setFocus();
    QTextCursor middle(editor->document());
    middle.setPosition(editor->document()->characterCount() / 2);
    editor->setTextCursor(middle);
    editor->ensureCursorVisible();
    Panel::paint(*controller);
    int typed = 0;
    for (auto _ : state) {
        const bool erase = typed++ % 2 == 1;
        QKeyEvent press(QEvent::KeyPress, erase ? Qt::Key_Backspace : Qt::Key_X, Qt::NoModifier,
                        erase ? QString() : QStringLiteral("x"));
        QApplication::sendEvent(editor, &press);
        Panel::paint(*controller);
    }
    state.SetLabel(longClipLabel(2));
}
BENCHMARK(BM_EditorKeystrokeOnLongClip)->Unit(benchmark::kMillisecond);

// Scrolling through the whole result list of the mixed history a page at a time (its 200
// images decode off the main thread); reports the longest page.
void BM_ScrollThroughImages(benchmark::State& state)
{
    Panel panel(textHistory(400, 200, ImagePlacement::amongTexts));
    std::unique_ptr<CompactClipboardPanelController> controller = panel.makeController();
    controller->show();
    QListView* list = controller->view()->resultList();
    double longestPage = 0;
    int pages = 0;
    for (auto _ : state) {
        panel.thumbnails.clear();
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(0);
        while (true) {
            QElapsedTimer timer;
            timer.start();
            Panel::paint(*controller);
            QCoreApplication::processEvents();
            longestPage = std::max(longestPage, timer.nsecsElapsed() / 1e6);
            ++pages;
            if (bar->value() >= bar->maximum())
                break;
            bar->setValue(bar->value() + bar->pageStep() / 2);
        }
    }
    state.counters["longest_page_ms"] = longestPage;
    state.counters["pages"] = double(pages) / double(state.iterations());
}
BENCHMARK(BM_ScrollThroughImages)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
