#include "Tolvi/settings/SettingsComponents.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

TokenLabel::TokenLabel(const QString& text, Typography style, std::optional<DesignColor> color, QWidget* parent)
    : QLabel(parent)
    , m_color(std::move(color))
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setFont(TolviDesign::font(style));
}

void TokenLabel::setColor(std::optional<DesignColor> color)
{
    m_color = std::move(color);
    update();
}

void TokenLabel::paintEvent(QPaintEvent* event)
{
    if (m_color) {
        const QColor resolved = m_color->resolve(DesignContext::of(this));
        if (palette().color(QPalette::Active, QPalette::WindowText) != resolved) {
            QPalette adjusted = palette();
            adjusted.setColor(QPalette::Active, QPalette::WindowText, resolved);
            adjusted.setColor(QPalette::Inactive, QPalette::WindowText, resolved);
            QColor disabled = resolved;
            disabled.setAlphaF(resolved.alphaF() * 0.5);
            adjusted.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
            setPalette(adjusted);
        }
    }
    QLabel::paintEvent(event);
}

QString plainToolTip(const QString& text)
{
    // The tag makes the tooltip rich text, in which the escaped text reads as written.
    return QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>");
}

TokenLabel* settingsCaption(const QString& text, QWidget* parent)
{
    auto* label = new TokenLabel(text, Typography::meta, DesignColor(ColorToken::muted), parent);
    label->setWordWrap(true);
    return label;
}

SymbolView::SymbolView(const QString& systemImage, const DesignColor& color, int side, int inset, QWidget* parent)
    : QWidget(parent)
    , m_systemImage(systemImage)
    , m_color(color)
    , m_side(side)
    , m_inset(inset)
{
    setFixedSize(side, side);
}

void SymbolView::setSymbol(const QString& systemImage, const DesignColor& color)
{
    m_systemImage = systemImage;
    m_color = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color = m_color.resolve(DesignContext::of(this));
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.5);
    SymbolCatalog::paint(painter, QRectF(rect()).adjusted(m_inset, m_inset, -m_inset, -m_inset), m_systemImage, color);
}

SettingsGroup::SettingsGroup(const QString& title, const QString& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(3);
    m_title = new TokenLabel(title, Typography::title, DesignColor(ColorToken::violet), this);
    titles->addWidget(m_title);
    auto* sub = new TokenLabel(subtitle, Typography::meta, DesignColor(ColorToken::muted), this);
    sub->setWordWrap(true);
    titles->addWidget(sub);
    layout->addLayout(titles);
    m_content = new QVBoxLayout();
    m_content->setSpacing(12);
    layout->addLayout(m_content);
}

QString SettingsGroup::title() const
{
    return m_title->text();
}

void SettingsGroup::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QPainterPath shape = roundedShape(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8);
    painter.fillPath(shape, context.color(ColorToken::rowFill));
    painter.setPen(QPen(context.color(ColorToken::rowStroke), 1));
    painter.drawPath(shape);
}

StatusLine::StatusLine(const StatusPresentation& presentation, QWidget* parent)
    : QWidget(parent)
    , m_presentation(presentation)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_symbol = new SymbolView(presentation.systemImage, presentation.tint, 18, 2, this);
    layout->addWidget(m_symbol, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(2);
    m_title = new TokenLabel(presentation.title, Typography::body, std::nullopt, this);
    QFont medium = TolviDesign::font(Typography::body);
    medium.setWeight(QFont::Medium);
    m_title->setFont(medium);
    m_title->setWordWrap(true);
    texts->addWidget(m_title);
    m_detail = new TokenLabel(presentation.detail, Typography::meta, DesignColor(ColorToken::muted), this);
    m_detail->setWordWrap(true);
    texts->addWidget(m_detail);
    layout->addLayout(texts, 1);
}

void StatusLine::setPresentation(const StatusPresentation& presentation)
{
    m_presentation = presentation;
    m_symbol->setSymbol(presentation.systemImage, presentation.tint);
    m_title->setText(presentation.title);
    m_detail->setText(presentation.detail);
}

SettingsDivider::SettingsDivider(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SettingsDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), DesignContext::of(this).color(ColorToken::glassStroke));
}

} // namespace tolvi

namespace tolvi {

ElidedLabel::ElidedLabel(const QString& text, TolviDesign::Typography style, const DesignColor& color, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_style(style)
    , m_color(color)
{
    setFont(TolviDesign::font(style));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setToolTip(plainToolTip(text));
    setAccessibleName(text);
}

void ElidedLabel::setText(const QString& text)
{
    m_text = text;
    setToolTip(plainToolTip(text));
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(font()).height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    painter.setFont(font());
    painter.setPen(m_color.resolve(DesignContext::of(this)));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(m_text, Qt::ElideMiddle, width()));
}

} // namespace tolvi
