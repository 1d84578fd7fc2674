#include "Tolvi/clipviews/SymbolPrimaryButton.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

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
    return TolviPrimaryButtonStyle::bodySize(m_title) + QSize(symbolSide() + symbolSpacing + 2 * m, 2 * m);
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
    const QFontMetrics metrics(font);
    const int side = symbolSide();
    const int textWidth = std::min(metrics.horizontalAdvance(m_title),
                                   body.width() - 2 * TolviPrimaryButtonStyle::horizontalPadding - side - symbolSpacing);
    const qreal left = body.center().x() + 0.5 - (side + symbolSpacing + textWidth) / 2.0;
    const QColor color = context.color(ColorToken::onAccent);
    SymbolCatalog::paint(painter, QRectF(left, body.center().y() + 0.5 - side / 2.0, side, side), m_systemImage, color);
    painter.setFont(font);
    painter.setPen(color);
    const QRectF textRect(left + side + symbolSpacing, body.top(), std::max(0, textWidth), body.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(m_title, Qt::ElideRight, std::max(0, textWidth)));
}

} // namespace tolvi
