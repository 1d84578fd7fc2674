#include "Tolvi/inspector/ClipQuickLookImagePreview.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/ClipQuickLookParts.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tolvi::quicklook {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

ImagePreview::ImagePreview(ThumbnailCache* thumbnails, QWidget* parent) : QWidget(parent), m_thumbnails(thumbnails)
{
    setObjectName(QStringLiteral("quickLookImage"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_settle.setSingleShot(true);
    m_settle.setInterval(resizeSettleMilliseconds);
    QObject::connect(&m_settle, &QTimer::timeout, this, [this] {
        // A picture a few per cent off the room is drawn scaled; decoding it again (a
        // large photo takes a good part of a second) waits for a real change of size,
        // not the card's slight scaling as it comes in.
        const QSize wanted = wantedBounds();
        if (wanted.isEmpty() || nearlyEqual(wanted, m_bounds))
            return;
        m_bounds = wanted;
        update();
    });
    if (m_thumbnails) {
        QObject::connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, [this](const QString& fingerprint) {
            if (m_image && m_image->hasFingerprint() && m_image->fingerprint() == fingerprint)
                update();
        });
    }
}

void ImagePreview::setImage(std::optional<ClipboardImage> image)
{
    if (image && m_image && image->hasSameFingerprint(*m_image))
        return;
    m_image = std::move(image);
    m_shown = QImage();
    update();
}

ClipQuickLookOverlay::ImageState ImagePreview::state() const
{
    using State = ClipQuickLookOverlay::ImageState;
    if (!m_image)
        return State::none;
    switch (request().state) {
    case ClipboardRow::Thumbnail::State::ready:
        return State::ready;
    case ClipboardRow::Thumbnail::State::failed:
        return State::unavailable;
    case ClipboardRow::Thumbnail::State::pending:
        break;
    }
    return State::pending;
}

void ImagePreview::resizeEvent(QResizeEvent*)
{
    // The first size is asked for at once; later ones once resizing has stopped.
    if (m_bounds.isEmpty())
        m_bounds = wantedBounds();
    else
        m_settle.start();
}

void ImagePreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    paintPlate(painter, body, 12, withOpacity(context.color(ColorToken::ink), 0.035), context);
    painter.setPen(QPen(withOpacity(Qt::white, 0.22), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedShape(body, 12));
    if (!m_image)
        return;
    const ClipboardRow::Thumbnail thumbnail = request();
    if (thumbnail.state == ClipboardRow::Thumbnail::State::ready)
        m_shown = thumbnail.image;
    if (thumbnail.state == ClipboardRow::Thumbnail::State::failed) {
        m_shown = QImage();
        paintUnavailable(painter, context);
        return;
    }
    if (m_shown.isNull()) {
        paintPlaceholder(painter, context);
        return;
    }
    const QRectF room = QRectF(rect()).adjusted(padding, padding, -padding, -padding);
    const qreal ratio = devicePixelRatioF();
    const QSizeF natural = QSizeF(m_shown.size()) / ratio;
    const QSizeF fitted = natural.scaled(room.size(), Qt::KeepAspectRatio);
    if (std::abs(fitted.width() - natural.width()) * ratio < 1.5
        && std::abs(fitted.height() - natural.height()) * ratio < 1.5) {
        // Decoded for this very room: drawn pixel for pixel, on whole device pixels.
        QImage picture = m_shown;
        picture.setDevicePixelRatio(ratio);
        const QPointF topLeft = room.center() - QPointF(natural.width() / 2, natural.height() / 2);
        painter.drawImage(QPointF(std::round(topLeft.x() * ratio) / ratio, std::round(topLeft.y() * ratio) / ratio),
                          picture);
        return;
    }
    QRectF target(QPointF(), fitted);
    target.moveCenter(room.center());
    painter.drawImage(target, m_shown);
}

bool ImagePreview::nearlyEqual(QSize a, QSize b)
{
    auto near = [](int x, int y) { return std::abs(x - y) <= std::max(x, y) / 20; };
    return near(a.width(), b.width()) && near(a.height(), b.height());
}

QSize ImagePreview::wantedBounds() const
{
    const qreal ratio = devicePixelRatioF();
    const QSizeF room = QSizeF(size()) - QSizeF(2 * padding, 2 * padding);
    if (room.width() <= 0 || room.height() <= 0)
        return {};
    return QSize(int(std::ceil(room.width() * ratio)), int(std::ceil(room.height() * ratio)));
}

ClipboardRow::Thumbnail ImagePreview::request() const
{
    if (!m_image || !m_thumbnails)
        return {ClipboardRow::Thumbnail::State::failed, {}};
    const QSize bounds = m_bounds.isEmpty() ? wantedBounds() : m_bounds;
    if (bounds.isEmpty())
        return {ClipboardRow::Thumbnail::State::pending, {}};
    return m_thumbnails->preview(*m_image, bounds);
}

void ImagePreview::paintPlaceholder(QPainter& painter, const DesignContext& context)
{
    const int side = SymbolCatalog::pixelSizeForPointSize(34);
    QRectF symbol(0, 0, side, side);
    symbol.moveCenter(QRectF(rect()).center());
    SymbolCatalog::paint(painter, symbol, QStringLiteral("photo"),
                         withOpacity(context.color(ColorToken::muted), 0.35));
}

void ImagePreview::paintUnavailable(QPainter& painter, const DesignContext& context)
{
    const int side = SymbolCatalog::pixelSizeForPointSize(34);
    const QFont font = TolviDesign::font(Typography::bodyStrong);
    const QFontMetrics metrics(font);
    const qreal total = side + 8 + metrics.height();
    const QPointF centre = QRectF(rect()).center();
    const QRectF symbol(centre.x() - side / 2.0, centre.y() - total / 2, side, side);
    const QColor muted = context.color(ColorToken::muted);
    SymbolCatalog::paint(painter, symbol, QStringLiteral("photo"), muted);
    painter.setFont(font);
    painter.setPen(muted);
    painter.drawText(QRectF(padding, symbol.bottom() + 8, width() - 2 * padding, metrics.height()),
                     Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("Image preview unavailable"));
}

} // namespace tolvi::quicklook
