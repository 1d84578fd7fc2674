#pragma once

#include "Tolvi/services/capture/Scheduler.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

namespace tolvi {

// Whether we may send keystrokes to other programs (for automatic paste), kept fresh while a
// window shows it, by asking again every second, so that settings and onboarding show the state
// as it is. While nothing shows it, it is not asked at all.
class PermissionStatusStore : public QObject {
    Q_OBJECT
public:
    static constexpr double refreshInterval = 1.0;

    // Reads the permission once now; with monitorsChanges, again every refreshInterval while a
    // viewer is shown.
    PermissionStatusStore(std::function<bool()> eventPostingPermission, Scheduler& scheduler,
                          bool monitorsChanges = true, QObject* parent = nullptr);
    ~PermissionStatusStore() override;

    bool canPostEvents() const { return canPostEvents_; }

    // A widget that shows the state: from its show event to its hide event (or its end) the
    // permission is read at once and then every refreshInterval.
    void refreshWhileShown(QObject* viewer);

    // What the windows say about automatic paste in this session: how keystrokes are sent, and,
    // when none can be, a title and what the user can do.
    struct Texts {
        QString mechanism = QStringLiteral("Automatic paste uses the X11 session's XTEST extension.");
        QString unavailableTitle = QStringLiteral("Automatic paste needs XTEST");
        QString unavailable = QStringLiteral(
            "Tolvi sends Ctrl+V through the XTEST extension of an X11 session. This session has none, so a "
            "picked clip is only copied: paste it with Ctrl+V yourself.");
        // The same for the settings' status line.
        QString unavailableStatus = QStringLiteral(
            "Automatic paste needs an X11 session whose server offers the XTEST extension. Without it, Tolvi "
            "copies the clip but cannot send Ctrl + V.");
        // Where the session keeps the permission to type, for the diagnostics report.
        QString permissionSettings = QStringLiteral("none on X11 (keystrokes go through the XTEST extension)");
    };
    const Texts& texts() const { return texts_; }
    void setTexts(Texts texts) { texts_ = std::move(texts); }

signals:
    // Sent on every refresh, also when the value stayed the same.
    void canPostEventsChanged(bool canPostEvents);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setShown(QObject* viewer, bool shown);
    void refresh();

    std::function<bool()> eventPostingPermission_;
    Scheduler& scheduler_;
    bool monitorsChanges_ = true;
    QSet<QObject*> shownViewers_;
    std::optional<Scheduler::TimerId> timer_;
    bool canPostEvents_ = false;
    Texts texts_;
};

// Leading the user to the permission. On X11 there is no settings page that grants it: the
// XTEST extension of an X11 session is there or not, so this opens nothing.
namespace AccessibilityPermission {
void openSystemSettings();
}

} // namespace tolvi
