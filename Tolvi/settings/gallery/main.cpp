// Shows the settings window over sample stores and saves each section and its special states
// in the light and dark themes as PNG files named settings-<state>-<light|dark>.png:
//   TolviSettingsScreenshots <output folder>
// Each section is saved twice: the window as it opens ("-window") and the whole scrolling
// section ("-full"). It runs on any Qt platform; scripts/screenshots.sh gives it an X server
// with a window manager and a compositor, as users see the window.
#include "Tolvi/design/ArchiveProgress.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryEvents.h"
#include "Tolvi/gallerysupport/GalleryHistory.h"
#include "Tolvi/gallerysupport/GalleryProgram.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/ShortNoticeWindow.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/platform/hotkeys/ShortcutAccess.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/settings/ExcludedAppChooser.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/settings/SettingsView.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QWindow>

#include <memory>

namespace {

using namespace tolvi;

using gallery::GalleryCamera;
using gallery::GalleryHistory;
using gallery::settle;
using gallery::waitFor;

void writeEntry(const QString& folder, const QString& name, const QByteArray& text)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// One settings window over its own sample stores.
struct Scene {
    explicit Scene(bool unreadableExclusions, bool unreadableHistory, const QString& applications,
                   std::optional<ShortcutAccess> access = std::nullopt)
        : store(history(unreadableHistory), ClipboardStore::Configuration::standard())
    {
        if (unreadableExclusions)
            settings.setData(AppExclusionStore::settingsKey, QByteArrayLiteral("{\"damaged"));
        exclusions = std::make_unique<AppExclusionStore>(settings);
        preferences = std::make_unique<PreferencesStore>(settings);
        preferences->setCapturePrivacyBlocked(unreadableExclusions);
        if (!unreadableExclusions) {
            exclusions->add(QStringLiteral("KeePassXC"), QStringLiteral("KeePassXC"));
            exclusions->add(QStringLiteral("org.example.BankingClientWithAVeryLongIdentifierForTheDemo"),
                            QStringLiteral("Banking Client"));
        }
        if (!unreadableHistory) {
            for (int i = 0; i < 48; ++i)
                store.record(QStringLiteral("Sample clip %1").arg(i), 780'000'000.0 + i);
        }
        for (int i = 0; i < 7; ++i)
            usage.record(UsageMetricEvent::pastePerformed);
        for (int i = 0; i < 4; ++i)
            usage.record(UsageMetricEvent::copyPerformed);
        usage.record(UsageMetricEvent::fullHistoryOpened);
        usage.record(UsageMetricEvent::compactModeOpened);
        usage.record(UsageMetricEvent::snippetCreated);
        workspace.setRunning({{101, QStringLiteral("firefox-esr"), QStringLiteral("Firefox ESR")},
                              {102, QStringLiteral("Vault"), QStringLiteral("Vault")},
                              {103, QStringLiteral("xterm"), QStringLiteral("XTerm")}});
        controller = std::make_unique<SettingsPanelController>(SettingsDependencies{
            store, FeatureFlags(TolviDistributionChannel::direct, true), *exclusions, *preferences, permissions, usage,
            workspace, [] { return false; }, {applications}, QStringLiteral("tolvi"),
            QStringLiteral("/home/ada/.local/share/Tolvi/history.json"), &theme, SettingsActions{},
            access ? std::function<ShortcutAccess()>([access] { return *access; }) : std::function<ShortcutAccess()>{}});
    }

    // A history held in memory; optionally one that could not be read.
    static std::shared_ptr<GalleryHistory> history(bool unreadable)
    {
        auto history = std::make_shared<GalleryHistory>(ClipboardHistoryState{});
        history->setUnreadable(unreadable);
        return history;
    }

    InMemoryKeyValueSettings settings;
    ManualScheduler scheduler;
    FakeClock clock;
    FakeWorkspace workspace;
    TolviTheme theme;
    ClipboardStore store;
    std::unique_ptr<AppExclusionStore> exclusions;
    std::unique_ptr<PreferencesStore> preferences;
    PermissionStatusStore permissions{[] { return false; }, scheduler};
    UsageMetricsStore usage{settings, clock};
    std::unique_ptr<SettingsPanelController> controller;
};

// Saves a window once it is on screen, and a section at its whole height.
class Photographer {
public:
    explicit Photographer(GalleryCamera& camera) : m_camera(camera) {}

    void fail(const QString& what) { m_camera.fail(what); }

    bool waitUntilDrawn(QWidget* window, const QString& state)
    {
        if (!waitFor([window] { return window->isVisible() && window->windowHandle()
                                       && (window->windowHandle()->isExposed()
                                           || QGuiApplication::platformName() == QLatin1String("offscreen")); },
                     5000)) {
            fail(QStringLiteral("the window never appeared for \"%1\"").arg(state));
            return false;
        }
        window->update();
        settle(200);
        return true;
    }

    void saveWindow(QWidget* window, const QString& state)
    {
        if (waitUntilDrawn(window, state))
            m_camera.save(window->grab(), state);
    }

    // The whole section, as tall as its content, on the window's canvas.
    void saveFullSection(SettingsView* view, QWidget* page, const QString& state)
    {
        const QSize size(page->width(), std::max(page->height(), page->sizeHint().height()));
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(DesignContext::of(view).color(TolviDesign::ColorToken::canvas));
        QPainter painter(&image);
        page->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        painter.end();
        m_camera.save(image, state);
    }

private:
    GalleryCamera& m_camera;
};

QWidget* pageOf(SettingsView* view, SettingsSection section)
{
    switch (section) {
    case SettingsSection::general:
        return view->generalPage();
    case SettingsSection::capture:
        return view->capturePage();
    case SettingsSection::exclusions:
        return view->exclusionPage();
    case SettingsSection::privacy:
        return view->privacyPage();
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString program = QStringLiteral("TolviSettingsScreenshots");
    const std::optional<QDir> folder = gallery::outputFolder(argc, argv, program);
    if (!folder)
        return 1;
    QTemporaryDir applications;
    writeEntry(applications.path(), QStringLiteral("org.keepassxc.KeePassXC.desktop"),
               "[Desktop Entry]\nType=Application\nName=KeePassXC\nStartupWMClass=KeePassXC\n");
    writeEntry(applications.path(), QStringLiteral("org.example.Vault.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vault Passwords\nExec=/opt/vault/bin/vault\n");
    writeEntry(applications.path(), QStringLiteral("org.example.Notes.desktop"),
               "[Desktop Entry]\nType=Application\nName=Notes\nExec=notes\n");
    writeEntry(applications.path(), QStringLiteral("firefox-esr.desktop"),
               "[Desktop Entry]\nType=Application\nName=Firefox ESR\nStartupWMClass=firefox-esr\n");

    GalleryCamera camera(*folder, program, QStringLiteral("settings"));
    Photographer photographer(camera);
    for (const gallery::GalleryTheme& entry : gallery::galleryThemes) {
        const ThemeAppearance appearance = entry.appearance;
        camera.setTheme(QString::fromLatin1(entry.name));
        const TolviAppearance preference =
            appearance == ThemeAppearance::dark ? TolviAppearance::dark : TolviAppearance::light;

        {
            Scene scene(false, false, applications.path());
            scene.theme.setAppearance(appearance);
            scene.preferences->setAppearance(preference);
            scene.preferences->setGlobalHotKeyError(
                QStringLiteral("A shortcut could not be registered. Choose another shortcut or check other apps using "
                               "these keys. Tolvi is still available from its system tray icon."));
            scene.preferences->setCapturesImages(false);
            scene.controller->show();
            SettingsView* view = scene.controller->view();
            for (SettingsSection section : settingssection::allCases) {
                view->setSelection(section);
                const QString name = settingssection::rawValue(section);
                photographer.saveWindow(scene.controller->panel(), name + QStringLiteral("-window"));
                photographer.saveFullSection(view, pageOf(view, section), name + QStringLiteral("-full"));
            }
            view->setSelection(SettingsSection::exclusions);
            view->chooseExcludedApp();
            ExcludedAppChooser* chooser = view->chooser();
            if (!chooser || !waitFor([chooser] { return !chooser->isLoading(); }, 5000))
                photographer.fail(QStringLiteral("the chooser did not load"));
            else
                photographer.saveWindow(chooser, QStringLiteral("chooser"));
            if (chooser)
                chooser->reject();

            // The progress sheet of a history export, and of the saving of an import (no Cancel).
            view->setSelection(SettingsSection::privacy);
            {
                ArchiveProgressDialog sheet(QStringLiteral("Exporting History\u2026"), scene.controller->panel());
                sheet.open();
                sheet.bar()->setValue(420);
                settle(150);
                photographer.saveWindow(&sheet, QStringLiteral("export-progress"));
            }
            {
                ArchiveProgressDialog sheet(QStringLiteral("Saving Merged History\u2026"), scene.controller->panel());
                sheet.setCancellable(false);
                sheet.open();
                settle(150);
                photographer.saveWindow(&sheet, QStringLiteral("import-saving"));
            }
        }
        {
            // The General section in Wayland sessions: shortcuts bound by hand, the desktop's service
            // holding one of them, and holding none.
            ShortcutAccess bound;
            bound.route = ShortcutAccess::Route::boundCommands;
            bound.programPath = QStringLiteral("/usr/bin/Tolvi");
            ShortcutAccess partly = bound;
            partly.route = ShortcutAccess::Route::desktopPortal;
            partly.historyTrigger = QStringLiteral("Ctrl+Shift+V");
            ShortcutAccess none = partly;
            none.historyTrigger.clear();
            const std::pair<const char*, ShortcutAccess> routes[] = {
                {"general-wayland-commands", bound}, {"general-portal-partly", partly}, {"general-portal-none", none}};
            for (const auto& [name, access] : routes) {
                Scene scene(false, false, applications.path(), access);
                scene.theme.setAppearance(appearance);
                scene.preferences->setAppearance(preference);
                scene.controller->show();
                SettingsView* view = scene.controller->view();
                view->setSelection(SettingsSection::general);
                photographer.saveFullSection(view, view->generalPage(), QString::fromLatin1(name));
            }
        }
        {
            // The notice shown where the desktop has no notification service.
            ShortNoticeWindow notice;
            notice.present(QStringLiteral("Copied \"Quarterly report & notes\". Press Ctrl+V to paste."));
            photographer.saveWindow(&notice, QStringLiteral("short-notice"));
        }
        {
            // Unreadable exclusions and an unreadable history: the banner, the block, the notice.
            Scene scene(true, true, applications.path());
            scene.theme.setAppearance(appearance);
            scene.preferences->setAppearance(preference);
            scene.controller->show();
            SettingsView* view = scene.controller->view();
            view->setSelection(SettingsSection::capture);
            photographer.saveWindow(scene.controller->panel(), QStringLiteral("blocked-banner"));
            view->setSelection(SettingsSection::exclusions);
            photographer.saveWindow(scene.controller->panel(), QStringLiteral("unreadable-exclusions"));
        }
    }
    return camera.failed() ? 1 : 0;
}
