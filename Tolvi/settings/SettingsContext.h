#pragma once

#include "TolviCore/featureflags/FeatureFlags.h"
#include "Tolvi/platform/hotkeys/ShortcutAccess.h"
#include "TolviCore/model/ExcludedApp.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace tolvi {

class Alerts;
class AppExclusionStore;
class ClipboardStore;
class FilePanels;
class PermissionStatusStore;
class PreferencesStore;
class TolviTheme;
class UsageMetricsStore;
class Workspace;

// What the settings window does outside itself. Every action may be empty (it then does nothing).
// The flows that ask questions take the alerts and file panels to ask with: those of the
// settings window, so that their dialogs stay over it.
struct SettingsActions {
    std::function<void()> showHistory;
    std::function<void()> showSetup;
    std::function<void(const ExcludedApp&)> removeExclusion;
    std::function<void()> clearHistory;
    // Removes every clip of the last 15 minutes, pinned ones included.
    std::function<void()> clearRecentHistory;
    std::function<void()> revealHistoryFile;
    // Counts the feedback, then opens a mail with this subject.
    std::function<void(const QString& subject)> sendFeedback;
    std::function<void()> openSupportPage;
    std::function<bool(const QUrl&)> openUrl;
    // The archive flows, with their dialogs and progress attached to the given window.
    std::function<void(FilePanels&, Alerts&, QWidget* window)> exportHistory;
    std::function<void(FilePanels&, Alerts&, QWidget* window)> importHistory;
    std::function<void(FilePanels&, Alerts&)> exportDiagnostics;
};

// The stores the settings window shows and changes, and where it finds what it lists.
struct SettingsDependencies {
    ClipboardStore& clipboardStore;
    FeatureFlags featureFlags;
    AppExclusionStore& exclusions;
    PreferencesStore& preferences;
    PermissionStatusStore& permissions;
    UsageMetricsStore& usage;
    // The open windows offered by the exclusion chooser.
    Workspace& workspace;
    // Asked again by "Check Again"; the permission store's own check.
    std::function<bool()> eventPostingPermission;
    // The XDG applications folders the chooser lists.
    QStringList applicationFolders;
    // This program's identifier, never offered for exclusion.
    QString ownIdentifier;
    QString historyFilePath;
    TolviTheme* theme = nullptr;
    SettingsActions actions;
    // How the window shortcuts reach the program in this session; empty: Tolvi's own key grab.
    std::function<ShortcutAccess()> shortcutAccess{};
};

} // namespace tolvi
