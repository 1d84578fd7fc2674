#include "Tolvi/inspector/ClipQuickLookParts.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/ShownText.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tolvi::quicklook {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

void paintPlate(QPainter& painter, const QRectF& rect, qreal radius, const QColor& tint, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintLiquidPlate(painter, rect, radius, context);
    painter.fillPath(roundedShape(rect, radius), tint);
    painter.restore();
}

// MARK: - TextLine

TextLine::TextLine(Typography style, ColorToken color, Qt::TextElideMode elide, QWidget* parent)
    : QWidget(parent), m_font(TolviDesign::font(style)), m_color(color), m_elide(elide)
{
    setFont(m_font);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TextLine::setFontWeight(QFont::Weight weight)
{
    m_font.setWeight(weight);
    setFont(m_font);
    updateGeometry();
}

void TextLine::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_shown = ShownText::oneLineExcerpt(text, m_elide);
    setAccessibleName(m_shown);
    updateGeometry();
    update();
}

QSize TextLine::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    return {metrics.horizontalAdvance(m_shown) + 1, metrics.height()};
}

QSize TextLine::minimumSizeHint() const
{
    return {0, QFontMetrics(m_font).height()};
}

void TextLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(DesignContext::of(this).color(m_color));
    const QFontMetrics metrics(m_font);
    painter.drawText(rect(), int(m_alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                     metrics.elidedText(m_shown, m_elide, width()));
}

// MARK: - KindTile

KindTile::KindTile(QWidget* parent) : QWidget(parent)
{
    setFixedSize(TolviIconTile::side, TolviIconTile::side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void KindTile::setSymbol(const QString& systemImage, ColorToken tint)
{
    m_systemImage = systemImage;
    m_tint = tint;
    update();
}

void KindTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TolviIconTile::paintTile(painter, QRectF(rect()), m_systemImage, DesignContext::of(this).color(m_tint));
}

// MARK: - HeaderButton

HeaderButton::HeaderButton(const QString& title, QString systemImage, QWidget* parent)
    : QAbstractButton(parent), m_systemImage(std::move(systemImage))
{
    setFixedSize(26, 26);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_Hover);
}

void HeaderButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isDown() || underMouse()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(context.color(ColorToken::ink), isDown() ? 0.12 : 0.06));
        painter.drawRoundedRect(body, 6, 6);
    }
    if (hasFocus()) {
        painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(body.adjusted(0.75, 0.75, -0.75, -0.75), 6, 6);
    }
    const qreal side = SymbolCatalog::pixelSizeForPointSize(14);
    const QRectF symbol(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
    QColor ink = context.color(ColorToken::ink);
    if (!isEnabled())
        ink = withOpacity(ink, 0.35);
    SymbolCatalog::paint(painter, symbol, m_systemImage, ink);
}

// MARK: - TabSegment

TabSegment::TabSegment(QuickLookTab tab, QWidget* parent) : QAbstractButton(parent), m_tab(tab)
{
    setText(ClipQuickLook::tabTitle(tab));
    setAccessibleName(text());
    setUpSegment(this);
    setCursor(Qt::PointingHandCursor);
}

QSize TabSegment::sizeHint() const
{
    const QFontMetrics metrics(TolviDesign::font(Typography::bodyStrong));
    return {symbolSide() + 6 + metrics.horizontalAdvance(text()) + 24, 26};
}

void TabSegment::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (isChecked())
        paintChosenSegment(painter, body, context);
    if (hasFocus()) {
        painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(body, 6, 6);
    }
    const QFont font = TolviDesign::font(isChecked() ? Typography::bodyStrong : Typography::body);
    const QFontMetrics metrics(font);
    const QColor ink = context.color(isChecked() ? ColorToken::ink : ColorToken::muted);
    const int side = symbolSide();
    const qreal contentWidth = side + 6 + metrics.horizontalAdvance(text());
    const qreal left = std::max<qreal>(body.left() + 6, body.center().x() - contentWidth / 2);
    SymbolCatalog::paint(painter, QRectF(left, body.center().y() - side / 2.0, side, side),
                         ClipQuickLook::tabSystemImage(m_tab), ink);
    painter.setFont(font);
    painter.setPen(ink);
    const QRectF label(left + side + 6, body.top(), body.right() - left - side - 6, body.height());
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(text(), Qt::ElideRight, int(label.width())));
}

int TabSegment::symbolSide()
{
    return SymbolCatalog::pixelSizeForPointSize(12);
}

// MARK: - TabPicker

TabPicker::TabPicker(QWidget* parent) : TolviSegmentTrack(parent)
{
    setAccessibleName(QStringLiteral("Preview Mode"));
    QHBoxLayout* layout = layOutSegments(this);
    for (QuickLookTab tab : {QuickLookTab::preview, QuickLookTab::ocr, QuickLookTab::details}) {
        auto* segment = new TabSegment(tab, this);
        layout->addWidget(segment);
        m_segments.append(segment);
        connect(segment, &QAbstractButton::clicked, this, [this, tab] {
            if (chosen)
                chosen(tab);
        });
    }
}

TabSegment* TabPicker::segment(QuickLookTab tab) const
{
    for (TabSegment* segment : m_segments) {
        if (segment->tab() == tab)
            return segment;
    }
    return nullptr;
}

void TabPicker::offer(const QList<QuickLookTab>& available, QuickLookTab selected)
{
    for (TabSegment* segment : std::as_const(m_segments)) {
        segment->setVisible(available.contains(segment->tab()));
        segment->setChecked(segment->tab() == selected);
    }
}

// MARK: - Plate

Plate::Plate(ColorToken tint, qreal tintOpacity, QWidget* parent)
    : QWidget(parent), m_tint(tint), m_tintOpacity(tintOpacity)
{
}

void Plate::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const DesignContext context = DesignContext::of(this);
    paintPlate(painter, QRectF(rect()), radius, withOpacity(context.color(m_tint), m_tintOpacity), context);
}

// MARK: - LinkCard

LinkCard::LinkCard(QWidget* parent) : Plate(ColorToken::mint, 0.05, parent)
{
    setObjectName(QStringLiteral("quickLookLinkCard"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    auto* tile = new KindTile(this);
    tile->setSymbol(QStringLiteral("link"), ColorToken::mint);
    layout->addWidget(tile);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_host = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, this);
    m_address = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideMiddle, this);
    column->addWidget(m_host);
    column->addWidget(m_address);
    layout->addLayout(column, 1);
    m_open = new QPushButton(QStringLiteral("Open"), this);
    m_open->setAutoDefault(false);
    layout->addWidget(m_open);
}

void LinkCard::setLink(const ClipQuickLook::Link& link)
{
    m_host->setText(link.host.value_or(QStringLiteral("Link")));
    m_address->setText(link.absoluteString);
}

// MARK: - DetailRowView

DetailRowView::DetailRowView(ClipQuickLook::DetailRow row, QWidget* parent)
    : QWidget(parent), m_row(std::move(row))
{
    setFixedHeight(verticalPadding * 2 + QFontMetrics(TolviDesign::font(Typography::body)).height());
    setAccessibleName(m_row.title + QStringLiteral(": ") + m_row.value);
}

void DetailRowView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QColor muted = context.color(ColorToken::muted);
    const QRectF inner = QRectF(rect()).adjusted(horizontalPadding, 0, -horizontalPadding, 0);
    const int side = SymbolCatalog::pixelSizeForPointSize(13);
    SymbolCatalog::paint(painter, QRectF(inner.left() + (18 - side) / 2.0, inner.center().y() - side / 2.0, side, side),
                         m_row.systemImage, muted);
    QFont font = TolviDesign::font(Typography::body);
    painter.setFont(font);
    painter.setPen(muted);
    const QFontMetrics titleMetrics(font);
    const qreal titleLeft = inner.left() + 18 + 10;
    const qreal titleWidth = titleMetrics.horizontalAdvance(m_row.title) + 1;
    painter.drawText(QRectF(titleLeft, 0, titleWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, m_row.title);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(context.color(ColorToken::ink));
    const QRectF value(titleLeft + titleWidth + 10, 0, inner.right() - titleLeft - titleWidth - 10, height());
    painter.drawText(value, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(font).elidedText(ShownText::oneLineExcerpt(m_row.value, Qt::ElideMiddle),
                                                  Qt::ElideMiddle, int(value.width())));
    painter.fillRect(QRectF(40, height() - 1, width() - 40, 1), withOpacity(context.color(ColorToken::ink), 0.07));
}

// MARK: - DetailsTable

DetailsTable::DetailsTable(QWidget* parent) : Plate(ColorToken::ink, 0.035, parent)
{
    setObjectName(QStringLiteral("quickLookDetails"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void DetailsTable::setRows(const QList<ClipQuickLook::DetailRow>& rows)
{
    if (rows == m_rows)
        return;
    m_rows = rows;
    for (DetailRowView* view : std::as_const(m_views))
        delete view;
    m_views.clear();
    for (const ClipQuickLook::DetailRow& row : rows) {
        auto* view = new DetailRowView(row, this);
        layout()->addWidget(view);
        m_views.append(view);
    }
}

// MARK: - Card

Card::Card(QWidget* parent) : TolviGlassSurface(18, DesignColor::clear(), true, parent)
{
    setObjectName(QStringLiteral("quickLookCard"));
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillPath(roundedShape(body, cornerRadius()), context.color(ColorToken::raisedSurface));
    painter.setPen(QPen(context.color(ColorToken::glassStroke), context.increasedContrast ? 1.5 : 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedShape(body, cornerRadius()));
}

} // namespace tolvi::quicklook
