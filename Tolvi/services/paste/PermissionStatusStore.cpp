#include "Tolvi/services/paste/PermissionStatusStore.h"

#include <QEvent>
#include <QPointer>

namespace tolvi {

PermissionStatusStore::PermissionStatusStore(std::function<bool()> eventPostingPermission, Scheduler& scheduler,
                                             bool monitorsChanges, QObject* parent)
    : QObject(parent), eventPostingPermission_(std::move(eventPostingPermission)), scheduler_(scheduler),
      monitorsChanges_(monitorsChanges)
{
    canPostEvents_ = eventPostingPermission_();
}

void PermissionStatusStore::refreshWhileShown(QObject* viewer)
{
    if (!monitorsChanges_ || !viewer)
        return;
    viewer->installEventFilter(this);
    connect(viewer, &QObject::destroyed, this, [this, viewer] { setShown(viewer, false); });
}

bool PermissionStatusStore::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show)
        setShown(watched, true);
    else if (event->type() == QEvent::Hide)
        setShown(watched, false);
    return QObject::eventFilter(watched, event);
}

// The timer runs while at least one viewer is shown. A viewer that appears sees the state of now:
// read at once, and announced when it changed since the last read (the viewer was just built
// from the value it had).
void PermissionStatusStore::setShown(QObject* viewer, bool shown)
{
    if (shown) {
        if (shownViewers_.contains(viewer))
            return;
        shownViewers_.insert(viewer);
        if (const bool now = eventPostingPermission_(); now != canPostEvents_) {
            canPostEvents_ = now;
            emit canPostEventsChanged(canPostEvents_);
        }
        if (!timer_) {
            QPointer<PermissionStatusStore> self(this);
            timer_ = scheduler_.scheduleRepeating(refreshInterval, [self] {
                if (self)
                    self->refresh();
            });
        }
        return;
    }
    shownViewers_.remove(viewer);
    if (shownViewers_.isEmpty() && timer_) {
        scheduler_.cancel(*timer_);
        timer_.reset();
    }
}

void PermissionStatusStore::refresh()
{
    canPostEvents_ = eventPostingPermission_();
    emit canPostEventsChanged(canPostEvents_);
}

PermissionStatusStore::~PermissionStatusStore()
{
    if (timer_)
        scheduler_.cancel(*timer_);
}

namespace AccessibilityPermission {

void openSystemSettings() {}

} // namespace AccessibilityPermission
} // namespace tolvi
