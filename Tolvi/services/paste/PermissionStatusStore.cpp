#include "Tolvi/services/paste/PermissionStatusStore.h"

#include <QPointer>

namespace tolvi {

PermissionStatusStore::PermissionStatusStore(std::function<bool()> eventPostingPermission, Scheduler& scheduler,
                                             bool monitorsChanges, QObject* parent)
    : QObject(parent), eventPostingPermission_(std::move(eventPostingPermission)), scheduler_(scheduler)
{
    canPostEvents_ = eventPostingPermission_();
    if (!monitorsChanges)
        return;
    QPointer<PermissionStatusStore> self(this);
    timer_ = scheduler_.scheduleRepeating(refreshInterval, [self] {
        if (!self)
            return;
        self->canPostEvents_ = self->eventPostingPermission_();
        emit self->canPostEventsChanged(self->canPostEvents_);
    });
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
