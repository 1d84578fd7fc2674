#include "Tolvi/inspector/InspectorControls.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr int ringMargin = TolviPrimaryButtonStyle::ringMargin;

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

} // namespace

// ---- InspectorButton --------------------------------------------------------------------

InspectorButton::InspectorButton(const QString& title, const QString& systemImage, Look look, QWidget* parent)
    : QPushButton(parent),
      m_look(look)
{
    setAutoDefault(false);
    setFocusPolicy(Qt::TabFocus);
    setFont(labelFont());
    setContent(title, systemImage);
}

void InspectorButton::setContent(const QString& title, const QString& systemImage)
{
    if (title == m_title && systemImage == m_systemImage)
        return;
    m_title = title;
    m_systemImage = systemImage;
    // The button's text is what assistive technologies read; it is never drawn as such.
    QString accessible = title;
    setText(accessible.replace(QLatin1Char('&'), QStringLiteral("&&")));
    updateGeometry();
    update();
}

void InspectorButton::setMinimumBodyWidth(int width)
{
    m_minimumBodyWidth = width;
    updateGeometry();
}

QFont InspectorButton::labelFont() const
{
    return TolviDesign::font(m_look == Look::primary ? Typography::bodyStrong : Typography::body);
}

int InspectorButton::symbolSide() const
{
    return SymbolCatalog::pixelSizeForPointSize(
        TolviDesign::layoutPointSize(m_look == Look::primary ? Typography::bodyStrong : Typography::body));
}

QRect InspectorButton::bodyRect() const
{
    return rect().adjusted(ringMargin, ringMargin, -ringMargin, -ringMargin);
}

QSize InspectorButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    int content = m_systemImage.isEmpty() ? 0 : symbolSide();
    if (!m_title.isEmpty())
        content += (content > 0 ? symbolSpacing : 0) + int(std::ceil(QFontMetricsF(labelFont()).horizontalAdvance(m_title)));
    if (menu())
        content += symbolSpacing + style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this);
    const int padding = m_title.isEmpty() ? TolviPrimaryButtonStyle::verticalPadding
                                          : TolviPrimaryButtonStyle::horizontalPadding;
    const int bodyWidth = std::max(m_minimumBodyWidth, content + 2 * padding);
    const int bodyHeight = std::max(metrics.height(), symbolSide()) + 2 * TolviPrimaryButtonStyle::verticalPadding;
    return {bodyWidth + 2 * ringMargin, bodyHeight + 2 * ringMargin};
}

QSize InspectorButton::minimumSizeHint() const
{
    // Room for the symbol and the start of the title; the rest is elided.
    const QFontMetrics metrics(labelFont());
    int content = m_systemImage.isEmpty() ? 0 : symbolSide();
    if (!m_title.isEmpty())
        content += (content > 0 ? symbolSpacing : 0) + metrics.horizontalAdvance(QStringLiteral("W\u2026"));
    const QSize hint = sizeHint();
    return {std::min(hint.width(), content + 2 * minimumPadding + 2 * ringMargin), hint.height()};
}

bool InspectorButton::hitButton(const QPoint& position) const
{
    return bodyRect().contains(position);
}

void InspectorButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRect body = bodyRect();
    QRect content = body;
    QColor ink;
    TolviPrimaryButtonStyle::State state;
    state.isEnabled = isEnabled();
    state.isPressed = isDown();
    state.isFocused = hasFocus();

    switch (m_look) {
    case Look::primary:
        TolviPrimaryButtonStyle::paint(painter, body, QString(), state, context);
        painter.setOpacity(TolviPrimaryButtonStyle::opacity(state));
        ink = context.color(ColorToken::onAccent);
        break;
    case Look::bordered: {
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect = body;
        option.text.clear();
        option.icon = QIcon();
        // The focus ring and the menu mark are drawn below, the same on every look.
        option.state &= ~QStyle::State_HasFocus;
        option.features &= ~QStyleOptionButton::HasMenu;
        style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
        ink = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
        if (menu()) {
            // A small chevron at the trailing end, centred on the title.
            const int mark = style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this);
            content.setRight(content.right() - mark);
            const QPointF centre(body.right() - mark / 2.0 - 2, body.center().y() + 1);
            painter.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPolyline(QPolygonF({centre + QPointF(-3, -1.5), centre + QPointF(0, 1.5), centre + QPointF(3, -1.5)}));
        }
        break;
    }
    case Look::borderless:
    case Look::plain:
        if (isDown())
            painter.fillPath(roundedShape(body, 6), withAlpha(context.color(ColorToken::muted), 0.18));
        ink = context.color(m_look == Look::borderless ? ColorToken::electricBlue : ColorToken::ink);
        if (!isEnabled())
            ink = withAlpha(ink, 0.45);
        break;
    }
    if (m_look != Look::primary && hasFocus()) {
        const auto [ring, width] = TolviPrimaryButtonStyle::ring(body, state, context);
        painter.setPen(QPen(context.color(ColorToken::electricBlue), width));
        painter.setBrush(Qt::NoBrush);
        const qreal inset = width / 2;
        painter.drawPath(roundedShape(ring.adjusted(inset, inset, -inset, -inset), TolviPrimaryButtonStyle::cornerRadius));
    }

    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    const int side = m_systemImage.isEmpty() ? 0 : symbolSide();
    // Centred; when the body is narrow the padding, then the gap after the symbol give way
    // before the title is elided.
    qreal room = std::max(0, content.width() - (m_title.isEmpty() ? 0 : 2 * minimumPadding));
    qreal symbolRoom = side > 0 && !m_title.isEmpty() ? side + symbolSpacing : side;
    if (!m_title.isEmpty() && symbolRoom + metrics.horizontalAdvance(m_title) > room) {
        room = std::max(0, content.width() - 2);
        if (side > 0)
            symbolRoom = side + 3;
    }
    const QString title =
        m_title.isEmpty() ? QString() : metrics.elidedText(m_title, Qt::ElideRight, std::max<qreal>(0, room - symbolRoom));
    const qreal textWidth = title.isEmpty() ? 0 : std::ceil(metrics.horizontalAdvance(title));
    const qreal left = std::round(content.left() + (content.width() - symbolRoom - textWidth) / 2.0);
    if (side > 0) {
        SymbolCatalog::paint(painter, QRectF(left, content.center().y() + 0.5 - side / 2.0, side, side), m_systemImage,
                             ink);
    }
    if (!title.isEmpty()) {
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(QRectF(left + symbolRoom, content.top(), textWidth + 2, content.height()),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    }
}

// ---- LineLimitedLabel -------------------------------------------------------------------

LineLimitedLabel::LineLimitedLabel(Typography style, ColorToken color, int maxLines, QWidget* parent)
    : QWidget(parent),
      m_style(style),
      m_color(color),
      m_maxLines(std::max(1, maxLines))
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(m_maxLines > 1);
    setSizePolicy(policy);
    setFont(TolviDesign::font(style));
}

void LineLimitedLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QStringList LineLimitedLabel::lines(int width) const
{
    const QFont& font = TolviDesign::font(m_style);
    const QFontMetrics metrics(font);
    width = std::max(1, width);
    if (m_text.isEmpty())
        return {};
    if (m_maxLines == 1)
        return {metrics.elidedText(m_text, Qt::ElideRight, width)};
    QTextLayout layout(m_text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList result;
    layout.beginLayout();
    while (result.size() < m_maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (result.size() == m_maxLines - 1) {
            // The last line takes the rest of the text, elided.
            result.append(metrics.elidedText(m_text.mid(line.textStart()), Qt::ElideRight, width));
            break;
        }
        result.append(m_text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return result;
}

int LineLimitedLabel::heightForWidth(int width) const
{
    const QFontMetrics metrics(TolviDesign::font(m_style));
    const int count = std::max<qsizetype>(1, lines(width).size());
    return int(count) * metrics.height() + (int(count) - 1) * metrics.leading();
}

QSize LineLimitedLabel::sizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(m_style));
    return {int(std::ceil(QFontMetricsF(TolviDesign::font(m_style)).horizontalAdvance(m_text))) + 1, metrics.height()};
}

QSize LineLimitedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(m_style));
    return {metrics.horizontalAdvance(QStringLiteral("W\u2026")), metrics.height()};
}

void LineLimitedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFont& font = TolviDesign::font(m_style);
    const QFontMetrics metrics(font);
    painter.setFont(font);
    QColor color = DesignContext::of(this).color(m_color);
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.6f);
    painter.setPen(color);
    int y = 0;
    for (const QString& line : lines(width())) {
        painter.drawText(QRect(0, y, width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         line);
        y += metrics.height() + metrics.leading();
    }
}

// ---- InspectorBusyIndicator -------------------------------------------------------------

InspectorBusyIndicator::InspectorBusyIndicator(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(12, 12);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void InspectorBusyIndicator::showEvent(QShowEvent*)
{
    if (DesignContext::of(this).animationDuration(1) > 0)
        m_timer.start();
}

void InspectorBusyIndicator::hideEvent(QHideEvent*)
{
    m_timer.stop();
}

void InspectorBusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF ring = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(withAlpha(context.color(ColorToken::muted), 0.3), 2));
    painter.drawEllipse(ring);
    painter.setPen(QPen(context.color(ColorToken::muted), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, (90 - m_angle) * 16, -100 * 16);
}

// ---- ButtonGridLayout -------------------------------------------------------------------

ButtonGridLayout::ButtonGridLayout(int minimumColumnWidth, int spacing, QWidget* parent)
    : QLayout(parent),
      m_minimumColumnWidth(minimumColumnWidth),
      m_spacing(spacing)
{
    setContentsMargins(0, 0, 0, 0);
}

ButtonGridLayout::~ButtonGridLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void ButtonGridLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem* ButtonGridLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

int ButtonGridLayout::columnCount(int width) const
{
    if (m_minimumColumnWidth <= 0)
        return 0;
    return std::max(1, (width + m_spacing) / (m_minimumColumnWidth + m_spacing));
}

int ButtonGridLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize ButtonGridLayout::sizeHint() const
{
    int width = 0;
    int height = 0;
    int shown = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint() - QSize(2 * ringMargin, 2 * ringMargin);
        width += (shown++ > 0 ? m_spacing : 0) + std::max(hint.width(), m_minimumColumnWidth);
        height = std::max(height, hint.height());
    }
    return {width, height};
}

QSize ButtonGridLayout::minimumSize() const
{
    int width = 0;
    for (QLayoutItem* item : m_items) {
        if (!item->isEmpty())
            width = std::max(width, item->minimumSize().width() - 2 * ringMargin);
    }
    return {std::max(width, std::min(m_minimumColumnWidth, sizeHint().width())), heightForWidth(width)};
}

void ButtonGridLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int ButtonGridLayout::arrange(const QRect& rect, bool apply) const
{
    const int columns = columnCount(rect.width());
    // Column edges spread the width left over by whole pixels.
    auto columnLeft = [&](int column) {
        return rect.left() + column * m_spacing + (rect.width() - (columns - 1) * m_spacing) * column / columns;
    };
    int y = rect.top();
    int x = rect.left();
    int column = 0;
    int rowHeight = 0;
    bool rowStarted = false;
    QList<std::pair<QLayoutItem*, QRect>> row;
    auto finishRow = [&] {
        if (apply) {
            for (auto& [item, cell] : row) {
                cell.setHeight(rowHeight);
                item->setGeometry(cell.adjusted(-ringMargin, -ringMargin, ringMargin, ringMargin));
            }
        }
        row.clear();
        y += rowHeight + m_spacing;
        rowHeight = 0;
        column = 0;
        x = rect.left();
        rowStarted = false;
    };
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize body = item->sizeHint() - QSize(2 * ringMargin, 2 * ringMargin);
        QRect cell;
        if (columns > 0) {
            if (column == columns)
                finishRow();
            const int left = columnLeft(column);
            cell = QRect(left, y, columnLeft(column + 1) - m_spacing - left, body.height());
            ++column;
        } else {
            const int width = std::min(body.width(), rect.width());
            if (rowStarted && x + width > rect.right() + 1)
                finishRow();
            cell = QRect(x, y, width, body.height());
            x += width + m_spacing;
        }
        rowStarted = true;
        rowHeight = std::max(rowHeight, body.height());
        row.append({item, cell});
    }
    if (!rowStarted)
        return 0;
    finishRow();
    return y - m_spacing - rect.top();
}

} // namespace tolvi
