#include "Tolvi/history/HistoryDivider.h"

#include "Tolvi/design/TolviTheme.h"

#include <QPainter>

namespace tolvi {

HistoryDivider::HistoryDivider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
{
    if (orientation == Qt::Horizontal)
        setFixedHeight(1);
    else
        setFixedWidth(1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void HistoryDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor color = DesignContext::of(this).color(TolviDesign::ColorToken::muted);
    color.setAlphaF(0.55 * 0.45);
    painter.fillRect(rect(), color);
}

} // namespace tolvi
