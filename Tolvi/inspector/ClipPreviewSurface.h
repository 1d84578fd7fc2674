#pragma once

#include "Tolvi/design/TolviTheme.h"
#include "TolviCore/model/ClipboardImage.h"

#include <QImage>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

namespace tolvi {

class LineLimitedLabel;
class SelectablePlainText;
class ThumbnailCache;

// The background every form of the inspector's preview stands on: a rounded rectangle filled
// with the surface colour and outlined by a hairline.
void paintPreviewBackground(QPainter& painter, const QRectF& rect, const DesignContext& context);
// The stand-in for a preview that cannot be shown: a large symbol over a title, both muted,
// centred in rect.
void paintEmptyPreview(QPainter& painter, const QRectF& rect, const QString& systemImage, const QString& title,
                       const DesignContext& context);

// An image clip's preview: the whole image, fitted with its aspect ratio kept inside a margin,
// on the preview background. It is decoded off the main thread by the shared thumbnail cache,
// at the size it is drawn in device pixels: until then the background stands alone (or the
// image as last decoded at another size, scaled); bytes the raster policy refuses or that do
// not decode show "Image preview unavailable". Between its minimum and maximum height, as tall
// as the image needs at the width given.
class ClipImagePreview : public QWidget {
    Q_OBJECT
public:
    enum class State { pending, shown, unavailable };

    ClipImagePreview(ThumbnailCache* thumbnails, QWidget* parent = nullptr);

    void setImage(const ClipboardImage& image);
    // What the last paint showed.
    State state() const { return m_state; }
    // The size in device pixels the image is asked for at the current size.
    QSize requestedSize() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int minimumHeight = 190;
    static constexpr int maximumHeight = 280;
    static constexpr int margin = 12;
    // Requests are rounded up to this many device pixels, so a window being resized asks for
    // a few sizes rather than one per pixel.
    static constexpr int requestStep = 32;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ThumbnailCache* m_thumbnails;
    std::optional<ClipboardImage> m_image;
    // The last decoded picture of this image, drawn scaled while another size decodes.
    QImage m_shown;
    State m_state = State::pending;
};

// The preview of a clip that keeps file references: each file's name after a document symbol,
// and under it the file's full path, selectable; in the order copied, on the preview background.
class ClipFileList : public QWidget {
    Q_OBJECT
public:
    explicit ClipFileList(QWidget* parent = nullptr);

    void setFileURLs(const QStringList& urls);
    // Where Copy puts a selected part of a path.
    void setCopyHandler(std::function<void(const QString&)> copy);
    int entryCount() const { return m_shownCount; }
    // The file-system path of a file URL, as Copy Paths copies it.
    static QString path(const QString& fileURL);

    static constexpr int padding = 14;
    static constexpr int minimumHeight = 100;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Entry {
        QWidget* widget;
        LineLimitedLabel* name;
        SelectablePlainText* path;
    };
    Entry makeEntry();

    QList<Entry> m_entries;
    int m_shownCount = 0;
    std::function<void(const QString&)> m_copy;
};

} // namespace tolvi
