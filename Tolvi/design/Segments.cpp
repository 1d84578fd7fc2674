#include "Tolvi/design/Segments.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>

namespace tolvi {

using TolviDesign::ColorToken;

TolviSegmentTrack::TolviSegmentTrack(QWidget* parent)
    : QWidget(parent)
{
}

void TolviSegmentTrack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = DesignContext::of(this).color(ColorToken::ink);
    fill.setAlphaF(float(fill.alphaF() * 0.06));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

void setUpSegment(QAbstractButton* segment)
{
    segment->setCheckable(true);
    segment->setAutoExclusive(true);
    segment->setFocusPolicy(Qt::TabFocus);
    segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    segment->setFixedHeight(26);
}

QHBoxLayout* layOutSegments(QWidget* track, std::initializer_list<QAbstractButton*> segments)
{
    auto* layout = new QHBoxLayout(track);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (QAbstractButton* segment : segments)
        layout->addWidget(segment);
    return layout;
}

void paintChosenSegment(QPainter& painter, const QRectF& body, const DesignContext& context)
{
    painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
    painter.setBrush(context.color(ColorToken::raisedSurface));
    painter.drawRoundedRect(body, 6, 6);
}

} // namespace tolvi
