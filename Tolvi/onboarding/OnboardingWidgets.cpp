#include "Tolvi/onboarding/OnboardingWidgets.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

namespace tolvi::onboarding {

using TolviDesign::ColorToken;

QColor Tone::resolve(const DesignContext& context) const
{
    QColor resolved = color.resolve(context);
    resolved.setAlphaF(float(resolved.alphaF() * opacity));
    return resolved;
}

QFont onboardingFont(qreal layoutPoints, QFont::Weight weight)
{
    return TolviDesign::systemFont(layoutPoints, weight);
}

// MARK: TokenLabel

TokenLabel::TokenLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
    : QLabel(parent)
    , m_tone(tone)
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setFont(font);
    setWordWrap(true);
    setAlignment(Qt::AlignLeading | Qt::AlignTop);
}

void TokenLabel::setTone(Tone tone)
{
    m_tone = tone;
    update();
}

void TokenLabel::setLineCount(std::optional<int> lines)
{
    m_lines = lines;
    if (lines) {
        const QFontMetrics metrics(font());
        setFixedHeight(metrics.lineSpacing() * *lines);
    } else {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void TokenLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_tone.resolve(DesignContext::of(this)));
    painter.setFont(font());
    const int flags = int(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    painter.drawText(contentsRect(), flags, text());
}

// MARK: ToneBox

ToneBox::ToneBox(qreal cornerRadius, Tone fill, std::optional<Tone> stroke, QWidget* parent)
    : QWidget(parent)
    , m_cornerRadius(cornerRadius)
    , m_fill(fill)
    , m_stroke(stroke)
{
}

void ToneBox::setTones(Tone fill, std::optional<Tone> stroke)
{
    m_fill = fill;
    m_stroke = stroke;
    update();
}

void ToneBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = m_circle ? std::min(area.width(), area.height()) / 2 : m_cornerRadius;
    const QPainterPath shape = roundedShape(area, radius);
    painter.fillPath(shape, m_fill.resolve(context));
    if (m_stroke) {
        painter.setPen(QPen(m_stroke->resolve(context), 1.0));
        painter.drawPath(shape);
    }
}

// MARK: SymbolTile

SymbolTile::SymbolTile(const QString& systemImage, qreal symbolLayoutPoints, Tone symbolTone, int side, Shape shape,
                       Tone fill, qreal cornerRadius, QWidget* parent)
    : QWidget(parent)
    , m_systemImage(systemImage)
    , m_symbolPoints(symbolLayoutPoints)
    , m_symbolTone(symbolTone)
    , m_side(side)
    , m_shape(shape)
    , m_fill(fill)
    , m_cornerRadius(cornerRadius)
{
    setFixedSize(side, side);
}

void SymbolTile::setText(const QString& text, const QFont& font)
{
    m_text = text;
    m_font = font;
    update();
}

void SymbolTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF area(0, 0, m_side, m_side);
    if (m_shape == Shape::circle)
        painter.fillPath(roundedShape(area, m_side / 2.0), m_fill.resolve(context));
    else if (m_shape == Shape::roundedRect)
        painter.fillPath(roundedShape(area, m_cornerRadius), m_fill.resolve(context));
    if (!m_text.isEmpty()) {
        painter.setFont(m_font);
        painter.setPen(m_symbolTone.resolve(context));
        painter.drawText(area, Qt::AlignCenter, m_text);
        return;
    }
    const qreal glyph = SymbolCatalog::pixelSizeForPointSize(m_symbolPoints);
    const QRectF symbol(area.center().x() - glyph / 2, area.center().y() - glyph / 2, glyph, glyph);
    SymbolCatalog::paint(painter, symbol, m_systemImage, m_symbolTone.resolve(context));
}

// MARK: PanelCloseButton

PanelCloseButton::PanelCloseButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFixedSize(side, side);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("Close"));
    setToolTip(QStringLiteral("Close"));
    setObjectName(QStringLiteral("tolvi.panel.close"));
}

void PanelCloseButton::pinToCorner(int inset)
{
    m_inset = inset;
    if (parentWidget())
        parentWidget()->installEventFilter(this);
    place();
    raise();
}

void PanelCloseButton::place()
{
    if (QWidget* parent = parentWidget())
        move(parent->width() - side - m_inset, m_inset);
}

bool PanelCloseButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QAbstractButton::eventFilter(watched, event);
}

void PanelCloseButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PanelCloseButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void PanelCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF area(0, 0, side, side);
    Tone fill{ColorToken::ink, m_hovered || isDown() ? 0.14 : 0.07};
    painter.fillPath(roundedShape(area, side / 2.0), fill.resolve(context));
    const qreal glyph = 10;
    SymbolCatalog::paint(painter, QRectF((side - glyph) / 2, (side - glyph) / 2, glyph, glyph), QStringLiteral("xmark"),
                         context.color(ColorToken::muted));
}

// MARK: MaterialBand

MaterialBand::MaterialBand(Qt::Edge ruleEdge, QWidget* parent)
    : QWidget(parent)
    , m_ruleEdge(ruleEdge)
{
}

void MaterialBand::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    painter.fillRect(rect(), Tone{ColorToken::surface, 0.35}.resolve(context));
    const int y = m_ruleEdge == Qt::TopEdge ? 0 : height() - 1;
    painter.fillRect(QRect(0, y, width(), 1), context.color(ColorToken::glassStroke));
}

// MARK: PlainTextButton

PlainTextButton::PlainTextButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(text);
    setFont(TolviDesign::font(TolviDesign::Typography::body));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QSize PlainTextButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 12, metrics.height() + 10};
}

void PlainTextButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    QColor color = context.color(isDown() ? ColorToken::ink : ColorToken::muted);
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
        painter.drawPath(roundedShape(QRectF(rect()).adjusted(1, 1, -1, -1), 5));
    }
}

QPushButton* borderedButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    const QFontMetrics metrics(button->font());
    button->setMinimumSize(metrics.horizontalAdvance(text) + 28, 30);
    return button;
}

} // namespace tolvi::onboarding
