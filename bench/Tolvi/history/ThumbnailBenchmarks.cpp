// Costs of the history rows' preview tiles: decoding one tile from a photo-sized PNG and a
// 4000 x 3000 JPEG, and what the tiles of a screenful-and-more of image rows keep in memory.
// Offscreen; run by hand:
//   ThumbnailBenchmarks [--benchmark_filter=...]
#include "Tolvi/clipviews/ThumbnailCache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <cmath>

namespace tolvi {
namespace {

QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

// Smooth gradients under fine noise: compresses about as badly as a photograph does.
QImage photoLike(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            const int r = int(127 + 100 * std::sin(x * 0.011 + seed)) + noise;
            const int g = int(127 + 100 * std::sin(y * 0.017 + x * 0.003)) + noise;
            const int b = int(127 + 100 * std::cos((x + y) * 0.007)) + noise;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

// One tile, from the request to the cache holding it, on a one-thread pool. Each iteration
// asks a fresh cache, so every one decodes.
void decodeOneTile(benchmark::State& state, const ClipboardImage& image, int side)
{
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    for (auto _ : state) {
        ThumbnailCache cache(ThumbnailCache::defaultByteBudget, &pool);
        cache.thumbnail(image, side);
        pool.waitForDone();
        QCoreApplication::processEvents();
        if (cache.thumbnail(image, side).state != ClipboardRow::Thumbnail::State::ready) {
            state.SkipWithError("the tile did not decode");
            break;
        }
    }
}

void BM_TileFromPNGPhoto(benchmark::State& state)
{
    // 896 x 672 of noisy gradients: a PNG of about one megabyte.
    static const ClipboardImage image(encoded(photoLike(896, 672, 1), "png"), QStringLiteral("public.png"));
    state.counters["encodedBytes"] = double(image.byteCount());
    decodeOneTile(state, image, int(state.range(0)));
}
BENCHMARK(BM_TileFromPNGPhoto)->Arg(96)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TileFromLargeJPEG(benchmark::State& state)
{
    static const ClipboardImage image(encoded(photoLike(4'000, 3'000, 2), "jpeg", 85), QStringLiteral("public.jpeg"));
    state.counters["encodedBytes"] = double(image.byteCount());
    decodeOneTile(state, image, int(state.range(0)));
}
BENCHMARK(BM_TileFromLargeJPEG)->Arg(96)->Unit(benchmark::kMillisecond)->UseRealTime();

// 200 image rows' tiles at 48 points on a 2x screen: the bytes kept, and the time to decode
// them all on the cache's own two threads.
void BM_TilesOfTwoHundredImages(benchmark::State& state)
{
    constexpr int count = 200;
    constexpr int side = 48 * 2;
    QList<ClipboardImage> images;
    for (int i = 0; i < count; ++i)
        images.append(ClipboardImage(encoded(photoLike(320, 240, quint32(i)), "jpeg", 85), QStringLiteral("public.jpeg")));
    qint64 keptBytes = 0;
    for (auto _ : state) {
        ThumbnailCache cache;
        for (const ClipboardImage& image : images)
            cache.thumbnail(image, side);
        while (cache.pendingCount() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        keptBytes = cache.totalBytes();
    }
    state.counters["keptBytes"] = double(keptBytes);
    state.counters["keptMiB"] = double(keptBytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_TilesOfTwoHundredImages)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace tolvi
