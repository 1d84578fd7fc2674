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

// A tile asked for before its image's fingerprint was known: by the image's bytes and the size.
struct UnkeyedTile {
    const void* bytes = nullptr;
    int side = 0;
    int height = 0;

    friend bool operator==(const UnkeyedTile&, const UnkeyedTile&) = default;
};

size_t qHash(const UnkeyedTile& tile, size_t seed = 0) noexcept
{
    return qHashMulti(seed, reinterpret_cast<quintptr>(tile.bytes), tile.side, tile.height);
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

// Runs on a worker thread: the tile a key asks for (a fitted preview when it has a height).
QImage decodeTileFor(const QByteArray& data, const TileKey& key)
{
    return key.height > 0 ? decodeFitted(data, QSize(key.side, key.height)) : decodeTile(data, key.side);
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
    // Tiles on their way for images whose fingerprint was not worked out when they were asked
    // for: the worker works it out first, off this thread. Kept by the image's bytes (which the
    // work holds until it is delivered) and the tile's size.
    QSet<UnkeyedTile> pendingUnkeyed;

    ClipboardRow::Thumbnail request(const ClipboardImage& image, int side, int height);
    template <typename Settle>
    static void deliver(ThumbnailCache* cache, const TileKey& key, QImage tile, Settle settle);
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
    if (side <= 0 || side > maximumSide || tileBytes(side) > d->byteBudget || image.byteCount() == 0)
        return {ClipboardRow::Thumbnail::State::failed, {}};
    return d->request(image, side, 0);
}

ClipboardRow::Thumbnail ThumbnailCache::preview(const ClipboardImage& image, QSize bounds)
{
    const QSize capped = bounds.boundedTo(QSize(maximumSide, maximumSide));
    if (capped.width() <= 0 || capped.height() <= 0 || qint64(capped.width()) * capped.height() * 4 > d->byteBudget
        || image.byteCount() == 0)
        return {ClipboardRow::Thumbnail::State::failed, {}};
    return d->request(image, capped.width(), capped.height());
}

ClipboardRow::Thumbnail ThumbnailCache::Private::request(const ClipboardImage& image, int side, int height)
{
    Private* d = this;
    using State = ClipboardRow::Thumbnail::State;
    // The fingerprint of a large image takes a while to work out: never here.
    const UnkeyedTile unkeyed{image.bytesIdentity().get(), side, height};
    if (!image.hasFingerprint()) {
        if (!d->pendingUnkeyed.contains(unkeyed)) {
            d->pendingUnkeyed.insert(unkeyed);
            d->pool->start([mailbox = d->mailbox, image, unkeyed]() {
                {
                    QMutexLocker lock(&mailbox->mutex);
                    if (!mailbox->cache)
                        return;
                }
                const TileKey key{image.fingerprint(), unkeyed.side, unkeyed.height};
                QImage tile = decodeTileFor(image.data(), key);
                QMutexLocker lock(&mailbox->mutex);
                if (ThumbnailCache* cache = mailbox->cache)
                    deliver(cache, key, std::move(tile), [cache, image, unkeyed] {
                        cache->d->pendingUnkeyed.remove(unkeyed);
                    });
            });
        }
        return {State::pending, {}};
    }
    const TileKey key{image.fingerprint(), side, height};
    if (const QImage* tile = d->tiles.object(key))
        return {State::ready, *tile};
    if (d->failures.contains(key))
        return {State::failed, {}};
    if (d->pending.contains(key) || d->pendingUnkeyed.contains(unkeyed))
        return {State::pending, {}};

    d->pending.insert(key);
    // The bytes are read on the worker too: an image loaded from the history file is decoded at
    // their first read.
    d->pool->start([mailbox = d->mailbox, image, key]() {
        {
            QMutexLocker lock(&mailbox->mutex);
            if (!mailbox->cache)
                return;
        }
        QImage tile = decodeTileFor(image.data(), key);
        QMutexLocker lock(&mailbox->mutex);
        if (ThumbnailCache* cache = mailbox->cache)
            deliver(cache, key, std::move(tile), [cache, key] { cache->d->pending.remove(key); });
    });
    return {State::pending, {}};
}

// On a worker, with the mailbox locked and the cache still there: hands the decoded tile (null
// when the bytes could not be decoded) to the cache's thread, which settles what was waiting for
// it and keeps it.
template <typename Settle>
void ThumbnailCache::Private::deliver(ThumbnailCache* cache, const TileKey& key, QImage tile, Settle settle)
{
    QMetaObject::invokeMethod(
        cache,
        [cache, key, tile = std::move(tile), settle = std::move(settle)]() {
            Private& d = *cache->d;
            settle();
            if (tile.isNull())
                d.failures.insert(key, new Failure);
            else
                d.tiles.insert(key, new QImage(tile), tile.sizeInBytes());
            emit cache->thumbnailReady(key.fingerprint);
        },
        Qt::QueuedConnection);
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
    return int(d->pending.size() + d->pendingUnkeyed.size());
}

void ThumbnailCache::clear()
{
    d->tiles.clear();
}

} // namespace tolvi
