#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ExcludedApp.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>

namespace tolvi {

enum class MenuBarAction {
    None,
    ShowCompact,
    ShowHistory,
    ShowNewSnippet,
    PasteNext,
    CancelPasteQueue,
    ToggleMonitoring,
    ClearRecentHistory,
    PasteItem,
    ExcludeFrontApp,
    RemoveExclusion,
    ShowSetup,
    ShowSettings,
    ShowAbout,
    ShowWhatsNew,
    CheckForUpdates,
    OpenChangelog,
    OpenSupport,
    SendFeedback,
    RequestFeature,
    ReportBug,
    OpenPrivacy,
    OpenTerms,
    ClearHistory,
    Quit,
};

struct MenuBarEntry {
    enum class Kind { Button, Text, Separator, Section, Submenu };

    Kind kind = Kind::Button;
    QString title;
    MenuBarAction action = MenuBarAction::None;
    bool enabled = true;
    bool destructive = false;
    bool muted = false;           // text drawn in the muted colour
    QUuid clipID;                 // PasteItem
    QString bundleIdentifier;     // RemoveExclusion
    QList<MenuBarEntry> children; // Submenu

    static MenuBarEntry button(QString title, MenuBarAction action, bool enabled = true);
    static MenuBarEntry text(QString title, bool muted = false);
    static MenuBarEntry separator();
};

// The tray menu's content: what it shows, taken from the stores each time the menu is rebuilt,
// and how it lays that out.
struct MenuBarContent {
    QList<ClipboardItem> pinnedItems;  // in history order
    // Unpinned, in history order: the newest recentItemsShown are shown (more may be given).
    QList<ClipboardItem> recentItems;
    static constexpr qsizetype recentItemsShown = 6;
    bool monitoringEnabled = true;
    bool exclusionsUnreadable = false;
    QList<ExcludedApp> excludedApps;
    qsizetype queuedCount = 0;
    qsizetype completedCount = 0;
    bool canCheckForUpdates = false;

    // The menu's entries, top to bottom. `preview` gives a clip's one-line title.
    QList<MenuBarEntry> entries(const std::function<QString(const ClipboardItem&)>& preview) const;
};

} // namespace tolvi
