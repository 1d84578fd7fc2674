#include "Tolvi/menu/MenuBarContent.h"
#include "Tolvi/menu/TrayMenuBuilder.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

using namespace tolvi;

namespace {

QList<ClipboardItem> clips(int count, bool pinned)
{
    QList<ClipboardItem> items;
    for (int i = 0; i < count; ++i) {
        ClipboardItem item(QStringLiteral("clip %1").arg(i));
        item.setPinned(pinned);
        items << item;
    }
    return items;
}

QString preview(const ClipboardItem& item)
{
    return item.content().isText() ? item.content().textValue() : QString();
}

QStringList titles(const QList<MenuBarEntry>& menu)
{
    QStringList out;
    for (const MenuBarEntry& entry : menu)
        out << (entry.kind == MenuBarEntry::Kind::Separator ? QStringLiteral("---") : entry.title);
    return out;
}

const MenuBarEntry* find(const QList<MenuBarEntry>& menu, const QString& title)
{
    for (const MenuBarEntry& entry : menu) {
        if (entry.title == title)
            return &entry;
    }
    return nullptr;
}

} // namespace

TEST(MenuBarMenu, EmptyHistoryShowsNoHistoryAndDisablesClearing)
{
    MenuBarContent snapshot;
    const auto menu = snapshot.entries(preview);
    const QStringList t = titles(menu);
    EXPECT_TRUE(t.contains("No history"));
    EXPECT_FALSE(t.contains("Pinned"));
    EXPECT_FALSE(t.contains("Cancel Paste Queue"));
    EXPECT_FALSE(find(menu, "Clear History")->enabled);
    EXPECT_FALSE(find(menu, "Clear Last 15 Minutes")->enabled);
    EXPECT_FALSE(find(menu, "Check for Updates...")->enabled);
    EXPECT_EQ(t.first(), "Quick Paste");
    EXPECT_EQ(t.last(), "Quit Tolvi");
    // With no exclusions the submenu holds only its first button.
    const MenuBarEntry* exclusions = find(menu, "App Exclusions");
    ASSERT_NE(exclusions, nullptr);
    EXPECT_EQ(titles(exclusions->children), QStringList{"Exclude Front App"});
}

TEST(MenuBarMenu, ItemsStandInTheirOrderWithAQueueAClipOfEachKindAndAnExclusion)
{
    MenuBarContent snapshot;
    snapshot.pinnedItems = {ClipboardItem(QStringLiteral("a pinned clip"))};
    snapshot.recentItems = {ClipboardItem(QStringLiteral("a recent clip"))};
    snapshot.excludedApps = {ExcludedApp{QStringLiteral("org.example.Notes"), QStringLiteral("Notes")}};
    snapshot.queuedCount = 2;
    snapshot.canCheckForUpdates = true;
    const auto menu = snapshot.entries(preview);
    EXPECT_EQ(titles(menu),
              (QStringList{"Quick Paste", "Show History", "New Snippet...", "Paste Next (2 remaining)",
                           "Cancel Paste Queue", "---", "Pause Capture", "Clear Last 15 Minutes", "---", "Pinned",
                           "a pinned clip", "---", "a recent clip", "---", "App Exclusions", "How to Use...",
                           "Settings...", "---", "About Tolvi", "What's New", "Check for Updates...",
                           "Release Notes", "Support", "Send Feedback...", "Request Feature...", "Report Bug...",
                           "Privacy Policy", "Terms of Use", "---", "Clear History", "Quit Tolvi"}));
    EXPECT_EQ(titles(find(menu, "App Exclusions")->children), (QStringList{"Exclude Front App", "---", "Remove Notes"}));
    for (const MenuBarEntry& entry : menu) {
        if (entry.kind == MenuBarEntry::Kind::Button) {
            EXPECT_TRUE(entry.enabled) << entry.title.toStdString();
        }
    }
    EXPECT_TRUE(find(menu, "Clear History")->destructive);
    EXPECT_TRUE(find(menu, "Clear Last 15 Minutes")->destructive);
}

TEST(MenuBarMenu, ShowsAtMostFourPinnedAndSixRecentClipsInOrder)
{
    MenuBarContent snapshot;
    snapshot.pinnedItems = clips(5, true);
    snapshot.recentItems = clips(10, false);
    const auto menu = snapshot.entries(preview);
    QList<QUuid> shown;
    for (const MenuBarEntry& entry : menu) {
        if (entry.action == MenuBarAction::PasteItem)
            shown << entry.clipID;
    }
    ASSERT_EQ(shown.size(), 10);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(shown[i], snapshot.pinnedItems[i].id());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(shown[4 + i], snapshot.recentItems[i].id());
    const QStringList t = titles(menu);
    EXPECT_EQ(t.indexOf("Pinned") + 1, t.indexOf("clip 0"));
    EXPECT_TRUE(find(menu, "Clear History")->enabled);

    // Every clip pinned: the pinned section, and no "No history".
    snapshot.recentItems.clear();
    EXPECT_FALSE(titles(snapshot.entries(preview)).contains("No history"));
}

TEST(MenuBarMenu, PasteQueueRemainingNeverGoesBelowZero)
{
    MenuBarContent snapshot;
    snapshot.queuedCount = 3;
    snapshot.completedCount = 1;
    EXPECT_TRUE(titles(snapshot.entries(preview)).contains("Paste Next (2 remaining)"));
    snapshot.completedCount = 5;
    EXPECT_TRUE(titles(snapshot.entries(preview)).contains("Paste Next (0 remaining)"));
}

TEST(MenuBarMenu, CaptureTitleAndStatusLine)
{
    MenuBarContent snapshot;
    snapshot.monitoringEnabled = false;
    QStringList t = titles(snapshot.entries(preview));
    EXPECT_TRUE(t.contains("Resume Capture"));
    EXPECT_TRUE(t.contains("Capture paused"));
    snapshot.exclusionsUnreadable = true;
    t = titles(snapshot.entries(preview));
    EXPECT_TRUE(t.contains("Capture blocked — review Exclusions in Settings"));
    EXPECT_FALSE(t.contains("Capture paused"));
    snapshot.monitoringEnabled = true;
    snapshot.exclusionsUnreadable = false;
    t = titles(snapshot.entries(preview));
    EXPECT_TRUE(t.contains("Pause Capture"));
    EXPECT_EQ(t.indexOf("Pause Capture") + 1, t.indexOf("Clear Last 15 Minutes"));
}

TEST(TrayMenu, ShowsUserTextVerbatimAndReportsTheChosenEntry)
{
    MenuBarContent snapshot;
    snapshot.recentItems = {ClipboardItem(QStringLiteral("Tom & Jerry\tline")),
                            ClipboardItem(QStringLiteral("RTL: \u202Eevil"))};
    snapshot.pinnedItems = {ClipboardItem(QStringLiteral("a pinned clip"))};
    snapshot.excludedApps = {ExcludedApp{QStringLiteral("org.example.Notes"), QStringLiteral("R&D Notes\u2067")}};
    QMenu menu;
    QList<MenuBarEntry> chosen;
    fillTrayMenu(menu, snapshot.entries(preview), [&](const MenuBarEntry& e) { chosen << e; });

    QAction* clip = nullptr;
    QMenu* exclusions = nullptr;
    for (QAction* action : menu.actions()) {
        if (action->text() == "Tom && Jerry line")
            clip = action;
        if (action->menu() && action->text() == "App Exclusions")
            exclusions = action->menu();
    }
    ASSERT_NE(clip, nullptr);
    // The pinned section keeps its title on screen, above its clips.
    QStringList shown;
    for (QAction* action : menu.actions())
        shown << (action->isSeparator() ? QStringLiteral("---") : action->text());
    const qsizetype pinnedTitle = shown.indexOf("Pinned");
    ASSERT_GE(pinnedTitle, 0);
    EXPECT_FALSE(menu.actions()[pinnedTitle]->isEnabled());
    EXPECT_EQ(shown[pinnedTitle + 1], "a pinned clip");
    // Bidirectional controls show as their marks: the row reads as what it pastes.
    EXPECT_TRUE(shown.contains(QStringLiteral("RTL: \u21E0evil")));
    clip->trigger();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0].clipID, snapshot.recentItems[0].id());

    ASSERT_NE(exclusions, nullptr);
    QAction* remove = exclusions->actions().last();
    EXPECT_EQ(remove->text(), QStringLiteral("Remove R&&D Notes\u21E0"));
    remove->trigger();
    EXPECT_EQ(chosen.last().action, MenuBarAction::RemoveExclusion);
    EXPECT_EQ(chosen.last().bundleIdentifier, "org.example.Notes");
}
