#include "Tolvi/clipviews/FirstFittingArrangement.h"

#include <QEvent>
#include <QResizeEvent>

namespace tolvi {

FirstFittingArrangement::FirstFittingArrangement(QWidget* parent)
    : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void FirstFittingArrangement::addArrangement(QWidget* arrangement)
{
    arrangement->setParent(this);
    arrangement->hide();
    m_arrangements.append(arrangement);
    choose(width());
    updateGeometry();
}

int FirstFittingArrangement::indexForWidth(int width) const
{
    for (qsizetype i = 0; i < m_arrangements.size(); ++i) {
        if (m_arrangements[i]->sizeHint().width() <= width)
            return int(i);
    }
    return int(m_arrangements.size()) - 1;
}

QSize FirstFittingArrangement::sizeHint() const
{
    return m_arrangements.isEmpty() ? QSize() : m_arrangements.first()->sizeHint();
}

QSize FirstFittingArrangement::minimumSizeHint() const
{
    if (m_arrangements.isEmpty())
        return {};
    const QWidget* last = m_arrangements.last();
    QSize size = last->minimumSizeHint();
    return size.expandedTo(QSize(0, last->hasHeightForWidth() ? 0 : last->sizeHint().height()));
}

int FirstFittingArrangement::heightForWidth(int width) const
{
    const int index = indexForWidth(width);
    if (index < 0)
        return 0;
    const QWidget* arrangement = m_arrangements[index];
    return arrangement->hasHeightForWidth() ? arrangement->heightForWidth(width) : arrangement->sizeHint().height();
}

void FirstFittingArrangement::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    choose(event->size().width());
}

bool FirstFittingArrangement::event(QEvent* event)
{
    // An arrangement whose content changed may fit, or stop fitting, at the same width.
    if (event->type() == QEvent::LayoutRequest)
        choose(width());
    return QWidget::event(event);
}

void FirstFittingArrangement::choose(int width)
{
    const int index = indexForWidth(width);
    if (index != m_current) {
        if (QWidget* old = currentArrangement())
            old->hide();
        m_current = index;
        if (QWidget* shown = currentArrangement())
            shown->show();
        updateGeometry();
        emit arrangementChanged(index);
    }
    if (QWidget* shown = currentArrangement())
        shown->setGeometry(rect());
}

} // namespace tolvi
