// The full-size preview: opening it on a 40-megapixel PNG until the picture is decoded at the
// size shown (wall time, and the longest the main thread was kept from its events meanwhile),
// and opening it on a long text until it is painted. Offscreen; run by hand:
//   QuickLookBenchmarks [--benchmark_filter=...]
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipQuickLookOverlay.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tolvi {
namespace {

constexpr double now = 800'000'000.0;

// 8000 x 5000 pixels of a screenshot-like picture (flat panels, bands of text-like strokes, a
// gradient): 40 megapixels in a PNG that stays under the 12 MB the raster policy accepts.
const QByteArray& fortyMegapixelPNG()
{
    static const QByteArray bytes = [] {
        QImage image(8000, 5000, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 8000, 5000);
        sky.setColorAt(0, QColor(0x1d, 0x3b, 0x8f));
        sky.setColorAt(1, QColor(0xf2, 0x9e, 0x4c));
        painter.fillRect(image.rect(), sky);
        QRandomGenerator random(40);
        for (int panel = 0; panel < 24; ++panel) {
            const QRect area(int(random.bounded(7000)), int(random.bounded(4200)), 600 + int(random.bounded(900)),
                             300 + int(random.bounded(500)));
            painter.fillRect(area, QColor::fromHsv(int(random.bounded(360)), 40, 245));
            for (int line = area.top() + 20; line < area.bottom() - 20; line += 28)
                painter.fillRect(area.left() + 20, line, int(random.bounded(area.width() - 40)), 12, QColor(40, 40, 40));
        }
        painter.end();
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.write(image);
        return encoded;
    }();
    return bytes;
}

QString longText(qsizetype length)
{
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog while the clipboard keeps it. ");
    QString text;
    text.reserve(length + sentence.size());
    int count = 0;
    while (text.size() < length) {
        text += sentence;
        if (++count % 8 == 0)
            text += QLatin1Char('\n');
    }
    text.truncate(length);
    return text;
}

// A window of a laptop screen's size holding the preview.
struct Host {
    Host()
    {
        theme.accessibility().setReduceMotion(true);
        TolviWindowAppearance::attach(&window, &theme);
        window.resize(1440, 900);
        window.show();
        target = QImage(window.size(), QImage::Format_ARGB32_Premultiplied);
    }

    void paint() { window.render(&target); }

    // A running program has drawn its windows before: the fonts, symbols and styles the preview
    // uses are loaded. One preview of a small picture and one of a text, painted, untimed.
    void warmUp()
    {
        ThumbnailCache thumbnails;
        QImage small(64, 48, QImage::Format_RGB32);
        small.fill(Qt::darkCyan);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        small.save(&buffer, "PNG");
        const ClipboardItem picture(QUuid::createUuid(),
                                    ClipboardContent::image(ClipboardImage(bytes, QStringLiteral("public.png"), 64, 48)),
                                    now);
        std::unique_ptr<ClipQuickLookOverlay> overlay(open(picture, &thumbnails));
        paint();
        while (overlay->imageState() == ClipQuickLookOverlay::ImageState::pending)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        paint();
        overlay.reset(open(ClipboardItem(QUuid::createUuid(), QStringLiteral("warm\nup"), now), nullptr));
        paint();
        overlay.reset();
        QCoreApplication::processEvents();
    }

    ClipQuickLookOverlay* open(const ClipboardItem& item, ThumbnailCache* thumbnails)
    {
        ClipQuickLookOverlay::Environment environment;
        environment.thumbnails = thumbnails;
        environment.now = [] { return now; };
        auto* overlay = new ClipQuickLookOverlay(item, ClipQuickLookOverlay::Actions{}, std::move(environment), &window);
        overlay->present();
        return overlay;
    }

    TolviTheme theme;
    QWidget window;
    QImage target;
};

// From the call that opens the preview to the decoded picture painted. Each iteration asks a
// fresh cache, so every one decodes. stall_ms: the longest stretch the main thread spent in
// one go (opening, one turn of the event loop, or one paint) while the picture was on its way.
void BM_PreviewOf40MegapixelPNGToDecoded(benchmark::State& state)
{
    const ClipboardItem item(QUuid::createUuid(),
                             ClipboardContent::image(ClipboardImage(fortyMegapixelPNG(), QStringLiteral("public.png"),
                                                                    8000, 5000)),
                             now);
    Host host;
    host.warmUp();
    double longestStall = 0;
    double slowest = 0;
    for (auto _ : state) {
        ThumbnailCache thumbnails;
        QElapsedTimer total;
        total.start();
        QElapsedTimer step;
        step.start();
        std::unique_ptr<ClipQuickLookOverlay> overlay(host.open(item, &thumbnails));
        host.paint();
        longestStall = std::max(longestStall, step.nsecsElapsed() / 1e6);
        while (overlay->imageState() == ClipQuickLookOverlay::ImageState::pending) {
            step.restart();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            longestStall = std::max(longestStall, step.nsecsElapsed() / 1e6);
            if (total.elapsed() > 30'000)
                break;
        }
        if (overlay->imageState() != ClipQuickLookOverlay::ImageState::ready) {
            state.SkipWithError("the picture did not decode");
            break;
        }
        step.restart();
        host.paint();
        longestStall = std::max(longestStall, step.nsecsElapsed() / 1e6);
        slowest = std::max(slowest, total.nsecsElapsed() / 1e6);
    }
    state.counters["encoded_MB"] = double(fortyMegapixelPNG().size()) / 1e6;
    state.counters["slowest_ms"] = slowest;
    state.counters["stall_ms"] = longestStall;
}
BENCHMARK(BM_PreviewOf40MegapixelPNGToDecoded)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// From the call that opens the preview of a long text to the window painted with it: the
// longest text the history records (50,000 characters) and a 1 MB text from an older history.
void BM_PreviewOfLongTextToPainted(benchmark::State& state)
{
    const ClipboardItem item(QUuid::createUuid(), longText(state.range(0)), now);
    Host host;
    host.warmUp();
    for (auto _ : state) {
        std::unique_ptr<ClipQuickLookOverlay> overlay(host.open(item, nullptr));
        host.paint();
        state.PauseTiming();
        overlay.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewOfLongTextToPainted)->Arg(50'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tolvi
