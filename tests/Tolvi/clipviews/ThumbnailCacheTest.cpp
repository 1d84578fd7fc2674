#include "Tolvi/clipviews/ThumbnailCache.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <cstdlib>
#include <memory>

namespace tolvi {
namespace {

using State = ClipboardRow::Thumbnail::State;

constexpr int deadlineMs = 20'000;

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

// Vertical bands of equal width, left to right.
QImage bands(int width, int height, const QList<QColor>& colors, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    QPainter painter(&image);
    const int band = width / int(colors.size());
    for (int i = 0; i < colors.size(); ++i)
        painter.fillRect(i * band, 0, band, height, colors[i]);
    return image;
}

ClipboardImage png(const QImage& image)
{
    return ClipboardImage(encoded(image, "png"), QStringLiteral("public.png"));
}

ClipboardImage solid(QColor color)
{
    return png(bands(64, 64, {color}));
}

// A JPEG whose header says "turn by 90 degrees clockwise to show" (EXIF orientation 6).
QByteArray rotatedJPEG(const QImage& stored)
{
    const QByteArray tiff("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(exif.size()) + 2;
    QByteArray bytes = encoded(stored, "jpeg");
    bytes.insert(2, QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + exif);
    return bytes;
}

bool near(QRgb pixel, QColor expected, int tolerance = 40)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
        && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

// Asks until the tile is no longer pending, letting queued deliveries through.
ClipboardRow::Thumbnail settled(ThumbnailCache& cache, const ClipboardImage& image, int side)
{
    ClipboardRow::Thumbnail result = cache.thumbnail(image, side);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            result = cache.thumbnail(image, side);
            return result.state != State::pending;
        },
        deadlineMs))
        << "still pending";
    return result;
}

// A one-thread pool held shut until open(), so requests queue up behind the gate.
class GatedPool {
public:
    GatedPool()
    {
        pool.setMaxThreadCount(1);
        pool.start([this] { gate.acquire(); });
    }
    ~GatedPool()
    {
        open();
        pool.waitForDone();
    }
    void open()
    {
        if (!opened) {
            opened = true;
            gate.release();
        }
    }
    QThreadPool pool;

private:
    QSemaphore gate;
    bool opened = false;
};

TEST(ThumbnailCache, TileIsPendingThenReadyFilledAndCentreCropped)
{
    ThumbnailCache cache;
    QSignalSpy spy(&cache, &ThumbnailCache::thumbnailReady);
    // 200 x 100: the centre square (x 50 to 150) is red on the left and blue on the right;
    // the green bands outside it must be cropped away, not squeezed in.
    const ClipboardImage image = png(bands(200, 100, {Qt::green, Qt::red, Qt::blue, Qt::green}));

    const auto first = cache.thumbnail(image, 48);
    EXPECT_EQ(first.state, State::pending);
    EXPECT_TRUE(first.image.isNull());
    EXPECT_EQ(cache.pendingCount(), 1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 1; }, deadlineMs));
    EXPECT_EQ(spy.at(0).at(0).toString(), image.fingerprint());
    EXPECT_EQ(cache.pendingCount(), 0);

    const auto ready = cache.thumbnail(image, 48);
    ASSERT_EQ(ready.state, State::ready);
    const QImage& tile = ready.image;
    EXPECT_EQ(tile.size(), QSize(48, 48));
    EXPECT_EQ(tile.format(), QImage::Format_RGB32);
    EXPECT_EQ(cache.totalBytes(), tile.sizeInBytes());
    for (int y : {2, 24, 45}) {
        EXPECT_TRUE(near(tile.pixel(1, y), Qt::red)) << y;
        EXPECT_TRUE(near(tile.pixel(21, y), Qt::red)) << y;
        EXPECT_TRUE(near(tile.pixel(26, y), Qt::blue)) << y;
        EXPECT_TRUE(near(tile.pixel(46, y), Qt::blue)) << y;
    }
    EXPECT_EQ(spy.count(), 1); // asking for a kept tile starts nothing
}

TEST(ThumbnailCache, PreviewFitsTheWholeImageWithinItsBoundsAndIsNeverEnlarged)
{
    ThumbnailCache cache;
    QSignalSpy spy(&cache, &ThumbnailCache::thumbnailReady);
    // 400 x 100, green on the left half and red on the right: fitted to 200 x 200 it is
    // 200 x 50 with both halves kept (nothing cropped).
    const ClipboardImage wide = png(bands(400, 100, {Qt::green, Qt::red}));
    const ClipboardImage small = solid(Qt::blue);

    EXPECT_EQ(cache.preview(wide, QSize(200, 200)).state, State::pending);
    EXPECT_EQ(cache.preview(small, QSize(200, 200)).state, State::pending);
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() == 2; }, deadlineMs));

    const auto fitted = cache.preview(wide, QSize(200, 200));
    ASSERT_EQ(fitted.state, State::ready);
    EXPECT_EQ(fitted.image.size(), QSize(200, 50));
    EXPECT_TRUE(near(fitted.image.pixel(5, 25), Qt::green));
    EXPECT_TRUE(near(fitted.image.pixel(195, 25), Qt::red));
    // A tile of the same image at the same width is another entry.
    EXPECT_EQ(cache.thumbnail(wide, 200).state, State::pending);

    const auto kept = cache.preview(small, QSize(200, 200));
    ASSERT_EQ(kept.state, State::ready);
    EXPECT_EQ(kept.image.size(), QSize(64, 64));

    // Refused bytes, and bounds that cannot be drawn, fail.
    const ClipboardImage junk(QByteArray(64, 'x'), QStringLiteral("public.png"));
    EXPECT_EQ(cache.preview(junk, QSize(200, 200)).state, State::pending);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cache.pendingCount() == 0; }, deadlineMs));
    EXPECT_EQ(cache.preview(junk, QSize(200, 200)).state, State::failed);
    EXPECT_EQ(cache.preview(wide, QSize(0, 200)).state, State::failed);
}

TEST(ThumbnailCache, TransparencyIsKeptPremultipliedAndOrientationApplied)
{
    ThumbnailCache cache;

    QImage clear(40, 40, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const auto transparent = settled(cache, png(clear), 32);
    ASSERT_EQ(transparent.state, State::ready);
    EXPECT_EQ(transparent.image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qAlpha(transparent.image.pixel(16, 16)), 0);

    // Stored red over blue left to right; shown turned clockwise, red is on top.
    const ClipboardImage turned(rotatedJPEG(bands(200, 100, {Qt::red, Qt::blue})), QStringLiteral("public.jpeg"));
    const auto tile = settled(cache, turned, 48);
    ASSERT_EQ(tile.state, State::ready);
    EXPECT_EQ(tile.image.size(), QSize(48, 48));
    EXPECT_TRUE(near(tile.image.pixel(24, 4), Qt::red));
    EXPECT_TRUE(near(tile.image.pixel(24, 43), Qt::blue));
}

TEST(ThumbnailCache, CoveringDecodeIsReducedToTheTileAndUpright)
{
    using OCRRasterPolicy::previewImageCovering;
    const QByteArray photo = encoded(bands(4'000, 3'000, {Qt::red, Qt::blue}), "jpeg");
    EXPECT_EQ(previewImageCovering(photo, 96).size(), QSize(128, 96));
    // Never enlarged.
    EXPECT_EQ(previewImageCovering(encoded(bands(40, 30, {Qt::red}), "png"), 96).size(), QSize(40, 30));
    // The reduction is worked out on the stored size, the result is upright.
    EXPECT_EQ(previewImageCovering(rotatedJPEG(bands(200, 100, {Qt::red})), 48).size(), QSize(48, 96));
    EXPECT_TRUE(previewImageCovering(photo, 0).isNull());
    EXPECT_TRUE(previewImageCovering("not an image", 48).isNull());
}

TEST(ThumbnailCache, RefusedAndUndecodableBytesFailOnceAndAreNotDecodedAgain)
{
    ThumbnailCache cache;
    QSignalSpy spy(&cache, &ThumbnailCache::thumbnailReady);
    const ClipboardImage garbage(QByteArray("\x89PNG but nothing after it"), QStringLiteral("public.png"));
    // A valid PNG header over a broken body: accepted by the header checks, refused by the decoder.
    QByteArray corrupt = encoded(bands(64, 64, {Qt::red}), "png");
    const qsizetype idat = corrupt.indexOf("IDAT");
    ASSERT_GT(idat, 0);
    for (qsizetype i = idat + 4; i < idat + 12; ++i)
        corrupt[i] = char(~corrupt[i]);
    ASSERT_TRUE(OCRRasterPolicy::metadata(corrupt));
    const ClipboardImage broken(corrupt, QStringLiteral("public.png"));
    const ClipboardImage bitmap(encoded(bands(16, 16, {Qt::red}), "bmp"), QStringLiteral("com.microsoft.bmp"));

    for (const ClipboardImage* image : {&garbage, &broken, &bitmap}) {
        EXPECT_EQ(settled(cache, *image, 48).state, State::failed);
        const auto again = cache.thumbnail(*image, 48);
        EXPECT_EQ(again.state, State::failed);
        EXPECT_TRUE(again.image.isNull());
        EXPECT_EQ(cache.pendingCount(), 0) << "a failure was decoded again";
    }
    EXPECT_EQ(spy.count(), 3); // failures are announced too, so rows drop their placeholder
    EXPECT_EQ(cache.totalBytes(), 0);

    // Refused before any decoding: nothing to decode, or no sensible tile to make.
    const ClipboardImage empty(QByteArray(), QStringLiteral("public.png"));
    EXPECT_EQ(cache.thumbnail(empty, 48).state, State::failed);
    EXPECT_EQ(cache.thumbnail(solid(Qt::red), 0).state, State::failed);
    EXPECT_EQ(cache.thumbnail(solid(Qt::red), 1'000'000).state, State::failed);
    EXPECT_EQ(cache.pendingCount(), 0);
}

TEST(ThumbnailCache, OneKeyIsDecodedOnceWhateverTheRequests)
{
    GatedPool gated;
    ThumbnailCache cache(ThumbnailCache::defaultByteBudget, &gated.pool);
    QSignalSpy spy(&cache, &ThumbnailCache::thumbnailReady);
    // Before its fingerprint is known an image is known by its bytes, which its copies share.
    const ClipboardImage image = solid(Qt::red);
    const ClipboardImage copy = image;
    // Equal bytes of their own, with their fingerprints known (a comparison or OCR worked them out).
    const ClipboardImage known = solid(Qt::blue);
    const ClipboardImage sameBytes = solid(Qt::blue);
    ASSERT_EQ(known.fingerprint(), sameBytes.fingerprint());

    EXPECT_EQ(cache.thumbnail(image, 48).state, State::pending);
    EXPECT_EQ(cache.thumbnail(image, 48).state, State::pending);
    EXPECT_EQ(cache.thumbnail(copy, 48).state, State::pending);
    EXPECT_EQ(cache.thumbnail(image, 96).state, State::pending); // another size is another tile
    EXPECT_EQ(cache.thumbnail(known, 48).state, State::pending);
    EXPECT_EQ(cache.thumbnail(sameBytes, 48).state, State::pending);
    EXPECT_EQ(cache.pendingCount(), 3);

    gated.open();
    ASSERT_TRUE(gated.pool.waitForDone(deadlineMs));
    QCoreApplication::processEvents(); // every finished decode has posted its result by now

    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(cache.pendingCount(), 0);
    // Known by fingerprint now, tiles and all.
    EXPECT_EQ(cache.thumbnail(copy, 48).image.size(), QSize(48, 48));
    EXPECT_EQ(cache.thumbnail(image, 96).image.size(), QSize(96, 96));
    EXPECT_EQ(cache.thumbnail(sameBytes, 48).image.size(), QSize(48, 48));
    EXPECT_EQ(cache.thumbnail(known, 48).image.pixelColor(0, 0), QColor(Qt::blue));
}

TEST(ThumbnailCache, AnImagesFingerprintIsWorkedOutWithItsTileAndNeverOnTheCallingThread)
{
    GatedPool gated;
    ThumbnailCache cache(ThumbnailCache::defaultByteBudget, &gated.pool);
    QSignalSpy spy(&cache, &ThumbnailCache::thumbnailReady);
    const ClipboardImage image = solid(Qt::red);

    EXPECT_EQ(cache.thumbnail(image, 48).state, State::pending);
    EXPECT_EQ(cache.preview(image, QSize(64, 32)).state, State::pending);
    EXPECT_FALSE(image.hasFingerprint());

    gated.open();
    ASSERT_TRUE(gated.pool.waitForDone(deadlineMs));
    QCoreApplication::processEvents();
    ASSERT_TRUE(image.hasFingerprint());
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), image.fingerprint());
    EXPECT_EQ(cache.thumbnail(image, 48).state, State::ready);
    EXPECT_EQ(cache.preview(image, QSize(64, 32)).image.size(), QSize(32, 32));
}

TEST(ThumbnailCache, BudgetKeepsTheMostRecentlyUsedTiles)
{
    const qint64 tile = 48 * 48 * 4;
    ThumbnailCache cache(3 * tile);
    const QList<ClipboardImage> images{solid(Qt::red), solid(Qt::green), solid(Qt::blue), solid(Qt::yellow),
                                       solid(Qt::cyan)};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(settled(cache, images[i], 48).state, State::ready);
    EXPECT_EQ(cache.totalBytes(), 3 * tile);

    EXPECT_EQ(cache.thumbnail(images[0], 48).state, State::ready); // red is used again
    ASSERT_EQ(settled(cache, images[3], 48).state, State::ready);
    EXPECT_EQ(cache.totalBytes(), 3 * tile);
    EXPECT_EQ(cache.thumbnail(images[0], 48).state, State::ready);
    EXPECT_EQ(cache.thumbnail(images[2], 48).state, State::ready);
    EXPECT_EQ(cache.thumbnail(images[1], 48).state, State::pending) << "the least recently used tile goes first";

    ASSERT_EQ(settled(cache, images[4], 48).state, State::ready);
    EXPECT_LE(cache.totalBytes(), cache.byteBudget());

    // A tile the whole budget cannot hold is not decoded only to be thrown away.
    EXPECT_EQ(cache.thumbnail(images[0], 128).state, State::failed);
    EXPECT_EQ(cache.pendingCount(), 0);

    cache.clear();
    EXPECT_EQ(cache.totalBytes(), 0);
    EXPECT_EQ(cache.thumbnail(images[0], 48).state, State::pending);
}

TEST(ThumbnailCache, DestroyingWithDecodesUnderWayIsSafe)
{
    GatedPool gated;
    QObject witness;
    int deliveries = 0;
    const QList<ClipboardImage> images{solid(Qt::red), solid(Qt::green), solid(Qt::blue)};

    // Decodes not yet started when the cache goes.
    {
        auto cache = std::make_unique<ThumbnailCache>(ThumbnailCache::defaultByteBudget, &gated.pool);
        QObject::connect(cache.get(), &ThumbnailCache::thumbnailReady, &witness, [&] { ++deliveries; });
        for (const ClipboardImage& image : images)
            cache->thumbnail(image, 48);
        cache.reset();
        gated.open();
        ASSERT_TRUE(gated.pool.waitForDone(deadlineMs));
        QCoreApplication::processEvents();
    }
    // Results posted but not yet delivered when the cache goes.
    {
        auto cache = std::make_unique<ThumbnailCache>(ThumbnailCache::defaultByteBudget, &gated.pool);
        QObject::connect(cache.get(), &ThumbnailCache::thumbnailReady, &witness, [&] { ++deliveries; });
        for (const ClipboardImage& image : images)
            cache->thumbnail(image, 64);
        ASSERT_TRUE(gated.pool.waitForDone(deadlineMs));
        cache.reset();
        QCoreApplication::processEvents();
    }
    // The cache's own pool, destroyed at once.
    {
        auto cache = std::make_unique<ThumbnailCache>();
        QObject::connect(cache.get(), &ThumbnailCache::thumbnailReady, &witness, [&] { ++deliveries; });
        const ClipboardImage large = png(bands(2'000, 1'500, {Qt::red, Qt::blue}));
        for (int side = 40; side < 60; ++side)
            cache->thumbnail(large, side);
        cache.reset();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(deliveries, 0);

    // The shared pool is still good for a cache made afterwards.
    ThumbnailCache cache(ThumbnailCache::defaultByteBudget, &gated.pool);
    EXPECT_EQ(settled(cache, images[0], 48).state, State::ready);
}

} // namespace
} // namespace tolvi
