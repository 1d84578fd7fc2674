#include "Tolvi/design/Badges.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"

#include <QFontMetrics>
#include <QPainter>

namespace tolvi {

using TolviDesign::withOpacity;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

// Width of a symbol-and-text row: [symbol][spacing][text].
int contentWidth(const QString& title, const QFont& font, const std::optional<QString>& symbol, qreal symbolPoints,
                 int spacing)
{
    int width = QFontMetrics(font).horizontalAdvance(title);
    if (symbol)
        width += SymbolCatalog::pixelSizeForPointSize(symbolPoints) + spacing;
    return width;
}

int contentHeight(const QFont& font, const std::optional<QString>& symbol, qreal symbolPoints)
{
    int height = QFontMetrics(font).height();
    if (symbol)
        height = std::max(height, SymbolCatalog::pixelSizeForPointSize(symbolPoints));
    return height;
}

// Paints [symbol][spacing][text] starting at the content rectangle's left, centred vertically.
void paintContent(QPainter& painter, const QRect& content, const QString& title, const QFont& font,
                  const std::optional<QString>& symbol, qreal symbolPoints, int spacing, const QColor& color)
{
    int x = content.left();
    if (symbol) {
        const int side = SymbolCatalog::pixelSizeForPointSize(symbolPoints);
        SymbolCatalog::paint(painter, QRectF(x, content.center().y() - side / 2.0 + 0.5, side, side), *symbol, color);
        x += side + spacing;
    }
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRect(x, content.top(), content.right() - x + 1, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
}

} // namespace

TolviBadge::TolviBadge(const QString& title, const std::optional<QString>& systemImage, const DesignColor& tint,
                       QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_systemImage(systemImage)
    , m_tint(tint)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
}

void TolviBadge::setTitle(const QString& title)
{
    m_title = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

QSize TolviBadge::sizeHint() const
{
    const QFont& f = TolviDesign::font(Typography::chip);
    return {contentWidth(m_title, f, m_systemImage, symbolPointSize, spacing) + 2 * horizontalPadding,
            contentHeight(f, m_systemImage, symbolPointSize) + 2 * verticalPadding};
}

void TolviBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = m_tint.resolve(DesignContext::of(this));
    painter.fillPath(roundedShape(rect(), cornerRadius), withOpacity(tint, backgroundOpacity));
    paintContent(painter, rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding),
                 m_title, TolviDesign::font(Typography::chip), m_systemImage, symbolPointSize, spacing, tint);
}

TolviStatusPill::TolviStatusPill(const QString& title, const std::optional<QString>& systemImage, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_systemImage(systemImage)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // One element read as its title; the symbol is painted, not a child element.
    setAccessibleName(title);
}

void TolviStatusPill::setTitle(const QString& title)
{
    m_title = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

void TolviStatusPill::setSystemImage(const std::optional<QString>& systemImage)
{
    m_systemImage = systemImage;
    updateGeometry();
    update();
}

QSize TolviStatusPill::sizeHint() const
{
    const QFont& f = TolviDesign::font(Typography::meta);
    return {contentWidth(m_title, f, m_systemImage, symbolPointSize, spacing) + 2 * horizontalPadding,
            contentHeight(f, m_systemImage, symbolPointSize) + 2 * verticalPadding};
}

void TolviStatusPill::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    painter.fillPath(roundedShape(rect(), height() / 2.0), context.color(ColorToken::raisedSurface));
    paintContent(painter, rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding),
                 m_title, TolviDesign::font(Typography::meta), m_systemImage, symbolPointSize, spacing,
                 context.color(ColorToken::muted));
}

TolviIconTile::TolviIconTile(const QString& systemImage, const DesignColor& tint, QWidget* parent)
    : QWidget(parent)
    , m_systemImage(systemImage)
    , m_tint(tint)
{
    setFixedSize(side, side);
}

void TolviIconTile::setSystemImage(const QString& systemImage)
{
    m_systemImage = systemImage;
    update();
}

void TolviIconTile::paintTile(QPainter& painter, const QRectF& rect, const QString& systemImage, const QColor& tint)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0, side, side);
    painter.fillPath(roundedShape(tile, cornerRadius), withOpacity(tint, 0.1));
    const int symbol = SymbolCatalog::pixelSizeForPointSize(symbolPointSize);
    SymbolCatalog::paint(painter,
                         QRectF(tile.left() + (side - symbol) / 2.0, tile.top() + (side - symbol) / 2.0, symbol, symbol),
                         systemImage, tint);
    painter.restore();
}

void TolviIconTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintTile(painter, rect(), m_systemImage, m_tint.resolve(DesignContext::of(this)));
}

} // namespace tolvi
