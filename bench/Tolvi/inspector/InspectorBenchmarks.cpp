// The history window's inspector: from selecting a clip to the window painted with it, for an
// ordinary text, a 50,000-character text (in paragraphs, and as one line), an image file of
// 20 MB (past the raster policy's limit: refused from its header) and an image of 20 MB of
// pixels (decoded off the main thread). Images paint a placeholder first; the counters give
// how long the decode took and the paint once it arrived, and for long texts how long the
// rest of the layout took in idle slices and the longest turn of the event loop meanwhile.
//   InspectorBenchmarks [--benchmark_filter=...]
#include "Tolvi/history/ClipboardHistoryPanel.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/HistoryWindowState.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipLensView.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/SelectablePlainText.h"

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
#include <QImageWriter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace tolvi;
using namespace tolvi::bench;

namespace {

enum Case { ordinaryText, longText, longLine, largeFile, largePicture };

QString paragraphs(qsizetype length)
{
    const QString sentence =
        QStringLiteral("The quick brown fox jumps over the lazy dog while the clipboard keeps every word of it. ");
    QString text;
    int count = 0;
    while (text.size() < length) {
        text += sentence;
        if (++count % 6 == 0)
            text += QStringLiteral("\n\n");
    }
    text.truncate(length);
    return text;
}

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return bytes;
}

// Noise does not compress: about three bytes a pixel.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

// A photograph-like picture of 2592 x 2048 pixels: 21 MB decoded.
QImage photo()
{
    QImage image(2592, 2048, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random.bounded(3));
            line[x] = qRgb(qBound(0, int(127 + 100 * std::sin(x * 0.004)) + n, 255),
                           qBound(0, int(127 + 100 * std::sin(y * 0.006 + x * 0.001)) + n, 255),
                           qBound(0, int(127 + 100 * std::cos((x + y) * 0.003)) + n, 255));
        }
    }
    return image;
}

ClipboardItem clipFor(Case which, double now)
{
    switch (which) {
    case ordinaryText:
        return ClipboardItem(QUuid::createUuid(),
                             QStringLiteral("Hi team,\n\nthe release candidate is ready for testing. Please try the new "
                                            "history window and file anything odd before Thursday.\n\nThanks,\nAda"),
                             now - 10);
    case longText:
        return ClipboardItem(QUuid::createUuid(), paragraphs(50'000), now - 10);
    case longLine:
        return ClipboardItem(QUuid::createUuid(), paragraphs(50'000).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                             now - 10);
    case largeFile: {
        const QImage picture = noise(2900, 2300);
        return ClipboardItem(QUuid::createUuid(),
                             ClipboardContent::image(ClipboardImage(png(picture), QStringLiteral("public.png"),
                                                                    picture.width(), picture.height())),
                             now - 10);
    }
    case largePicture: {
        const QImage picture = photo();
        return ClipboardItem(QUuid::createUuid(),
                             ClipboardContent::image(ClipboardImage(png(picture), QStringLiteral("public.png"),
                                                                    picture.width(), picture.height())),
                             now - 10);
    }
    }
    return ClipboardItem(QStringLiteral("?"));
}

// A history of a few hundred clips with the measured one in the middle.
struct Window {
    Window(Case which)
        : target(clipFor(which, ReferenceDate::now())),
          store(std::make_shared<PreparedHistory>(history()), uncappedConfiguration())
    {
        controller = std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, false), usage, paste, nullptr, nullptr, {}, {},
            nullptr, nullptr, &thumbnails, {}, {}, {}});
        controller->show(false);
        state = controller->windowState();
        lens = controller->view()->inspectorPlace()->findChild<ClipLensView*>();
        paint();
    }

    ClipboardHistoryState history() const
    {
        QList<ClipboardItem> items;
        const double now = ReferenceDate::now();
        for (int i = 0; i < 300; ++i) {
            if (i == 7)
                items.append(target);
            items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("Clip number %1 of the history").arg(i),
                                       now - 60.0 * (i + 1)));
        }
        return {items, DefaultPinboards::all()};
    }

    // Lays out what changed and paints the whole window as the screen would get it.
    void paint()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QWidget* panel = controller->panel();
        if (canvas.size() != panel->size())
            canvas = QImage(panel->size(), QImage::Format_ARGB32_Premultiplied);
        panel->render(&canvas);
    }

    ClipboardItem target;
    ClipboardStore store;
    InMemoryKeyValueSettings settings;
    FakeClock clock;
    UsageMetricsStore usage{settings, clock};
    InMemoryPasteboard pasteboard;
    PasteService paste{pasteboard, inertPasteEnvironment()};
    ThumbnailCache thumbnails;
    std::unique_ptr<ClipboardPanelController> controller;
    HistoryWindowState* state = nullptr;
    ClipLensView* lens = nullptr;
    QImage canvas;
};

void BM_SelectClipToInspectorPainted(benchmark::State& state)
{
    const Case which = Case(state.range(0));
    Window window(which);
    if (!window.lens || !window.store.item(window.target.id())) {
        state.SkipWithError("the history window has no inspector, or the store did not keep the clip");
        return;
    }
    // An ordinary clip of the list, shown before each measured selection.
    const QUuid other = window.state->filteredItems().at(3).id();
    const bool image = which == largeFile || which == largePicture;
    double slowest = 0;
    double decodeTotal = 0;
    double decodedPaintTotal = 0;
    double restLayoutTotal = 0;
    double longestTurn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.state->selectItem(other);
        window.paint();
        // Every iteration starts without the decoded preview.
        window.thumbnails.clear();
        // What the event loop would have done meanwhile: the last clip's tools deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        window.state->selectItem(window.target.id());
        window.paint();
        slowest = std::max(slowest, timer.nsecsElapsed() / 1e6);

        state.PauseTiming();
        if (image) {
            QElapsedTimer decode;
            decode.start();
            while (window.thumbnails.pendingCount() > 0)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            decodeTotal += decode.nsecsElapsed() / 1e6;
            QElapsedTimer repaint;
            repaint.start();
            window.paint();
            decodedPaintTotal += repaint.nsecsElapsed() / 1e6;
        } else if (SelectablePlainText* text = window.lens->textPreview()) {
            // The window's own repaint after the selection first; then each turn of the event
            // loop lays out one slice (and relays out and repaints after the slice before).
            QCoreApplication::sendPostedEvents();
            QElapsedTimer rest;
            rest.start();
            while (!text->isFullyLaidOut()) {
                QElapsedTimer turn;
                turn.start();
                QCoreApplication::processEvents();
                longestTurn = std::max(longestTurn, turn.nsecsElapsed() / 1e6);
            }
            restLayoutTotal += rest.nsecsElapsed() / 1e6;
        }
        state.ResumeTiming();
    }
    const double iterations = double(state.iterations());
    state.counters["slowest_ms"] = slowest;
    if (image) {
        state.counters["decode_ms"] = decodeTotal / iterations;
        state.counters["decoded_paint_ms"] = decodedPaintTotal / iterations;
    } else {
        state.counters["rest_layout_ms"] = restLayoutTotal / iterations;
        state.counters["longest_turn_ms"] = longestTurn;
    }
}
BENCHMARK(BM_SelectClipToInspectorPainted)
    ->ArgName("case")
    ->Arg(ordinaryText)
    ->Arg(longText)
    ->Arg(longLine)
    ->Arg(largeFile)
    ->Arg(largePicture)
    ->Unit(benchmark::kMillisecond);

} // namespace
