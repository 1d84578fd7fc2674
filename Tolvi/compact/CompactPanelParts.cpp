#include "Tolvi/compact/CompactPanelParts.h"

#include "Tolvi/clipviews/EmptyHistoryView.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/ThemedWidgets.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/ShownText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace tolvi::CompactPanelParts {

using TolviDesign::ColorToken;
using TolviDesign::withOpacity;

LineLabel::LineLabel(QFont font, ColorToken color, QWidget* parent)
    : QWidget(parent),
      m_font(std::move(font)),
      m_color(color)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineLabel::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    // A clip's first line may be one character of thousands of code points: only what a
    // line can show is measured and drawn.
    m_shown = ShownText::oneLineExcerpt(text, Qt::ElideRight);
    setAccessibleName(m_shown);
    update();
}

QSize LineLabel::sizeHint() const
{
    return {120, int(std::ceil(QFontMetricsF(m_font).height()))};
}

QSize LineLabel::minimumSizeHint() const
{
    return {20, sizeHint().height()};
}

void LineLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(DesignContext::of(this).color(m_color));
    const QFontMetrics metrics(m_font);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(m_shown, Qt::ElideRight, width()));
}

SymbolButton::SymbolButton(QString name, qreal points, int side, QWidget* parent)
    : QToolButton(parent),
      m_name(std::move(name)),
      m_points(points)
{
    setFixedSize(side, side);
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
}

void SymbolButton::setSymbol(const QString& name, std::optional<ColorToken> color)
{
    m_name = name;
    m_color = color;
    update();
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    if (underMouse() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), isDown() ? 0.12 : 0.06));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    const qreal side = SymbolCatalog::pixelSizeForPointSize(m_points);
    const QRectF box(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
    SymbolCatalog::paint(painter, box, m_name, context.color(m_color.value_or(ColorToken::ink)));
}

ListView::ListView(QWidget* parent)
    : QListView(parent)
{
    setViewportMargins(0, 4, 0, 4);
}

void ListView::applyPanelStyle()
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(24);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setAutoScroll(false);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    viewport()->setAttribute(Qt::WA_TranslucentBackground);
    verticalScrollBar()->setStyleSheet(slimScrollBarStyleSheet(DesignContext::of(this), QStringLiteral("2px 2px 2px 0")));
}

QWidget* framedEmptyView(EmptyHistoryView* view, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    view->setParent(page);
    view->setFixedHeight(180);
    layout->addWidget(view);
    layout->addStretch(1);
    return page;
}

} // namespace tolvi::CompactPanelParts
