#include "Tolvi/clipviews/OCRStatusLabel.h"

#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <algorithm>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int spacing = 5;

int symbolSide()
{
    return SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::meta));
}

constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

OCRStatusLabel::Presentation OCRStatusLabel::presentation(ClipboardStore::OCRStatus status)
{
    using S = ClipboardStore::OCRStatus;
    switch (status) {
    case S::processing:
        return {QStringLiteral("text.viewfinder"), ColorToken::muted, QStringLiteral("Reading image text\u2026")};
    case S::noText:
        return {QStringLiteral("info.circle"), ColorToken::muted, QStringLiteral("No text found in this image")};
    case S::failed:
        return {QStringLiteral("exclamationmark.circle"), ColorToken::amber, QStringLiteral("Text recognition failed")};
    case S::unsupportedImage:
        return {QStringLiteral("exclamationmark.circle"), ColorToken::amber,
                QStringLiteral("Image text recognition unavailable")};
    case S::timedOut:
        return {QStringLiteral("exclamationmark.circle"), ColorToken::amber,
                QStringLiteral("Text recognition took too long")};
    case S::busy:
        return {QStringLiteral("info.circle"), ColorToken::muted, QStringLiteral("Text recognition is busy")};
    case S::cancelled:
        return {QStringLiteral("info.circle"), ColorToken::muted, QStringLiteral("Text recognition request cancelled")};
    }
    return {QStringLiteral("info.circle"), ColorToken::muted, QString()};
}

OCRStatusLabel::OCRStatusLabel(ClipboardStore::OCRStatus status, QWidget* parent)
    : QWidget(parent)
    , m_status(status)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFont(TolviDesign::font(Typography::meta));
    setStatus(status);
}

void OCRStatusLabel::setStatus(ClipboardStore::OCRStatus status)
{
    m_status = status;
    const QString message = presentation(status).message;
    // One element read as the message; the symbol is decoration. The message is a fixed text.
    setAccessibleName(message);
    setToolTip(message);
    updateGeometry();
    update();
}

int OCRStatusLabel::heightForWidth(int width) const
{
    const QFontMetrics metrics(TolviDesign::font(Typography::meta));
    const int textWidth = std::max(1, width - symbolSide() - spacing);
    const QRect bounds = metrics.boundingRect(QRect(0, 0, textWidth, 1 << 20), textFlags, presentation(m_status).message);
    const int textTop = std::max(0, (symbolSide() - metrics.height()) / 2);
    return std::max({textTop + bounds.height(), metrics.height(), symbolSide()});
}

QSize OCRStatusLabel::sizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(Typography::meta));
    const int width = symbolSide() + spacing + metrics.horizontalAdvance(presentation(m_status).message) + 1;
    return {width, heightForWidth(width)};
}

QSize OCRStatusLabel::minimumSizeHint() const
{
    // Narrow enough for the longest word, so the message wraps instead of being cut.
    const QFontMetrics metrics(TolviDesign::font(Typography::meta));
    int widest = 0;
    for (const QString& word : presentation(m_status).message.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    const int width = symbolSide() + spacing + widest + 1;
    return {width, heightForWidth(width)};
}

void OCRStatusLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    const Presentation p = presentation(m_status);
    const QFont& font = TolviDesign::font(Typography::meta);
    const QFontMetrics metrics(font);
    const int side = symbolSide();
    const int firstLine = std::max(metrics.height(), side);
    // The symbol sits on the first line of the message.
    SymbolCatalog::paint(painter, QRectF(0, (firstLine - side) / 2.0, side, side), p.systemImage,
                         context.color(p.symbolColor));
    painter.setFont(font);
    painter.setPen(context.color(ColorToken::ink));
    const int textTop = (firstLine - metrics.height()) / 2;
    painter.drawText(QRect(side + spacing, textTop, std::max(1, width() - side - spacing), height() - textTop),
                     textFlags, p.message);
}

} // namespace tolvi
