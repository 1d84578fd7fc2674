#include "Tolvi/app/SettingsWindowWiring.h"

#include "Tolvi/app/AppState.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/shell/TolviReleaseNotes.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>

namespace tolvi {

std::unique_ptr<SimpleWindowControlling> makeSettingsPanelController(AppState& app)
{
    QPointer<AppState> owner(&app);
    const AppEnvironment& environment = app.environment();
    auto withOwner = [owner](auto act) {
        return [owner, act](auto&&... arguments) {
            if (owner)
                act(*owner, std::forward<decltype(arguments)>(arguments)...);
        };
    };
    SettingsActions actions;
    actions.showHistory = withOwner([](AppState& a) { a.togglePanel(); });
    actions.showSetup = withOwner([](AppState& a) { a.showSetup(); });
    actions.removeExclusion = withOwner([](AppState& a, const ExcludedApp& excluded) { a.removeExclusion(excluded); });
    actions.clearHistory = withOwner([](AppState& a) { a.clipboardStore().clear(); });
    actions.clearRecentHistory = withOwner([](AppState& a) { a.clearRecentHistoryNow(); });
    actions.revealHistoryFile = withOwner([](AppState& a) { a.revealHistoryFile(); });
    actions.sendFeedback = withOwner([](AppState& a, const QString& subject) { a.recordFeedbackAndOpen(subject); });
    actions.openSupportPage = withOwner([](AppState& a) { a.environment().desktop.openUrl(TolviLinks::support()); });
    actions.openUrl = [owner](const QUrl& url) { return owner && owner->environment().desktop.openUrl(url); };
    actions.exportHistory = withOwner([](AppState& a, FilePanels& panels, Alerts& alerts, QWidget* window) {
        HistoryExporter::exportHistory(a.clipboardStore(), panels, alerts, a.environment().desktop, window);
    });
    actions.importHistory = withOwner([](AppState& a, FilePanels& panels, Alerts& alerts, QWidget* window) {
        HistoryImporter::importHistory(a.clipboardStore(), panels, alerts, window);
    });
    actions.exportDiagnostics =
        withOwner([](AppState& a, FilePanels& panels, Alerts& alerts) { a.exportDiagnostics(panels, alerts); });

    return std::make_unique<SettingsPanelController>(SettingsDependencies{
        app.clipboardStore(),
        app.featureFlags(),
        app.appExclusionStore(),
        app.preferencesStore(),
        app.permissionStatusStore(),
        app.usageMetricsStore(),
        environment.workspace,
        environment.eventPostingPermission,
        DesktopEntries::standardFolders(),
        environment.bundle.bundleIdentifier(),
        environment.historyFilePath,
        &app.theme(),
        std::move(actions),
        environment.shortcutAccess,
    });
}

} // namespace tolvi
