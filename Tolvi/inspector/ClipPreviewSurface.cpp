#include "Tolvi/inspector/ClipPreviewSurface.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/InspectorControls.h"
#include "Tolvi/inspector/SelectablePlainText.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr qreal previewCornerRadius = 12;

int roundedUp(int value, int step)
{
    return (value + step - 1) / step * step;
}

// The rectangle of an image of `size` fitted into `bounds` with its aspect ratio kept, centred.
QRectF fitted(const QSizeF& size, const QRectF& bounds)
{
    if (size.isEmpty() || bounds.isEmpty())
        return {};
    const QSizeF scaled = size.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.center().x() - scaled.width() / 2, bounds.center().y() - scaled.height() / 2, scaled.width(),
            scaled.height()};
}

} // namespace

void paintPreviewBackground(QPainter& painter, const QRectF& rect, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
    painter.setBrush(context.color(ColorToken::surface));
    painter.drawPath(roundedShape(rect.adjusted(0.5, 0.5, -0.5, -0.5), previewCornerRadius));
    painter.restore();
}

void paintEmptyPreview(QPainter& painter, const QRectF& rect, const QString& systemImage, const QString& title,
                       const DesignContext& context)
{
    const int side = SymbolCatalog::pixelSizeForPointSize(32);
    const QFont& font = TolviDesign::font(Typography::bodyStrong);
    const QFontMetricsF metrics(font);
    constexpr qreal spacing = 8;
    const qreal top = rect.center().y() - (side + spacing + metrics.height()) / 2;
    const QColor muted = context.color(ColorToken::muted);
    SymbolCatalog::paint(painter, QRectF(rect.center().x() - side / 2.0, top, side, side), systemImage, muted);
    painter.setFont(font);
    painter.setPen(muted);
    painter.drawText(QRectF(rect.left(), top + side + spacing, rect.width(), metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     metrics.elidedText(title, Qt::ElideRight, rect.width()));
}

// ---- ClipImagePreview -------------------------------------------------------------------

ClipImagePreview::ClipImagePreview(ThumbnailCache* thumbnails, QWidget* parent)
    : QWidget(parent),
      m_thumbnails(thumbnails)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(QStringLiteral("Image preview"));
    if (m_thumbnails) {
        connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, [this](const QString& fingerprint) {
            if (m_image && m_image->hasFingerprint() && m_image->fingerprint() == fingerprint)
                update();
        });
    }
}

void ClipImagePreview::setImage(const ClipboardImage& image)
{
    const bool otherPicture = !m_image || !m_image->hasSameFingerprint(image);
    const bool otherSize =
        !m_image || m_image->pixelWidth() != image.pixelWidth() || m_image->pixelHeight() != image.pixelHeight();
    m_image = image;
    if (otherPicture) {
        m_shown = QImage();
        m_state = State::pending;
        update();
    }
    if (otherSize)
        updateGeometry();
}

QSize ClipImagePreview::requestedSize() const
{
    const qreal ratio = devicePixelRatioF();
    const QSize content = size().shrunkBy(QMargins(margin, margin, margin, margin));
    return {roundedUp(int(std::ceil(std::max(0, content.width()) * ratio)), requestStep),
            roundedUp(int(std::ceil(std::max(0, content.height()) * ratio)), requestStep)};
}

int ClipImagePreview::heightForWidth(int width) const
{
    int height = maximumHeight;
    if (m_image) {
        const qint64 pixelWidth = m_image->pixelWidth().value_or(0);
        const qint64 pixelHeight = m_image->pixelHeight().value_or(0);
        if (pixelWidth > 0 && pixelHeight > 0) {
            const double content = std::max(0, width - 2 * margin);
            height = int(std::ceil(content * double(pixelHeight) / double(pixelWidth))) + 2 * margin;
        }
    }
    return std::clamp(height, minimumHeight, maximumHeight);
}

QSize ClipImagePreview::sizeHint() const
{
    return {320, heightForWidth(320)};
}

QSize ClipImagePreview::minimumSizeHint() const
{
    return {2 * margin + 40, minimumHeight};
}

void ClipImagePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    paintPreviewBackground(painter, rect(), context);
    if (!m_image)
        return;
    ClipboardRow::Thumbnail picture{ClipboardRow::Thumbnail::State::failed, {}};
    if (m_thumbnails)
        picture = m_thumbnails->preview(*m_image, requestedSize());
    using PictureState = ClipboardRow::Thumbnail::State;
    if (picture.state == PictureState::failed) {
        m_state = State::unavailable;
        paintEmptyPreview(painter, rect(), QStringLiteral("photo"), QStringLiteral("Image preview unavailable"),
                          context);
        return;
    }
    if (picture.state == PictureState::ready)
        m_shown = picture.image;
    m_state = picture.state == PictureState::ready ? State::shown : State::pending;
    if (m_shown.isNull())
        return;
    const QRectF content = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(fitted(m_shown.size(), content), m_shown);
}

// ---- ClipFileList -----------------------------------------------------------------------

ClipFileList::ClipFileList(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(12);
    layout->addStretch(1);
    setMinimumHeight(minimumHeight);
}

QString ClipFileList::path(const QString& fileURL)
{
    return QUrl(fileURL).path(QUrl::FullyDecoded);
}

void ClipFileList::setCopyHandler(std::function<void(const QString&)> copy)
{
    m_copy = std::move(copy);
}

ClipFileList::Entry ClipFileList::makeEntry()
{
    auto* widget = new QWidget(this);
    auto* lines = new QVBoxLayout(widget);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    const int side = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::bodyStrong));
    nameRow->addWidget(new TolviSymbolMark(QStringLiteral("doc"), ColorToken::ink, side, widget), 0, Qt::AlignVCenter);
    auto* name = new LineLimitedLabel(Typography::bodyStrong, ColorToken::ink, 1, widget);
    nameRow->addWidget(name, 1);
    lines->addLayout(nameRow);
    SelectablePlainText::Appearance appearance;
    appearance.color = ColorToken::muted;
    auto* path = new SelectablePlainText(appearance, widget);
    path->setCopyHandler([this](const QString& text) {
        if (m_copy)
            m_copy(text);
    });
    lines->addWidget(path);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    // Before the closing stretch.
    layout->insertWidget(layout->count() - 1, widget);
    return {widget, name, path};
}

void ClipFileList::setFileURLs(const QStringList& urls)
{
    // Entries are kept and reused from clip to clip; the ones not needed are hidden.
    while (m_entries.size() < urls.size())
        m_entries.append(makeEntry());
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries.at(i);
        if (i < urls.size()) {
            entry.name->setText(ClipboardFormatter::fileName(urls.at(i)));
            entry.path->setText(path(urls.at(i)), TolviDesign::font(Typography::meta));
        }
        entry.widget->setVisible(i < urls.size());
    }
    m_shownCount = int(urls.size());
}

void ClipFileList::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintPreviewBackground(painter, rect(), DesignContext::of(this));
}

} // namespace tolvi
