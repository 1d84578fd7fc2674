// The Exclusions section and its chooser, against the real exclusion store, a fake workspace and
// desktop entries written for the test; and the capture they lead to.
#include "SettingsTestSupport.h"

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/settings/ExcludedAppChooser.h"
#include "Tolvi/settings/SettingsView.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tolvi;
using namespace tolvi::test;

namespace {

void writeEntry(const QString& folder, const QString& fileName, const QByteArray& text)
{
    QFile file(folder + QLatin1Char('/') + fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

struct ExclusionsFixture : ::testing::Test {
    SettingsHarness h;
    std::optional<SettingsDependencies> dependencies;
    std::unique_ptr<SettingsView> view;

    SettingsView& make()
    {
        view.reset();
        dependencies.emplace(h.dependencies());
        view = std::make_unique<SettingsView>(*dependencies);
        tolviConsoleAppearance(view.get(), &h.theme);
        view->show();
        return *view;
    }

    // Opens the chooser and waits until it has read the desktop entries.
    ExcludedAppChooser& openChooser()
    {
        view->exclusionPage()->chooseButton()->click();
        ExcludedAppChooser* chooser = view->chooser();
        EXPECT_NE(chooser, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([chooser] { return !chooser->isLoading(); }, 5000));
        return *chooser;
    }

    std::optional<ExclusionCandidate> candidate(const ExcludedAppChooser& chooser, const QString& name,
                                                ExclusionCandidate::Source source)
    {
        for (const ExclusionCandidate& c : chooser.candidates()) {
            if (c.name == name && c.source == source)
                return c;
        }
        return std::nullopt;
    }
};

TEST_F(ExclusionsFixture, ChooserAddsByWindowClassAndRemoveTakesTheEntryOut)
{
    writeEntry(h.applications.path(), QStringLiteral("org.example.Notes.desktop"),
               "[Desktop Entry]\nType=Application\nName=Notes\nStartupWMClass=notes-app\nExec=notes %U\n");
    writeEntry(h.applications.path(), QStringLiteral("hidden.desktop"),
               "[Desktop Entry]\nType=Application\nName=Hidden\nNoDisplay=true\nStartupWMClass=hidden\n");
    writeEntry(h.applications.path(), QStringLiteral("tolvi.desktop"),
               "[Desktop Entry]\nType=Application\nName=Tolvi\nStartupWMClass=Tolvi\n");
    h.workspace.setRunning({{4242, QStringLiteral("Terminal"), QStringLiteral("Terminal")}});
    make().setSelection(SettingsSection::exclusions);
    ExclusionSettingsPage& page = *view->exclusionPage();
    EXPECT_FALSE(page.emptyText()->isHidden());

    ExcludedAppChooser& chooser = openChooser();
    EXPECT_EQ(chooser.windowModality(), Qt::WindowModal);
    EXPECT_EQ(chooser.parentWidget(), view->window());
    QStringList names;
    for (const ExclusionCandidate& c : chooser.candidates())
        names.append(c.name);
    EXPECT_EQ(names, (QStringList{"Terminal", "Notes"}));  // no hidden entry, never ourselves

    ASSERT_TRUE(chooser.selectCandidate(QStringLiteral("Notes"), ExclusionCandidate::Source::desktopEntry));
    chooser.excludeButton()->click();
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(h.exclusions->excludedApps(), (QList<ExcludedApp>{{QStringLiteral("notes-app"), QStringLiteral("Notes")}}));
    ASSERT_EQ(page.rows().size(), 1);
    EXPECT_TRUE(page.emptyText()->isHidden());

    // Offered again, it cannot be chosen twice.
    ExcludedAppChooser& again = openChooser();
    EXPECT_TRUE(candidate(again, QStringLiteral("Notes"), ExclusionCandidate::Source::desktopEntry)->isAlreadyExcluded);
    EXPECT_FALSE(again.selectCandidate(QStringLiteral("Notes"), ExclusionCandidate::Source::desktopEntry));
    again.reject();

    page.rows().first()->findChild<QPushButton*>(QStringLiteral("tolviRemoveExclusion"))->click();
    EXPECT_TRUE(h.exclusions->excludedApps().isEmpty());
    EXPECT_TRUE(page.rows().isEmpty());
    EXPECT_FALSE(page.emptyText()->isHidden());
}

// A choice made while the desktop entries are still being read survives their arrival.
TEST_F(ExclusionsFixture, ChoiceMadeWhileEntriesLoadIsKept)
{
    writeEntry(h.applications.path(), QStringLiteral("org.example.Notes.desktop"),
               "[Desktop Entry]\nType=Application\nName=Notes\nStartupWMClass=notes-app\nExec=notes %U\n");
    h.workspace.setRunning({{4242, QStringLiteral("Terminal"), QStringLiteral("Terminal")}});
    make().setSelection(SettingsSection::exclusions);
    view->exclusionPage()->chooseButton()->click();
    ExcludedAppChooser* chooser = view->chooser();
    ASSERT_NE(chooser, nullptr);
    // The entries are handed over through the event loop, which has not run yet.
    ASSERT_TRUE(chooser->isLoading());
    ASSERT_TRUE(chooser->selectCandidate(QStringLiteral("Terminal"), ExclusionCandidate::Source::openWindow));
    ASSERT_TRUE(chooser->excludeButton()->isEnabled());
    QSignalSpy loaded(chooser, &ExcludedAppChooser::candidatesLoaded);
    ASSERT_TRUE(loaded.wait(5000));
    ASSERT_FALSE(chooser->isLoading());
    ASSERT_TRUE(candidate(*chooser, QStringLiteral("Notes"), ExclusionCandidate::Source::desktopEntry));

    const QList<QListWidgetItem*> selected = chooser->list()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_TRUE(selected.first()->text().startsWith(QStringLiteral("Terminal\n")));
    EXPECT_EQ(chooser->list()->currentItem(), selected.first());
    EXPECT_TRUE(chooser->excludeButton()->isEnabled());
    chooser->excludeButton()->click();
    EXPECT_EQ(h.exclusions->excludedApps(),
              (QList<ExcludedApp>{{QStringLiteral("Terminal"), QStringLiteral("Terminal")}}));

    // The next opening starts with nothing chosen.
    ExcludedAppChooser& again = openChooser();
    EXPECT_TRUE(again.list()->selectedItems().isEmpty());
    EXPECT_FALSE(again.excludeButton()->isEnabled());
    again.reject();
}

TEST_F(ExclusionsFixture, UnreadableListBlocksEverySectionUntilTheConfirmedReset)
{
    h.settings.setData(AppExclusionStore::settingsKey, QByteArrayLiteral("{not json"));
    h.reset();
    SettingsView& settings = make();
    ExclusionSettingsPage& page = *settings.exclusionPage();
    for (SettingsSection section : settingssection::allCases) {
        settings.setSelection(section);
        EXPECT_TRUE(settings.captureBlockedBanner()->isVisible()) << settingssection::rawValue(section).toStdString();
    }
    settings.setSelection(SettingsSection::general);
    settings.reviewExclusionsButton()->click();
    EXPECT_EQ(settings.selection(), SettingsSection::exclusions);
    EXPECT_EQ(settings.sidebar()->currentRow(), int(SettingsSection::exclusions));
    EXPECT_TRUE(page.unreadableBlock()->isVisible());
    EXPECT_FALSE(page.chooseButton()->isEnabled());
    EXPECT_TRUE(page.emptyText()->isHidden());

    // Retrying while the value is still unreadable changes nothing; Cancel keeps it too.
    page.retryButton()->click();
    EXPECT_TRUE(page.unreadableBlock()->isVisible());
    page.resetButton()->click();
    EXPECT_TRUE(clickButton(openMessageBox(view.get()), "Cancel"));
    EXPECT_TRUE(h.exclusions->loadIssue().has_value());
    EXPECT_EQ(h.settings.data(AppExclusionStore::settingsKey), QByteArrayLiteral("{not json"));

    page.resetButton()->click();
    QMessageBox* box = openMessageBox(view.get());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Reset saved app exclusions?");
    EXPECT_TRUE(clickButton(box, "Reset Exclusions"));
    EXPECT_FALSE(h.exclusions->loadIssue().has_value());
    EXPECT_FALSE(page.unreadableBlock()->isVisible());
    EXPECT_FALSE(settings.captureBlockedBanner()->isVisible());
    EXPECT_TRUE(page.chooseButton()->isEnabled());
    EXPECT_TRUE(page.emptyText()->isVisible());
}

TEST_F(ExclusionsFixture, RetryLoadingReadsARepairedList)
{
    h.settings.setData(AppExclusionStore::settingsKey, QByteArrayLiteral("[1,2]"));
    h.reset();
    make().setSelection(SettingsSection::exclusions);
    ExclusionSettingsPage& page = *view->exclusionPage();
    ASSERT_TRUE(page.unreadableBlock()->isVisible());
    h.settings.setData(AppExclusionStore::settingsKey,
                       QByteArrayLiteral(R"([{"bundleIdentifier":"org.example.Old","name":"Old"}])"));
    page.retryButton()->click();
    EXPECT_FALSE(page.unreadableBlock()->isVisible());
    // Stored exclusions are read as they are.
    EXPECT_EQ(h.exclusions->excludedApps(), (QList<ExcludedApp>{{QStringLiteral("org.example.Old"), QStringLiteral("Old")}}));
    EXPECT_EQ(page.rows().size(), 1);
}

// An entry whose file name differs from its windows' class, excluded through the chooser: its
// copies are not recorded, and copies from other apps still are.
class ExcludedEntryCapture : public ExclusionsFixture {
protected:
    class AllTypes final : public CapturePreferences {
    public:
        bool capturesText() const override { return true; }
        bool capturesImages() const override { return true; }
    };

    // Copies text while the app with this window class is in front; whether it was recorded.
    bool copyRecorded(const QString& windowClass, const QString& text)
    {
        h.workspace.setFrontmost(RunningApplication{7, windowClass, windowClass});
        if (!monitor) {
            monitor = std::make_unique<PasteboardMonitor>(PasteboardMonitor::Dependencies{
                board, h.store, *h.exclusions, preferences, h.scheduler,
                [this] { return PasteboardMonitor::frontmostSourceApplication(h.workspace); }, {},
                [](const QString&) {}});
        }
        monitor->poll();  // the front app is seen before the copy
        const qsizetype before = h.store.itemCount();
        board.setString(text);
        monitor->poll();
        return h.store.itemCount() == before + 1;
    }

    InMemoryPasteboard board;
    AllTypes preferences;
    std::unique_ptr<PasteboardMonitor> monitor;
};

TEST_F(ExcludedEntryCapture, EntryWithoutWindowClassIsExcludedByTheClassOfItsOpenWindows)
{
    writeEntry(h.applications.path(), QStringLiteral("org.example.Vault.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vault Passwords\nExec=/opt/vault/bin/vault-gui\n");
    h.workspace.setRunning({{7, QStringLiteral("Vault"), QStringLiteral("Vault")}});
    make();
    ExcludedAppChooser& chooser = openChooser();
    ASSERT_TRUE(chooser.selectCandidate(QStringLiteral("Vault Passwords"), ExclusionCandidate::Source::desktopEntry));
    chooser.excludeButton()->click();
    ASSERT_EQ(h.exclusions->excludedApps().size(), 1);
    EXPECT_EQ(h.exclusions->excludedApps().first().bundleIdentifier, "Vault");

    EXPECT_FALSE(copyRecorded(QStringLiteral("Vault"), QStringLiteral("hunter2")));
    EXPECT_TRUE(copyRecorded(QStringLiteral("Editor"), QStringLiteral("ordinary text")));
    EXPECT_EQ(h.store.itemCount(), 1);
}

TEST_F(ExcludedEntryCapture, WindowClassOfAnotherCaseIsStillExcluded)
{
    writeEntry(h.applications.path(), QStringLiteral("org.example.Vault.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vault Passwords\nStartupWMClass=vault\n");
    make();
    ExcludedAppChooser& chooser = openChooser();
    ASSERT_TRUE(chooser.selectCandidate(QStringLiteral("Vault Passwords"), ExclusionCandidate::Source::desktopEntry));
    chooser.excludeButton()->click();
    EXPECT_FALSE(copyRecorded(QStringLiteral("Vault"), QStringLiteral("hunter2")));
    EXPECT_EQ(h.store.itemCount(), 0);
}

TEST_F(ExcludedEntryCapture, EntryNamingNoWindowClassSaysSoAndCannotBeChosen)
{
    writeEntry(h.applications.path(), QStringLiteral("org.example.Vault.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vault Passwords\nExec=vault-gui\n");
    make();
    ExcludedAppChooser& chooser = openChooser();
    const std::optional<ExclusionCandidate> vault =
        candidate(chooser, QStringLiteral("Vault Passwords"), ExclusionCandidate::Source::desktopEntry);
    ASSERT_TRUE(vault);
    EXPECT_FALSE(vault->windowClass);
    EXPECT_TRUE(vault->detail().startsWith("Names no window class"));
    EXPECT_FALSE(chooser.selectCandidate(QStringLiteral("Vault Passwords"), ExclusionCandidate::Source::desktopEntry));
    chooser.excludeButton()->click();
    EXPECT_TRUE(h.exclusions->excludedApps().isEmpty());
}

TEST(DesktopEntryWindowClass, StartupClassFirstThenOpenWindowsByIDLastPartOrProgram)
{
    using App = DesktopEntries::Application;
    const QList<RunningApplication> running{{1, QStringLiteral("Vault"), QStringLiteral("Vault")},
                                            {2, QStringLiteral("firefox-esr"), QStringLiteral("Firefox")},
                                            {3, QStringLiteral("Gedit"), QStringLiteral("Gedit")}};
    EXPECT_EQ(DesktopEntries::windowClassFor(App{"org.example.Vault", "V", {}, "VaultMain", {}}, running), "VaultMain");
    EXPECT_EQ(DesktopEntries::windowClassFor(App{"org.example.Vault", "V", {}, {}, {}}, running), "Vault");
    EXPECT_EQ(DesktopEntries::windowClassFor(App{"firefox", "F", {}, {}, "firefox-esr"}, running), "firefox-esr");
    EXPECT_EQ(DesktopEntries::windowClassFor(App{"gedit", "G", {}, {}, {}}, running), "Gedit");
    EXPECT_EQ(DesktopEntries::windowClassFor(App{"org.example.Other", "O", {}, {}, "other"}, running), std::nullopt);
}

TEST(DesktopEntryListing, ShownApplicationsOnlyFirstIDWinsSortedByName)
{
    QTemporaryDir first;
    QTemporaryDir second;
    writeEntry(first.path(), QStringLiteral("b.desktop"),
               "[Desktop Entry]\nType=Application\nName=Beta\nIcon=beta\nExec=env A=1 /usr/bin/beta --x\n");
    writeEntry(second.path(), QStringLiteral("b.desktop"), "[Desktop Entry]\nType=Application\nName=Shadowed\n");
    writeEntry(second.path(), QStringLiteral("a.desktop"), "[Desktop Entry]\nType=Application\nName=alpha\n");
    writeEntry(second.path(), QStringLiteral("link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\n");
    writeEntry(second.path(), QStringLiteral("gone.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
    const QList<DesktopEntries::Application> apps = DesktopEntries::applications({first.path(), second.path()});
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(apps.at(0).name, "alpha");
    EXPECT_EQ(apps.at(1), (DesktopEntries::Application{"b", "Beta", "beta", {}, "beta"}));
}

} // namespace
