#include "Tolvi/design/TolviPrimaryButton.h"

#include "Tolvi/design/Surfaces.h"

#include <QFontMetrics>
#include <QPainter>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

// The label as drawn: mnemonic markers removed, "&&" shown as "&".
QString displayLabel(const QString& text)
{
    QString label = text;
    label.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    label.remove(QLatin1Char('&'));
    label.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return label;
}

} // namespace

qreal TolviPrimaryButtonStyle::opacity(const State& state)
{
    if (!state.isEnabled)
        return 0.45;
    return state.isPressed ? 0.8 : 1.0;
}

std::pair<QRectF, qreal> TolviPrimaryButtonStyle::ring(const QRectF& body, const State& state, const DesignContext& context)
{
    if (state.isFocused)
        return {body.adjusted(-focusRingOutset, -focusRingOutset, focusRingOutset, focusRingOutset), focusRingWidth};
    if (context.increasedContrast)
        return {body, contrastRingWidth};
    return {body, 0};
}

QSize TolviPrimaryButtonStyle::bodySize(const QString& label)
{
    const QFontMetrics metrics(TolviDesign::font(Typography::bodyStrong));
    return {metrics.horizontalAdvance(label) + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding};
}

void TolviPrimaryButtonStyle::paint(QPainter& painter, const QRectF& body, const QString& label, const State& state,
                                    const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * opacity(state));
    painter.fillPath(roundedShape(body, cornerRadius), context.color(ColorToken::electricBlue));
    painter.setFont(TolviDesign::font(Typography::bodyStrong));
    painter.setPen(context.color(ColorToken::onAccent));
    painter.drawText(body, Qt::AlignCenter | Qt::TextSingleLine, label);
    const auto [ringRect, width] = ring(body, state, context);
    if (width > 0) {
        QPen pen(context.color(ColorToken::ink), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(roundedShape(ringRect, cornerRadius));
    }
    painter.restore();
}

TolviPrimaryButton::TolviPrimaryButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize TolviPrimaryButton::sizeHint() const
{
    const int m = TolviPrimaryButtonStyle::ringMargin;
    return TolviPrimaryButtonStyle::bodySize(displayLabel(text())) + QSize(2 * m, 2 * m);
}

QRect TolviPrimaryButton::bodyRect() const
{
    const int m = TolviPrimaryButtonStyle::ringMargin;
    return rect().adjusted(m, m, -m, -m);
}

void TolviPrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TolviPrimaryButtonStyle::State state;
    state.isEnabled = isEnabled();
    state.isPressed = isDown();
    state.isFocused = hasFocus();
    TolviPrimaryButtonStyle::paint(painter, bodyRect(), displayLabel(text()), state, DesignContext::of(this));
}

bool TolviPrimaryButton::hitButton(const QPoint& pos) const
{
    return bodyRect().contains(pos);
}

} // namespace tolvi
