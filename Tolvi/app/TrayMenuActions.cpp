#include "Tolvi/app/TrayMenuActions.h"

#include "Tolvi/app/AppState.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/TolviReleaseNotes.h"
#include "Tolvi/updater/AppUpdater.h"
#include "TolviCore/store/ClipboardStore.h"

namespace tolvi {

MenuBarContent menuBarContent(AppState& state)
{
    MenuBarContent content;
    const ClipboardStore& store = state.clipboardStore();
    content.pinnedItems = store.pinnedItems();
    // Only the newest unpinned clips are shown: the menu, rebuilt at every copy, takes no more.
    const qsizetype firstRecent = content.pinnedItems.size();
    for (qsizetype i = firstRecent; i < store.itemCount() && i < firstRecent + MenuBarContent::recentItemsShown; ++i)
        content.recentItems.append(store.itemAt(i));
    content.monitoringEnabled = state.preferencesStore().isClipboardMonitoringEnabled();
    content.exclusionsUnreadable = state.appExclusionStore().loadIssue().has_value();
    content.excludedApps = state.appExclusionStore().excludedApps();
    content.queuedCount = state.pasteService().queuedContents().size();
    content.completedCount = state.pasteService().completedCount();
    content.canCheckForUpdates = state.appUpdater().canCheckForUpdates();
    return content;
}

void performMenuAction(AppState& state, const MenuBarEntry& entry)
{
    using A = MenuBarAction;
    DesktopWorkspace& desktop = state.environment().desktop;
    switch (entry.action) {
    case A::None:
        break;
    case A::ShowCompact:
        state.toggleCompactPanel();
        break;
    case A::ShowHistory:
        state.togglePanel();
        break;
    case A::ShowNewSnippet:
        state.showNewSnippet();
        break;
    case A::PasteNext:
        state.pasteService().pasteNextQueuedItem();
        break;
    case A::CancelPasteQueue:
        state.cancelPasteQueue();
        break;
    case A::ToggleMonitoring:
        state.toggleClipboardMonitoring();
        break;
    case A::ClearRecentHistory:
        state.confirmAndClearRecentHistory();
        break;
    case A::PasteItem:
        if (const std::optional<ClipboardItem> item = state.clipboardStore().item(entry.clipID))
            state.paste(*item);
        break;
    case A::ExcludeFrontApp:
        state.excludeFrontApplication();
        break;
    case A::RemoveExclusion:
        for (const ExcludedApp& app : state.appExclusionStore().excludedApps()) {
            if (app.bundleIdentifier == entry.bundleIdentifier) {
                state.removeExclusion(app);
                break;
            }
        }
        break;
    case A::ShowSetup:
        state.showSetup();
        break;
    case A::ShowSettings:
        state.settingsPanelController().show();
        break;
    case A::ShowAbout:
        state.aboutPanelController().show();
        break;
    case A::ShowWhatsNew:
        state.whatsNewPanelController().show(true);
        break;
    case A::CheckForUpdates:
        state.checkForUpdates();
        break;
    case A::OpenChangelog:
        desktop.openUrl(TolviLinks::changelog());
        break;
    case A::OpenSupport:
        desktop.openUrl(TolviLinks::support());
        break;
    case A::SendFeedback:
        state.recordFeedbackAndOpen(QStringLiteral("Tolvi Feedback"));
        break;
    case A::RequestFeature:
        state.recordFeedbackAndOpen(QStringLiteral("Tolvi Feature Request"));
        break;
    case A::ReportBug:
        state.recordFeedbackAndOpen(QStringLiteral("Tolvi Bug Report"));
        break;
    case A::OpenPrivacy:
        desktop.openUrl(TolviLinks::privacy());
        break;
    case A::OpenTerms:
        desktop.openUrl(TolviLinks::terms());
        break;
    case A::ClearHistory:
        state.confirmAndClearHistory();
        break;
    case A::Quit:
        state.requestQuit();
        break;
    }
}

} // namespace tolvi
