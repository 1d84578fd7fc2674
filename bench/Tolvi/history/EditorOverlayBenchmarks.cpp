// The quick editor on a text of a million characters (history files can hold texts above the
// capture limit): from the request to edit to the card painted at rest, and one typed character
// to the card painted again, for a text of many lines and for one single line (minified JSON).
// The card comes in at once here (reduced motion), so what is timed is building, loading,
// laying out and painting, not the fade.
//   EditorOverlayBenchmarks [--benchmark_filter=...]
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"

#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/services/paste/InertPasteEnvironment.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/store/ClipboardStore.h"

#include "BenchmarkHistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QTextCursor>

#include <benchmark/benchmark.h>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

constexpr qsizetype million = 1'000'000;

// Lines of prose of about 80 characters, or one line of minified JSON.
QString bigText(bool oneLine)
{
    QString text;
    text.reserve(million + 100);
    int i = 0;
    while (text.size() < million) {
        if (oneLine)
            text += QStringLiteral("{\"id\":%1,\"name\":\"customer %1\",\"total\":%2},").arg(i).arg(i * 7 % 1000);
        else
            text += QStringLiteral("Line %1: the quarterly invoice for the garden parcel was sent again today.\n")
                        .arg(i);
        ++i;
    }
    return text;
}

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Window {
    explicit Window(bool oneLine)
        : store(std::make_shared<PreparedHistory>(ClipboardHistoryState{
                    {ClipboardItem(QUuid::createUuid(), bigText(oneLine), ReferenceDate::now()),
                     ClipboardItem(QUuid::createUuid(), QStringLiteral("a short clip"), ReferenceDate::now() - 60)},
                    DefaultPinboards::all()}),
                ClipboardStore::Configuration::standard())
    {
        accessibility.setReduceMotion(true);
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, true), usage, paste, nullptr, nullptr, {}, {},
            &theme, nullptr, &thumbnails, {}, {}, {}});
        controller->show(false);
        paint();
    }

    // Paints the window as the screen would get it.
    void paint()
    {
        QWidget* panel = controller->panel();
        if (target.size() != panel->size())
            target = QImage(panel->size(), QImage::Format_ARGB32_Premultiplied);
        panel->render(&target);
    }

    ClipboardItem bigClip() const { return store.itemAt(0); }

    ClipboardStore store;
    AccessibilitySettings accessibility;
    TolviTheme theme{&accessibility};
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
    QImage target;
};

// From the request to edit the clip to the card painted with its text.
void BM_OpenQuickEditToPainted(benchmark::State& state)
{
    Window window(state.range(0) == 1);
    HistoryWindowState& history = *window.controller->windowState();
    const ClipboardItem clip = window.bigClip();
    for (auto _ : state) {
        history.setEditingItem(clip);
        window.paint();
        state.PauseTiming();
        history.setEditingItem(std::nullopt);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window.paint();
        state.ResumeTiming();
    }
    state.SetLabel(state.range(0) == 1 ? "one line" : "lines");
}
BENCHMARK(BM_OpenQuickEditToPainted)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One character typed into the text, with the card's status, buttons and font worked out
// again, to the window's changed areas painted (as the screen gets them).
void BM_KeystrokeToPainted(benchmark::State& state)
{
    Window window(state.range(0) == 1);
    HistoryWindowState& history = *window.controller->windowState();
    history.setEditingItem(window.bigClip());
    window.paint();
    ClipTextEditorOverlay* overlay = window.controller->view()->quickEditOverlay();
    ClipTextEditor* editor = overlay->editor();
    editor->setFocus();
    QTextCursor middle(editor->document());
    middle.setPosition(editor->document()->characterCount() / 2);
    editor->setTextCursor(middle);
    editor->ensureCursorVisible();
    window.paint();
    PaintCounter counter;
    editor->viewport()->installEventFilter(&counter);
    double slowest = 0;
    int typed = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const bool erase = typed++ % 2 == 1;
        QKeyEvent press(QEvent::KeyPress, erase ? Qt::Key_Backspace : Qt::Key_X, Qt::NoModifier,
                        erase ? QString() : QStringLiteral("x"));
        QApplication::sendEvent(editor, &press);
        // The update requests of the changed areas are handled: they are painted.
        QCoreApplication::processEvents();
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);
    }
    state.counters["slowest_ms"] = slowest;
    // Every keystroke painted the text.
    state.counters["paints_per_key"] = double(counter.paints) / double(std::max(1, typed));
    state.SetLabel(state.range(0) == 1 ? "one line" : "lines");
}
BENCHMARK(BM_KeystrokeToPainted)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What the status line's count costs per keystroke: counting the whole text twice (edited and
// saved) against following the edit.
void BM_CharacterCountPerKeystroke(benchmark::State& state)
{
    QString text = bigText(false);
    const bool incremental = state.range(0) == 1;
    IncrementalCharacterCount count;
    count.count(text);
    qsizetype at = text.size() / 2;
    for (auto _ : state) {
        text.insert(at++, QLatin1Char('x'));
        if (incremental)
            benchmark::DoNotOptimize(count.count(text));
        else
            benchmark::DoNotOptimize(UnicodeText::characterCount(text) + UnicodeText::characterCount(text));
    }
    state.SetLabel(incremental ? "following the edit" : "whole text twice");
}
BENCHMARK(BM_CharacterCountPerKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
