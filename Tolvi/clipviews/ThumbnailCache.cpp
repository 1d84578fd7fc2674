#include "Tolvi/clipviews/ThumbnailCache.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <QCache>
#include <QHashFunctions>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <memory>

namespace tolvi {

namespace {

// A square tile (height 0) or a whole image fitted within width x height.
struct TileKey {
    QString fingerprint;
    int side = 0;
    int height = 0;

    friend bool operator==(const TileKey&, const TileKey&) = default;
};

size_t qHash(const TileKey& key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.fingerprint, key.side, key.height);
}

// Undecodable images are remembered by key and forgotten least recently asked first; an entry
// costs one unit.
constexpr int maximumRememberedFailures = 4096;
constexpr int privatePoolThreads = 2;
// Tiles are drawn a few dozen device pixels wide; a larger request is a caller's fault and
// would allocate without bound.
constexpr int maximumSide = OCRRasterPolicy::previewMaximumSide;

struct Failure {};

qint64 tileBytes(int side)
{
    return qint64(side) * side * 4;
}

// Runs on a worker thread. Null when the bytes are refused or do not decode.
QImage decodeTile(const QByteArray& data, int side)
{
    QImage source = OCRRasterPolicy::previewImageCovering(data, side);
    if (source.isNull())
        return {};
    const QImage::Format format =
        source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    source.convertTo(format);
    const QImage scaled = source.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    if (scaled.isNull())
        return {};
    QImage tile = scaled.copy((scaled.width() - side) / 2, (scaled.height() - side) / 2, side, side);
    tile.convertTo(format); // scaled() may hand back another format for some sources
    return tile;
}

// Runs on a worker thread. Null when the bytes are refused or do not decode.
QImage decodeFitted(const QByteArray& data, QSize bounds)
{
    QImage source = OCRRasterPolicy::previewImageFitting(data, bounds);
    if (source.isNull())
        return {};
    const QImage::Format format =
        source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    source.convertTo(format);
    if (source.width() <= bounds.width() && source.height() <= bounds.height())
        return source;
    QImage fitted = source.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    fitted.convertTo(format);
    return fitted;
}

} // namespace

// Where workers hand their results in. It outlives the cache as long as a worker still holds
// it; the cache detaches on destruction, under the lock, so a result is either posted to a
// live cache (whose destruction then discards the posted event) or dropped.
struct ThumbnailMailbox {
    QMutex mutex;
    ThumbnailCache* cache = nullptr;
};

struct ThumbnailCache::Private {
    qint64 byteBudget = 0;
    QThreadPool* pool = nullptr;
    std::unique_ptr<QThreadPool> ownPool;
    std::shared_ptr<ThumbnailMailbox> mailbox = std::make_shared<ThumbnailMailbox>();
    // Main thread only, like the rest of this struct.
    QCache<TileKey, QImage> tiles;
    QCache<TileKey, Failure> failures{maximumRememberedFailures};
    QSet<TileKey> pending;

    ClipboardRow::Thumbnail request(const ClipboardImage& image, const TileKey& key);
};

ThumbnailCache::ThumbnailCache(qint64 byteBudget, QThreadPool* pool, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->byteBudget = std::max<qint64>(0, byteBudget);
    d->tiles.setMaxCost(d->byteBudget);
    if (pool) {
        d->pool = pool;
    } else {
        d->ownPool = std::make_unique<QThreadPool>();
        d->ownPool->setMaxThreadCount(privatePoolThreads);
        d->pool = d->ownPool.get();
    }
    d->mailbox->cache = this;
}

ThumbnailCache::~ThumbnailCache()
{
    {
        QMutexLocker lock(&d->mailbox->mutex);
        d->mailbox->cache = nullptr;
    }
    if (d->ownPool) {
        // Work not yet started is dropped; the pool's destructor waits for what runs now.
        d->ownPool->clear();
    }
}

ClipboardRow::Thumbnail ThumbnailCache::thumbnail(const ClipboardImage& image, int side)
{
    // A tile the budget cannot hold would be decoded again on every paint.
    if (side <= 0 || side > maximumSide || tileBytes(side) > d->byteBudget || image.data().isEmpty())
        return {ClipboardRow::Thumbnail::State::failed, {}};
    return d->request(image, TileKey{image.fingerprint(), side, 0});
}

ClipboardRow::Thumbnail ThumbnailCache::preview(const ClipboardImage& image, QSize bounds)
{
    const QSize capped = bounds.boundedTo(QSize(maximumSide, maximumSide));
    if (capped.width() <= 0 || capped.height() <= 0 || qint64(capped.width()) * capped.height() * 4 > d->byteBudget
        || image.data().isEmpty())
        return {ClipboardRow::Thumbnail::State::failed, {}};
    return d->request(image, TileKey{image.fingerprint(), capped.width(), capped.height()});
}

ClipboardRow::Thumbnail ThumbnailCache::Private::request(const ClipboardImage& image, const TileKey& key)
{
    Private* d = this;
    using State = ClipboardRow::Thumbnail::State;
    if (const QImage* tile = d->tiles.object(key))
        return {State::ready, *tile};
    if (d->failures.contains(key))
        return {State::failed, {}};
    if (d->pending.contains(key))
        return {State::pending, {}};

    d->pending.insert(key);
    d->pool->start([mailbox = d->mailbox, data = image.data(), key]() {
        {
            QMutexLocker lock(&mailbox->mutex);
            if (!mailbox->cache)
                return;
        }
        QImage tile = key.height > 0 ? decodeFitted(data, QSize(key.side, key.height)) : decodeTile(data, key.side);
        QMutexLocker lock(&mailbox->mutex);
        ThumbnailCache* cache = mailbox->cache;
        if (!cache)
            return;
        QMetaObject::invokeMethod(
            cache,
            [cache, key, tile = std::move(tile)]() {
                Private& d = *cache->d;
                d.pending.remove(key);
                if (tile.isNull())
                    d.failures.insert(key, new Failure);
                else
                    d.tiles.insert(key, new QImage(tile), tile.sizeInBytes());
                emit cache->thumbnailReady(key.fingerprint);
            },
            Qt::QueuedConnection);
    });
    return {State::pending, {}};
}

qint64 ThumbnailCache::byteBudget() const
{
    return d->byteBudget;
}

qint64 ThumbnailCache::totalBytes() const
{
    return d->tiles.totalCost();
}

int ThumbnailCache::pendingCount() const
{
    return int(d->pending.size());
}

void ThumbnailCache::clear()
{
    d->tiles.clear();
}

} // namespace tolvi
