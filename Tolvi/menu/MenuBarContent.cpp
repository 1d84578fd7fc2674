#include "Tolvi/menu/MenuBarContent.h"

#include <algorithm>

namespace tolvi {

MenuBarEntry MenuBarEntry::button(QString title, MenuBarAction action, bool enabled)
{
    MenuBarEntry entry;
    entry.kind = Kind::Button;
    entry.title = std::move(title);
    entry.action = action;
    entry.enabled = enabled;
    return entry;
}

MenuBarEntry MenuBarEntry::text(QString title, bool muted)
{
    MenuBarEntry entry;
    entry.kind = Kind::Text;
    entry.title = std::move(title);
    entry.enabled = false;
    entry.muted = muted;
    return entry;
}

MenuBarEntry MenuBarEntry::separator()
{
    MenuBarEntry entry;
    entry.kind = Kind::Separator;
    entry.enabled = false;
    return entry;
}

namespace {

MenuBarEntry clipButton(const ClipboardItem& item, const std::function<QString(const ClipboardItem&)>& preview)
{
    MenuBarEntry entry = MenuBarEntry::button(preview(item), MenuBarAction::PasteItem);
    entry.clipID = item.id();
    return entry;
}

} // namespace

QList<MenuBarEntry> MenuBarContent::entries(const std::function<QString(const ClipboardItem&)>& preview) const
{
    using A = MenuBarAction;
    QList<MenuBarEntry> menu;
    const bool hasItems = !pinnedItems.isEmpty() || !recentItems.isEmpty();

    menu << MenuBarEntry::button(QStringLiteral("Quick Paste"), A::ShowCompact)
         << MenuBarEntry::button(QStringLiteral("Show History"), A::ShowHistory)
         << MenuBarEntry::button(QStringLiteral("New Snippet..."), A::ShowNewSnippet);
    if (queuedCount > 0) {
        const qsizetype remaining = std::max<qsizetype>(0, queuedCount - completedCount);
        menu << MenuBarEntry::button(QStringLiteral("Paste Next (%1 remaining)").arg(remaining), A::PasteNext)
             << MenuBarEntry::button(QStringLiteral("Cancel Paste Queue"), A::CancelPasteQueue);
    }
    menu << MenuBarEntry::separator();

    menu << MenuBarEntry::button(monitoringEnabled ? QStringLiteral("Pause Capture")
                                                            : QStringLiteral("Resume Capture"),
                                 A::ToggleMonitoring);
    if (exclusionsUnreadable)
        menu << MenuBarEntry::text(QStringLiteral("Capture blocked — review Exclusions in Settings"));
    else if (!monitoringEnabled)
        menu << MenuBarEntry::text(QStringLiteral("Capture paused"), true);
    MenuBarEntry clearRecent = MenuBarEntry::button(QStringLiteral("Clear Last 15 Minutes"), A::ClearRecentHistory, hasItems);
    clearRecent.destructive = true;
    menu << clearRecent << MenuBarEntry::separator();

    if (!pinnedItems.isEmpty()) {
        MenuBarEntry section;
        section.kind = MenuBarEntry::Kind::Section;
        section.title = QStringLiteral("Pinned");
        section.enabled = false;
        menu << section;
        for (const ClipboardItem& item : pinnedItems.first(std::min<qsizetype>(4, pinnedItems.size())))
            menu << clipButton(item, preview);
        menu << MenuBarEntry::separator();
    }
    if (!hasItems) {
        menu << MenuBarEntry::text(QStringLiteral("No history"), true);
    } else {
        for (const ClipboardItem& item : recentItems.first(std::min(recentItemsShown, recentItems.size())))
            menu << clipButton(item, preview);
    }
    menu << MenuBarEntry::separator();

    MenuBarEntry exclusions;
    exclusions.kind = MenuBarEntry::Kind::Submenu;
    exclusions.title = QStringLiteral("App Exclusions");
    exclusions.children << MenuBarEntry::button(QStringLiteral("Exclude Front App"), A::ExcludeFrontApp);
    if (!excludedApps.isEmpty()) {
        exclusions.children << MenuBarEntry::separator();
        for (const ExcludedApp& app : excludedApps) {
            MenuBarEntry remove = MenuBarEntry::button(QStringLiteral("Remove ") + app.name, A::RemoveExclusion);
            remove.bundleIdentifier = app.bundleIdentifier;
            exclusions.children << remove;
        }
    }
    menu << exclusions;
    menu << MenuBarEntry::button(QStringLiteral("How to Use..."), A::ShowSetup)
         << MenuBarEntry::button(QStringLiteral("Settings..."), A::ShowSettings) << MenuBarEntry::separator();

    menu << MenuBarEntry::button(QStringLiteral("About Tolvi"), A::ShowAbout)
         << MenuBarEntry::button(QStringLiteral("What's New"), A::ShowWhatsNew)
         << MenuBarEntry::button(QStringLiteral("Check for Updates..."), A::CheckForUpdates, canCheckForUpdates)
         << MenuBarEntry::button(QStringLiteral("Release Notes"), A::OpenChangelog)
         << MenuBarEntry::button(QStringLiteral("Support"), A::OpenSupport)
         << MenuBarEntry::button(QStringLiteral("Send Feedback..."), A::SendFeedback)
         << MenuBarEntry::button(QStringLiteral("Request Feature..."), A::RequestFeature)
         << MenuBarEntry::button(QStringLiteral("Report Bug..."), A::ReportBug)
         << MenuBarEntry::button(QStringLiteral("Privacy Policy"), A::OpenPrivacy)
         << MenuBarEntry::button(QStringLiteral("Terms of Use"), A::OpenTerms) << MenuBarEntry::separator();

    MenuBarEntry clearAll = MenuBarEntry::button(QStringLiteral("Clear History"), A::ClearHistory, hasItems);
    clearAll.destructive = true;
    menu << clearAll << MenuBarEntry::button(QStringLiteral("Quit Tolvi"), A::Quit);
    return menu;
}

} // namespace tolvi
