#include "Tolvi/clipviews/SymbolPrimaryButton.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int symbolSpacing = 6;

int symbolSide()
{
    return SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::bodyStrong));
}

} // namespace

SymbolPrimaryButton::SymbolPrimaryButton(const QString& title, const QString& systemImage, QWidget* parent)
    : TolviPrimaryButton(QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), parent),
      m_title(title),
      m_systemImage(systemImage)
{
    setAccessibleName(title);
    setAutoDefault(false);
}

QSize SymbolPrimaryButton::sizeHint() const
{
    const int m = TolviPrimaryButtonStyle::ringMargin;
    // The title as painted, fractions of a pixel included: rounded down it would be elided.
    const QFontMetricsF metrics(TolviDesign::font(Typography::bodyStrong));
    const int title = int(std::ceil(metrics.horizontalAdvance(m_title)));
    const QSize body = TolviPrimaryButtonStyle::bodySize(QString());
    return {body.width() + title + symbolSide() + symbolSpacing + 2 * m, body.height() + 2 * m};
}

void SymbolPrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TolviPrimaryButtonStyle::State state;
    state.isEnabled = isEnabled();
    state.isPressed = isDown();
    state.isFocused = hasFocus();
    const DesignContext context = DesignContext::of(this);
    const QRect body = bodyRect();
    // The style draws the body and ring; the label with its symbol goes on top at the same opacity.
    TolviPrimaryButtonStyle::paint(painter, body, QString(), state, context);

    painter.setOpacity(TolviPrimaryButtonStyle::opacity(state));
    const QFont& font = TolviDesign::font(Typography::bodyStrong);
    const QFontMetricsF metrics(font);
    const int side = symbolSide();
    const qreal room = body.width() - 2 * TolviPrimaryButtonStyle::horizontalPadding - side - symbolSpacing;
    const qreal titleWidth = metrics.horizontalAdvance(m_title);
    const qreal textWidth = std::max<qreal>(0, std::min(titleWidth, room));
    const qreal left = body.center().x() + 0.5 - (side + symbolSpacing + textWidth) / 2.0;
    const QColor color = context.color(ColorToken::onAccent);
    SymbolCatalog::paint(painter, QRectF(left, body.center().y() + 0.5 - side / 2.0, side, side), m_systemImage, color);
    painter.setFont(font);
    painter.setPen(color);
    // Elided only where the body is narrower than the title; the rectangle leaves a pixel of slack.
    const QRectF textRect(left + side + symbolSpacing, body.top(), textWidth + 1, body.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     titleWidth <= room ? m_title : metrics.elidedText(m_title, Qt::ElideRight, textWidth));
}

} // namespace tolvi
