#include "Tolvi/history/HistoryListView.h"

#include "Tolvi/history/ClipRowDelegate.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace tolvi {

HistoryListView::HistoryListView(QWidget* parent)
    : QListView(parent)
{
    setViewportMargins(0, 6, 0, 6);
    // A changed list is laid out a batch of rows at a time: the rows in view right away, the
    // rest of a long list (100,000 rows take several milliseconds) in the moments after, so a
    // keystroke's result is painted without waiting for the rows far below.
    setLayoutMode(QListView::Batched);
    setBatchSize(layoutBatchSize);
}

void HistoryListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (index.isValid() && !visualRect(index).isValid()) {
        setLayoutMode(QListView::SinglePass);
        doItemsLayout();
        setLayoutMode(QListView::Batched);
    }
    QListView::scrollTo(index, hint);
}

void HistoryListView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton && toggleMark
        && ClipRowDelegate::markRect(visualRect(index)).contains(event->position().toPoint())) {
        toggleMark(index.row());
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void HistoryListView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_9 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (selectRow && key - Qt::Key_1 < model()->rowCount())
            selectRow(key - Qt::Key_1);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace tolvi
