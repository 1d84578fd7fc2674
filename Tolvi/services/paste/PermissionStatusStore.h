#pragma once

#include "Tolvi/services/capture/Scheduler.h"

#include <QObject>

#include <functional>
#include <optional>

namespace tolvi {

// Whether we may send keystrokes to other programs (for automatic paste), kept fresh by asking
// again every second so that settings and onboarding can show the state as it is.
class PermissionStatusStore : public QObject {
    Q_OBJECT
public:
    static constexpr double refreshInterval = 1.0;

    // Reads the permission once now; with monitorsChanges, again every refreshInterval.
    PermissionStatusStore(std::function<bool()> eventPostingPermission, Scheduler& scheduler,
                          bool monitorsChanges = true, QObject* parent = nullptr);
    ~PermissionStatusStore() override;

    bool canPostEvents() const { return canPostEvents_; }

signals:
    // Sent on every refresh, also when the value stayed the same.
    void canPostEventsChanged(bool canPostEvents);

private:
    std::function<bool()> eventPostingPermission_;
    Scheduler& scheduler_;
    std::optional<Scheduler::TimerId> timer_;
    bool canPostEvents_ = false;
};

// Leading the user to the permission. On X11 there is no settings page that grants it: the
// XTEST extension of an X11 session is there or not, so this opens nothing.
namespace AccessibilityPermission {
void openSystemSettings();
}

} // namespace tolvi
