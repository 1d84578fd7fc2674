// Shows the settings window over sample stores and saves each section and its special states
// in the light and dark themes as PNG files named settings-<state>-<light|dark>.png:
//   TolviSettingsScreenshots <output folder>
// Each section is saved twice: the window as it opens ("-window") and the whole scrolling
// section ("-full"). It runs on any Qt platform; scripts/screenshots.sh gives it an X server
// with a window manager and a compositor, as users see the window.
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/x11/FakeWorkspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/design/ArchiveProgress.h"
#include "Tolvi/settings/ExcludedAppChooser.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/settings/SettingsView.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QScrollArea>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

namespace {

using namespace tolvi;

QTextStream& errors()
{
    static QTextStream stream(stderr);
    return stream;
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        settle(10);
    }
    return true;
}

// A history held in memory; optionally one that could not be read.
class SampleHistory final : public ClipboardHistoryPersisting {
public:
    explicit SampleHistory(bool unreadable) : m_unreadable(unreadable) {}
    ClipboardHistoryState load() override
    {
        if (m_unreadable)
            throw PersistenceError::decoding(QStringLiteral("The history file is not valid JSON."));
        return {};
    }
    void save(const ClipboardHistoryState&) override {}

private:
    bool m_unreadable;
};

void writeEntry(const QString& folder, const QString& name, const QByteArray& text)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// One settings window over its own sample stores.
struct Scene {
    explicit Scene(bool unreadableExclusions, bool unreadableHistory, const QString& applications)
        : store(std::make_shared<SampleHistory>(unreadableHistory), ClipboardStore::Configuration::standard())
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
            QStringLiteral("/home/ada/.local/share/Tolvi/history.json"), &theme, SettingsActions{}});
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

class Photographer {
public:
    explicit Photographer(QDir folder) : m_folder(std::move(folder)) {}
    bool failed() const { return m_failed; }
    void setTheme(const QString& theme) { m_theme = theme; }

    void fail(const QString& what)
    {
        errors() << "TolviSettingsScreenshots: " << what << "\n";
        errors().flush();
        m_failed = true;
    }

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
            save(window->grab().toImage(), state);
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
        save(image, state);
    }

private:
    void save(const QImage& image, const QString& state)
    {
        const QString path = m_folder.filePath(QStringLiteral("settings-%1-%2.png").arg(state, m_theme));
        if (image.isNull() || !image.save(path))
            fail(QStringLiteral("could not save %1").arg(path));
    }

    QDir m_folder;
    QString m_theme;
    bool m_failed = false;
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
    if (argc != 2) {
        errors() << "usage: TolviSettingsScreenshots <output folder>\n";
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        errors() << "TolviSettingsScreenshots: cannot create " << folder.path() << "\n";
        return 1;
    }
    QTemporaryDir applications;
    writeEntry(applications.path(), QStringLiteral("org.keepassxc.KeePassXC.desktop"),
               "[Desktop Entry]\nType=Application\nName=KeePassXC\nStartupWMClass=KeePassXC\n");
    writeEntry(applications.path(), QStringLiteral("org.example.Vault.desktop"),
               "[Desktop Entry]\nType=Application\nName=Vault Passwords\nExec=/opt/vault/bin/vault\n");
    writeEntry(applications.path(), QStringLiteral("org.example.Notes.desktop"),
               "[Desktop Entry]\nType=Application\nName=Notes\nExec=notes\n");
    writeEntry(applications.path(), QStringLiteral("firefox-esr.desktop"),
               "[Desktop Entry]\nType=Application\nName=Firefox ESR\nStartupWMClass=firefox-esr\n");

    Photographer photographer(folder);
    for (const ThemeAppearance appearance : {ThemeAppearance::light, ThemeAppearance::dark}) {
        const QString themeName = appearance == ThemeAppearance::dark ? QStringLiteral("dark") : QStringLiteral("light");
        photographer.setTheme(themeName);
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
    return photographer.failed() ? 1 : 0;
}
