#pragma once

#include "Tolvi/clipviews/ClipboardRow.h"
#include "TolviCore/model/ClipboardImage.h"

#include <QObject>
#include <QString>

#include <memory>

class QThreadPool;

namespace tolvi {

// The preview tiles of image clips, shared by every clip list of the program. A tile is decoded
// at the size it is drawn, on worker threads, never on the caller's; until it is ready the
// caller draws a placeholder. Tiles are kept by fingerprint and size within a byte budget, the
// least recently used going first. Main thread only (the decoding is internal).
class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 defaultByteBudget = 32 * 1024 * 1024;

    // pool: where decoding runs; a private pool of two threads when null.
    explicit ThumbnailCache(qint64 byteBudget = defaultByteBudget, QThreadPool* pool = nullptr,
                            QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The tile of an image at `side` x `side` device pixels (scaled to fill, centre-cropped).
    // Starts decoding when the tile is neither kept nor on its way; never blocks.
    ClipboardRow::Thumbnail thumbnail(const ClipboardImage& image, int side);
    // The whole image, upright, reduced (never enlarged) to fit within `bounds` device pixels,
    // its longer side at most the raster policy's preview limit: what an inspector or a
    // full-size preview draws. Bytes the raster policy refuses are refused from their header,
    // without being decoded. Starts decoding when needed; never blocks.
    ClipboardRow::Thumbnail preview(const ClipboardImage& image, QSize bounds);

    qint64 byteBudget() const;
    // Bytes of the tiles kept now.
    qint64 totalBytes() const;
    int pendingCount() const;
    // Drops every kept tile (decoding under way still delivers).
    void clear();

signals:
    // A tile of this fingerprint was decoded (or found undecodable): repaint rows that show it.
    void thumbnailReady(const QString& fingerprint);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tolvi
