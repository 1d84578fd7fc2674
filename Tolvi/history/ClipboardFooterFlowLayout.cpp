#include "Tolvi/history/ClipboardFooterFlowLayout.h"

#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace tolvi {

ClipboardFooterFlowLayout::ClipboardFooterFlowLayout(QWidget* parent, int spacing, int rowSpacing)
    : QLayout(parent),
      m_spacing(spacing),
      m_rowSpacing(rowSpacing)
{
}

ClipboardFooterFlowLayout::~ClipboardFooterFlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

QList<QRect> ClipboardFooterFlowLayout::arrangedFrames(const QList<QSize>& sizes, std::optional<int> width,
                                                       int spacing, int rowSpacing)
{
    const int limit = std::max(width.value_or(1), 1);
    QList<QRect> frames;
    frames.reserve(sizes.size());
    int x = 0;
    int y = 0;
    int rowHeight = 0;
    for (const QSize& size : sizes) {
        if (width && x > 0 && x + size.width() > limit) {
            y += rowHeight + rowSpacing;
            x = 0;
            rowHeight = 0;
        }
        frames.append(QRect(QPoint(x, y), size));
        x += size.width() + spacing;
        rowHeight = std::max(rowHeight, size.height());
    }
    return frames;
}

QSize ClipboardFooterFlowLayout::arrangedSize(const QList<QRect>& frames, std::optional<int> width)
{
    int right = 0;
    int bottom = 0;
    for (const QRect& frame : frames) {
        right = std::max(right, frame.x() + frame.width());
        bottom = std::max(bottom, frame.y() + frame.height());
    }
    return {width ? std::max(*width, 0) : right, bottom};
}

QSize ClipboardFooterFlowLayout::measured(QLayoutItem* item, std::optional<int> width)
{
    const QSize hint = item->sizeHint();
    if (!width || hint.width() <= *width)
        return hint;
    // Offered less than it would like: an item that can give up width takes what it is offered
    // (and grows in height if its content wraps); one that cannot keeps its own width.
    const int w = std::max({*width, item->minimumSize().width(), 1});
    if (w >= hint.width())
        return hint;
    return {w, item->hasHeightForWidth() ? item->heightForWidth(w) : hint.height()};
}

QList<QLayoutItem*> ClipboardFooterFlowLayout::shownItems() const
{
    QList<QLayoutItem*> shown;
    shown.reserve(m_items.size());
    for (QLayoutItem* item : m_items) {
        if (!item->isEmpty())
            shown.append(item);
    }
    return shown;
}

QList<QRect> ClipboardFooterFlowLayout::framesForWidth(std::optional<int> width) const
{
    const std::optional<int> limit = width ? std::optional(std::max(*width, 1)) : std::nullopt;
    QList<QSize> sizes;
    for (QLayoutItem* item : shownItems())
        sizes.append(measured(item, limit));
    return arrangedFrames(sizes, width, m_spacing, m_rowSpacing);
}

void ClipboardFooterFlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem* ClipboardFooterFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* ClipboardFooterFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

int ClipboardFooterFlowLayout::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    return arrangedSize(framesForWidth(inner), inner).height() + margins.top() + margins.bottom();
}

QSize ClipboardFooterFlowLayout::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return arrangedSize(framesForWidth(std::nullopt), std::nullopt)
        + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize ClipboardFooterFlowLayout::minimumSize() const
{
    // At the least the widest item that cannot shrink, on a row of its own.
    QSize size;
    for (QLayoutItem* item : shownItems())
        size = size.expandedTo(item->minimumSize());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void ClipboardFooterFlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QRect inner = rect.marginsRemoved(contentsMargins());
    const QList<QLayoutItem*> shown = shownItems();
    const QList<QRect> frames = framesForWidth(inner.width());
    const Qt::LayoutDirection direction = parentWidget() ? parentWidget()->layoutDirection() : Qt::LeftToRight;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QRect frame = frames.at(i).translated(inner.topLeft());
        shown.at(i)->setGeometry(QStyle::visualRect(direction, inner, frame));
    }
}

} // namespace tolvi
