// Each view of one clip opened on texts a history file can hold that are hard to lay out: the
// history window (the clip's row and the detail pane), the full-size preview, quick edit, and
// the compact panel's editor. Per view and text:
//  - stall_ms: the longest time the main thread went without turning its event loop, from
//    opening the view until it showed the whole text (an editor makes the document of a text of
//    many paragraphs off the main thread), had been painted, scrolled to the end and left idle a
//    moment;
//  - peak_x_clip: what the view took for the clip, as a multiple of the clip's size (UTF-16):
//    the growth of the allocator's peak over that time, less fixed_mb;
//  - fixed_mb: what the same view takes for a clip of the clip's first characters (its widgets
//    and documents, the fonts of that script at the view's sizes), measured after the clip;
//  - first_mb: that view's first showing in the process, before the clip, on a hundred lines
//    of those characters (fonts, styles, the scroll bars' and the window's first paint: paid
//    once, whatever the text);
//  - rss_mb: the growth of the resident size over the clip's showing (with mapped library and
//    font pages, which the allocator's figures leave out).
// Offscreen. Each case is best run in a process of its own, so no case pays for another:
//   HostileTextViewsBenchmarks --benchmark_filter='BM_HostileTextView/view:1/text:2/'
// The views draw with the machine's own fonts, as a desktop does. The joined emoji are measured
// only where a colour emoji font (Noto Color Emoji, fonts-noto-color-emoji) is what shows them:
// each of its emoji is a picture decoded to be measured, which is what these figures are about.
#include "tests/Tolvi/history/HistoryTestSupport.h"
#include "tests/support/HostileTexts.h"
#include "tests/support/MainThreadWatchdog.h"

#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ClipTextEditorOverlay.h"
#include "Tolvi/inspector/ShownText.h"
#include "Tolvi/panels/PanelCommandBus.h"
#include "Tolvi/platform/shell/Clock.h"

#include "HeapUsage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGlyphRun>
#include <QImage>
#include <QRawFont>
#include <QScrollBar>
#include <QTextLayout>

#include <benchmark/benchmark.h>

#include <algorithm>

using namespace tolvi;
using namespace tolvi::test;
using tolvi::bench::HeapUsage::current;

namespace {

constexpr double now = 800'000'000.0;
constexpr double megabyte = 1024.0 * 1024.0;

enum View { window, preview, quickEdit, compactEditor };

const char* viewName(View view)
{
    switch (view) {
    case window: return "window";
    case preview: return "preview";
    case quickEdit: return "quick edit";
    case compactEditor: return "compact editor";
    }
    return "";
}

qint64 residentKilobytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

void resetResidentPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Paints a window as the screen would get it, into one image larger than any of the windows
// (so that the painting itself costs the figures nothing).
void paint(QWidget* window)
{
    static QImage target(QSize(2000, 1500), QImage::Format_ARGB32_Premultiplied);
    window->render(&target);
}

// Lets the window finish what it does in idle time (the detail pane lays out its text in
// slices), so that a view opened over it is measured alone.
void settle()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 600)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void scrollToEnd(QWidget* root)
{
    for (QAbstractScrollArea* area : root->findChildren<QAbstractScrollArea*>())
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
}

// What one showing of a view cost.
struct Showing {
    double stallMilliseconds = 0;
    qint64 heapBytes = 0;
    qint64 residentBytes = 0;
};

// Counts from the moment the view is asked for until the end of the object's life.
class Measurement {
public:
    Measurement()
    {
        bench::HeapUsage::trim();
        resetResidentPeak();
        m_resident = residentKilobytes("VmHWM:");
        bench::HeapUsage::resetPeak();
        m_heap = current();
        m_watchdog = std::make_unique<MainThreadWatchdog>(600);
    }

    MainThreadWatchdog& watchdog() { return *m_watchdog; }

    // The rest of every view's showing: painted, the event loop turned, `scrolled` scrolled to
    // the end, painted again and left idle a moment; what it all cost.
    Showing finish(QWidget* window, QWidget* scrolled)
    {
        pumpWhileLoading(window);
        paint(window);
        m_watchdog->pump(300);
        scrollToEnd(scrolled);
        paint(window);
        m_watchdog->pump(500);
        return finish();
    }

    Showing finish()
    {
        Showing showing;
        showing.stallMilliseconds = m_watchdog->takeLongestStallMilliseconds();
        showing.heapBytes = bench::HeapUsage::peak() - m_heap;
        showing.residentBytes = (residentKilobytes("VmHWM:") - m_resident) * 1024;
        m_watchdog.reset();
        return showing;
    }

private:
    void pumpWhileLoading(QWidget* window)
    {
        auto loading = [window] {
            const QList<ClipTextEditor*> editors = window->findChildren<ClipTextEditor*>();
            return std::any_of(editors.cbegin(), editors.cend(),
                               [](const ClipTextEditor* editor) { return editor->isLoading(); });
        };
        QElapsedTimer clock;
        clock.start();
        while (loading() && clock.elapsed() < 120'000)
            m_watchdog->pump(10);
    }

    qint64 m_heap = 0;
    qint64 m_resident = 0;
    std::unique_ptr<MainThreadWatchdog> m_watchdog;
};

struct Environment {
    Environment() { theme.accessibility().setReduceMotion(true); }

    TolviTheme theme;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    RecordingPaste paste;
    ThumbnailCache thumbnails;
};

// The history window with the clip selected, and the view of it opened from there.
Showing showInHistoryWindow(View view, const QString& text, Environment& environment)
{
    auto history = std::make_shared<MemoryHistory>();
    history->state.items = {ClipboardItem(QUuid::createUuid(), text, now - 30)};
    ClipboardStore store(history, ClipboardStore::Configuration::standard());
    std::unique_ptr<ClipboardPanelController> controller;
    auto open = [&] {
        ClipboardPanelController::Dependencies dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), environment.usage,
            environment.paste.service, nullptr, nullptr, {}, {}, &environment.theme, &environment.settings,
            &environment.thumbnails, QStringLiteral("tolvi"), {}, [] { return now; }};
        controller = std::make_unique<ClipboardPanelController>(std::move(dependencies));
        controller->show(false);
    };
    Showing showing;
    if (view == window) {
        Measurement measurement;
        open();
        measurement.watchdog().pump(300);
        showing = measurement.finish(controller->panel(), controller->panel());
    } else {
        open();
        paint(controller->panel());
        settle();
        Measurement measurement;
        HistoryWindowState& windowState = *controller->windowState();
        QWidget* overlay = nullptr;
        if (view == preview) {
            windowState.openPreview(*windowState.lensItem());
            overlay = controller->view()->previewOverlay();
        } else {
            windowState.setEditingItem(*windowState.lensItem());
            overlay = controller->view()->quickEditOverlay();
        }
        showing = measurement.finish(controller->panel(), overlay);
    }
    controller.reset();
    QCoreApplication::processEvents();
    // Documents destroyed off the main thread are gone before the next showing.
    ShownText::workPool().waitForDone();
    return showing;
}

// The compact panel with the clip selected, and its editor opened on it (Control+E).
Showing showInCompactEditor(const QString& text, Environment& environment)
{
    auto history = std::make_shared<MemoryHistory>();
    history->state.items = {ClipboardItem(QUuid::createUuid(), text, now - 30)};
    ClipboardStore store(history, ClipboardStore::Configuration::standard());
    CompactClipboardPanelController::Dependencies dependencies{
        store, FeatureFlags(TolviDistributionChannel::direct, false), environment.usage, environment.paste.service};
    dependencies.theme = &environment.theme;
    dependencies.thumbnails = &environment.thumbnails;
    dependencies.now = [] { return now; };
    dependencies.pointerPosition = [] { return QPoint(400, 300); };
    auto controller = std::make_unique<CompactClipboardPanelController>(std::move(dependencies));
    controller->show();
    paint(controller->panel());
    settle();
    Showing showing;
    {
        Measurement measurement;
        PanelCommandBus::shared().post(CompactKeyboardCommand::editSelectedClip, controller->panel());
        showing = measurement.finish(controller->panel(), controller->panel());
    }
    controller.reset();
    QCoreApplication::processEvents();
    ShownText::workPool().waitForDone();
    return showing;
}

Showing show(View view, const QString& text, Environment& environment)
{
    return view == compactEditor ? showInCompactEditor(text, environment)
                                 : showInHistoryWindow(view, text, environment);
}

// The family of the font that shows an emoji in the views' font.
QString emojiFamily()
{
    QTextLayout layout(QString::fromUcs4(U"\U0001F469", 1), TolviDesign::systemFont(13));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.isEmpty() ? QString() : runs.first().rawFont().familyName();
}

void BM_HostileTextView(benchmark::State& state)
{
    const View view = View(state.range(0));
    const HostileText& hostile = hostileTexts()[size_t(state.range(1))];
    state.SetLabel(std::string(hostile.name) + " in the " + viewName(view));
    if (hostile.make == joinedEmoji) {
        const QString family = emojiFamily();
        if (family != QStringLiteral("Noto Color Emoji")) {
            state.SkipWithError(("emoji are shown with \"" + family.toStdString()
                                 + "\", not Noto Color Emoji: install fonts-noto-color-emoji")
                                    .c_str());
            return;
        }
    }
    const QString text = hostile.make();
    // The clip's first few characters: the same script and fonts, so what the view takes for
    // any text of them (font engines at the view's sizes, say) counts as fixed.
    qsizetype headLength = std::min<qsizetype>(text.size(), 40);
    if (headLength < text.size() && text.at(headLength - 1).isHighSurrogate())
        --headLength;
    const QString shortLine = text.left(headLength);
    QString lines;
    for (int line = 0; line < 100; ++line)
        lines += shortLine + QLatin1Char('\n');
    Environment environment;
    Showing first, clip, fixed;
    for (auto _ : state) {
        first = show(view, lines, environment);
        clip = show(view, text, environment);
        fixed = show(view, shortLine, environment);
    }
    const double clipBytes = double(text.size()) * 2;
    state.counters["stall_ms"] = clip.stallMilliseconds;
    state.counters["peak_x_clip"] = double(clip.heapBytes - fixed.heapBytes) / clipBytes;
    state.counters["fixed_mb"] = double(fixed.heapBytes) / megabyte;
    state.counters["first_mb"] = double(first.heapBytes) / megabyte;
    state.counters["rss_mb"] = double(clip.residentBytes) / megabyte;
}
BENCHMARK(BM_HostileTextView)
    ->ArgsProduct({{window, preview, quickEdit, compactEditor}, {0, 1, 2, 3, 4, 5, 6}})
    ->ArgNames({"view", "text"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
