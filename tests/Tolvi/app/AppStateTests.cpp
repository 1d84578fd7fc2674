#include "Tolvi/app/AppDelegate.h"
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/SettingsWindowWiring.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/app/WindowControllerFactory.h"
#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/menu/TrayController.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/panels/PanelStartupActivation.h"
#include "Tolvi/platform/accessibility/DesktopAccessibility.h"
#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/settings/SettingsPages.h"
#include "Tolvi/settings/SettingsPanelController.h"
#include "Tolvi/settings/SettingsView.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "Tolvi/updater/AppUpdater.h"
#include "Tolvi/updater/UpdateController.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"
#include "TolviCore/store/ClipboardStore.h"
#include "tests/TolviCore/store/StoreTestSupport.h"

#include <QSignalSpy>

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <sys/stat.h>

#include <ostream>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace tolvi;
using tolvi::testing::FakeAsyncPersistence;

namespace {

constexpr double kReferenceDateOffset = 978307200.0;  // 2001-01-01 in Unix seconds

// Every call the composition root makes on a window controller, in order ("history.toggle", ...).
struct WindowLog {
    QStringList calls;
    int count(const QString& call) const { return int(calls.count(call)); }
};

template <typename Interface>
class RecordingController : public Interface {
public:
    RecordingController(QString name, WindowLog& log) : m_name(std::move(name)), m_log(log) {}

    bool hasWindow() const override { return m_hasWindow; }
    bool isWindowVisible() const override { return m_visible; }
    void orderOut() override
    {
        note(QStringLiteral("orderOut"));
        m_visible = false;
    }
    void setHiddenFromScreenCapture(bool hidden) override
    {
        note(hidden ? QStringLiteral("hideFromCapture") : QStringLiteral("showToCapture"));
    }

protected:
    void note(const QString& call) { m_log.calls << m_name + QLatin1Char('.') + call; }
    void appear()
    {
        m_hasWindow = true;
        m_visible = true;
    }
    void flip()
    {
        if (m_visible)
            m_visible = false;
        else
            appear();
    }

private:
    QString m_name;
    WindowLog& m_log;
    bool m_hasWindow = false;
    bool m_visible = false;
};

class HistoryController final : public RecordingController<HistoryWindowControlling> {
public:
    using RecordingController::RecordingController;
    void show(bool opensNewSnippet) override
    {
        note(opensNewSnippet ? QStringLiteral("show(newSnippet)") : QStringLiteral("show"));
        appear();
    }
    void toggle() override
    {
        note(QStringLiteral("toggle"));
        flip();
    }
};

class CompactController final : public RecordingController<CompactPanelControlling> {
public:
    using RecordingController::RecordingController;
    void show() override
    {
        note(QStringLiteral("show"));
        appear();
    }
    void toggle() override
    {
        note(QStringLiteral("toggle"));
        flip();
    }
};

class SimpleController final : public RecordingController<SimpleWindowControlling> {
public:
    using RecordingController::RecordingController;
    void show() override
    {
        note(QStringLiteral("show"));
        appear();
    }
};

class WhatsNewController final : public RecordingController<WhatsNewWindowControlling> {
public:
    using RecordingController::RecordingController;
    void show(bool markAsSeenOnClose) override
    {
        note(markAsSeenOnClose ? QStringLiteral("show(markSeen)") : QStringLiteral("show"));
        appear();
    }
};

struct UpdaterLog {
    int made = 0;
    int backgroundChecks = 0;
    int userChecks = 0;
    QList<bool> automaticDownloads;
};

class RecordingUpdateController final : public UpdateController {
public:
    explicit RecordingUpdateController(UpdaterLog& log) : m_log(log) {}
    bool automaticallyChecksForUpdates() const override { return true; }
    void setAutomaticallyDownloadsUpdates(bool enabled) override { m_log.automaticDownloads << enabled; }
    void checkForUpdatesInBackground() override { ++m_log.backgroundChecks; }
    void checkForUpdates() override { ++m_log.userChecks; }

private:
    UpdaterLog& m_log;
};

// The composition root on fakes, with a history folder of its own.
struct Harness {
    QTemporaryDir dir;
    InMemoryKeyValueSettings settings;
    InMemoryBundleInfo bundle{{{QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("2.4.0")},
                               {QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("57")}}};
    FakeClock clock;
    ManualScheduler scheduler;
    FakeAlerts alerts;
    FakeFilePanels panels;
    FakeDesktopWorkspace desktop;
    FakeWorkspace workspace;
    InMemoryPasteboard pasteboard;
    FakeHotKeyBackend hotKeys;
    FakeDesktopAccessibility desktopAccessibility;
    std::shared_ptr<FakeAsyncPersistence> persistence = std::make_shared<FakeAsyncPersistence>();
    QStringList persistencePaths;
    WindowLog windows;
    UpdaterLog updater;
    int permissionRequests = 0;
    int sentPastes = 0;
    QString pasteByHandHint;
    QStringList notifications;
    std::optional<PermissionStatusStore::Texts> eventPostingTexts;
    std::unique_ptr<AppState> app;

    QString historyPath() const { return dir.filePath(QStringLiteral("data/Tolvi/history.json")); }
    double now() const { return clock.now().toMSecsSinceEpoch() / 1000.0 - kReferenceDateOffset; }

    AppState& make()
    {
        WindowControllerFactory factory;
        factory.history = [this](AppState&) { return std::make_unique<HistoryController>("history", windows); };
        factory.compact = [this](AppState&) { return std::make_unique<CompactController>("compact", windows); };
        factory.settings = [this](AppState&) { return std::make_unique<SimpleController>("settings", windows); };
        factory.setup = [this](AppState&) { return std::make_unique<SimpleController>("setup", windows); };
        factory.about = [this](AppState&) { return std::make_unique<SimpleController>("about", windows); };
        factory.whatsNew = [this](AppState&) { return std::make_unique<WhatsNewController>("whatsNew", windows); };

        AppEnvironment environment{
            .settings = settings,
            .bundle = bundle,
            .clock = clock,
            .scheduler = scheduler,
            .alerts = alerts,
            .filePanels = panels,
            .desktop = desktop,
            .workspace = workspace,
            .pasteboard = pasteboard,
            .hotKeys = hotKeys,
            .historyFilePath = historyPath(),
            .makePersistence =
                [this](const QString& path) {
                    persistencePaths << path;
                    return std::static_pointer_cast<ClipboardHistoryPersisting>(persistence);
                },
            .makeUpdateController =
                [this] {
                    ++updater.made;
                    return std::make_unique<RecordingUpdateController>(updater);
                },
            .pasteEnvironment = pasteEnvironment(),
            .eventPostingPermission = [] { return false; },
            .recognizeImage = {},
            .accessToken = {},
            .environmentVariable = {},
            .windows = factory,
            .supportAddress = QStringLiteral("support@tolvi.app"),
            .operatingSystemVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm)"),
            .notifyPasteByHand = [this](const QString& message) { notifications << message; },
            .eventPostingTexts = eventPostingTexts,
            .desktopAccessibility = &desktopAccessibility,
        };
        app = std::make_unique<AppState>(std::move(environment));
        return *app;
    }

    // Keystrokes to other programs are not allowed: a paste leaves the clip on the clipboard and asks.
    PasteService::Environment pasteEnvironment()
    {
        PasteService::Environment environment;
        environment.frontmostPID = [] { return std::optional<PasteService::Pid>(); };
        environment.isTolvi = [](PasteService::Pid) { return false; };
        environment.isRunning = [](PasteService::Pid) { return false; };
        environment.activate = [](PasteService::Pid) { return false; };
        environment.isTrusted = [] { return false; };
        environment.requestPermission = [this] { ++permissionRequests; };
        environment.sendPaste = [this] { ++sentPastes; };
        environment.schedule = [this](double seconds, std::function<void()> work) {
            scheduler.scheduleOnce(seconds, std::move(work));
        };
        environment.destinationHasBlockingDialog = [](PasteService::Pid) { return false; };
        environment.applicationDescription = [](std::optional<PasteService::Pid>) { return std::optional<QString>(); };
        environment.pasteByHandHint = pasteByHandHint;
        return environment;
    }

    // Marks the current onboarding tour as completed in the stored preferences.
    void completeTourBeforeLaunch(std::optional<QString> lastSeenNotes)
    {
        settings.setBoolean(PreferencesStore::hasCompletedSetupKey, true);
        settings.setString(PreferencesStore::completedSetupVersionKey, SetupGuideVersion::current());
        if (lastSeenNotes)
            settings.setString(PreferencesStore::lastSeenReleaseNotesVersionKey, *lastSeenNotes);
    }

    void seedHistory(const QList<ClipboardItem>& items)
    {
        persistence->stored = ClipboardHistoryState{items, DefaultPinboards::all()};
    }

    QList<HotKeyChord> registeredChords() const
    {
        QList<HotKeyChord> chords;
        for (const auto& entry : hotKeys.registered)
            chords << entry.second;
        return chords;
    }

    qint64 count(UsageMetricEvent event) const { return app->usageMetricsStore().count(event); }
};

HotKeyChord chord(quint32 key, quint32 modifiers)
{
    return HotKeyChord{key, modifiers};
}

ClipboardItem clip(const QString& text, double createdAt, bool pinned = false, QList<QUuid> boards = {})
{
    return ClipboardItem(QUuid::createUuid(), text, createdAt, pinned, std::move(boards));
}

QStringList textsOf(const ClipboardStore& store)
{
    QStringList texts;
    for (const ClipboardItem& item : store.items())
        texts << item.content().textValue();
    return texts;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray pngBytes(int width, int height, QRgb color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

PasteboardItem imageCopy(QRgb color)
{
    PasteboardItem item;
    item.setData(PasteboardTypes::png, pngBytes(4, 3, color));
    return item;
}

// The button titled `title` among the children of `parent`; null when there is none.
QAbstractButton* buttonTitled(const QWidget* parent, const QString& title)
{
    for (QAbstractButton* button : parent->findChildren<QAbstractButton*>()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

// Answers the confirmation open over `window` with the button titled `title`.
bool answerConfirmation(QWidget* window, const QString& title)
{
    for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
        if (!box->isVisible())
            continue;
        if (QAbstractButton* button = buttonTitled(box, title)) {
            button->click();
            return true;
        }
    }
    return false;
}

// The settings window as the running program builds it on the composition root.
struct ProgramSettingsWindow {
    explicit ProgramSettingsWindow(AppState& app) : controller(makeSettingsPanelController(app))
    {
        settings = dynamic_cast<SettingsPanelController*>(controller.get());
        if (settings)
            settings->show();
    }
    SettingsView& view() const { return *settings->view(); }
    QWidget* window() const { return settings->panel(); }

    std::unique_ptr<SimpleWindowControlling> controller;
    SettingsPanelController* settings = nullptr;
};

const HotKeyID mainHotKeyID{tolviHotKeySignature(), 1};
const HotKeyID compactHotKeyID{tolviHotKeySignature(), 2};

} // namespace

// MARK: start-up

TEST(AppStateStartUp, BuildsNothingVisibleUntilStartedAndStartsOnlyOnce)
{
    Harness h;
    AppState& app = h.make();
    EXPECT_EQ(h.persistencePaths, QStringList{h.historyPath()});
    EXPECT_FALSE(app.hasStarted());
    EXPECT_EQ(h.updater.made, 0);
    EXPECT_FALSE(app.hasPasteboardMonitor());
    EXPECT_EQ(app.hotKey(), nullptr);
    EXPECT_TRUE(h.hotKeys.calls.isEmpty());

    app.start();
    app.start();
    EXPECT_TRUE(app.hasStarted());
    EXPECT_EQ(h.updater.made, 1);
    EXPECT_EQ(h.updater.automaticDownloads, QList<bool>{false});
    EXPECT_EQ(h.hotKeys.calls.count(QStringLiteral("register 1")), 1);
    EXPECT_EQ(h.hotKeys.calls.count(QStringLiteral("register 2")), 1);

    // One first window and the updater's background check, however often start() was called.
    h.scheduler.advance(5);
    EXPECT_EQ(h.updater.backgroundChecks, 1);
    EXPECT_EQ(h.windows.count("setup.show"), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::setupOpened), 1);
}

TEST(AppStateStartUp, UpdaterIsAbsentInTheStoreChannel)
{
    Harness h;
    h.bundle.set(QString::fromLatin1(bundlekey::distributionChannel), QStringLiteral("appStore"));
    AppState& app = h.make();
    app.start();
    EXPECT_EQ(h.updater.made, 0);
    EXPECT_FALSE(app.appUpdater().canCheckForUpdates());

    app.checkForUpdates();
    EXPECT_EQ(h.count(UsageMetricEvent::updateCheckStarted), 1);
    EXPECT_EQ(h.updater.userChecks, 0);
}

TEST(AppStateStartUp, MonitorStartsWithoutRecordingWhatIsAlreadyCopied)
{
    Harness h;
    h.pasteboard.setString(QStringLiteral("copied before launch"));
    AppState& app = h.make();
    app.start();
    ASSERT_TRUE(app.hasPasteboardMonitor());
    EXPECT_TRUE(app.pasteboardMonitor().isRunning());
    h.scheduler.advance(1);
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);

    h.pasteboard.setString(QStringLiteral("copied after launch"));
    h.scheduler.advance(PasteboardMonitor::pollInterval);
    EXPECT_EQ(textsOf(app.clipboardStore()), QStringList{"copied after launch"});
}

TEST(AppStateStartUp, MonitorStaysStoppedWhenCaptureIsOff)
{
    Harness h;
    h.settings.setBoolean(PreferencesStore::monitoringEnabledKey, false);
    AppState& app = h.make();
    app.start();
    ASSERT_TRUE(app.hasPasteboardMonitor());
    EXPECT_FALSE(app.pasteboardMonitor().isRunning());
    h.pasteboard.setString(QStringLiteral("not captured"));
    h.scheduler.advance(2);
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);
}

TEST(AppStateStartUp, TourOpensAfterSevenTenthsAndMarksTheseReleaseNotesSeen)
{
    Harness h;
    AppState& app = h.make();
    app.start();
    // Marked at start, before the tour even shows: What's New is not offered for this version later.
    EXPECT_EQ(app.preferencesStore().lastSeenReleaseNotesVersion(), std::optional<QString>("2.4.0"));
    EXPECT_TRUE(h.scheduler.onceDelays().contains(AppState::setupDelaySeconds));
    EXPECT_EQ(AppState::setupDelaySeconds, 0.7);

    h.scheduler.advance(0.6);
    EXPECT_TRUE(h.windows.calls.isEmpty());
    h.scheduler.advance(0.2);
    EXPECT_EQ(h.windows.calls, QStringList{"setup.show"});
    EXPECT_EQ(h.count(UsageMetricEvent::setupOpened), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 0);

    h.scheduler.advance(5);
    EXPECT_EQ(h.windows.calls, QStringList{"setup.show"});
}

TEST(AppStateStartUp, TourOfAnotherVersionIsShownAgain)
{
    Harness h;
    h.settings.setBoolean(PreferencesStore::hasCompletedSetupKey, true);
    h.settings.setString(PreferencesStore::completedSetupVersionKey, QStringLiteral("0.0.1-first-tour"));
    h.settings.setString(PreferencesStore::lastSeenReleaseNotesVersionKey, QStringLiteral("1.0.0"));
    AppState& app = h.make();
    app.start();
    EXPECT_EQ(app.preferencesStore().lastSeenReleaseNotesVersion(), std::optional<QString>("2.4.0"));
    h.scheduler.advance(1);
    EXPECT_EQ(h.windows.calls, QStringList{"setup.show"});
}

TEST(AppStateStartUp, HistoryOpensAfterNineTenthsFollowedByUnseenReleaseNotes)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.3.0"));
    AppState& app = h.make();
    app.start();
    EXPECT_EQ(app.preferencesStore().lastSeenReleaseNotesVersion(), std::optional<QString>("2.3.0"));
    EXPECT_TRUE(h.scheduler.onceDelays().contains(AppState::historyDelaySeconds));
    EXPECT_EQ(AppState::historyDelaySeconds, 0.9);

    h.scheduler.advance(0.8);
    EXPECT_TRUE(h.windows.calls.isEmpty());
    h.scheduler.advance(0.2);
    EXPECT_EQ(h.windows.calls, (QStringList{"history.show", "whatsNew.show(markSeen)"}));
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::setupOpened), 0);
}

TEST(AppStateStartUp, HistoryOpensAloneWhenTheseReleaseNotesWereSeen)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    AppState& app = h.make();
    app.start();
    h.scheduler.advance(1);
    EXPECT_EQ(h.windows.calls, QStringList{"history.show"});
    EXPECT_TRUE(app.hasPanelController());
}

TEST(AppStateStartUp, DelayedFirstWindowDoesNothingOnceTheRootIsGone)
{
    Harness h;
    h.make().start();
    h.app.reset();
    h.scheduler.advance(2);
    EXPECT_TRUE(h.windows.calls.isEmpty());
}

// MARK: preferences bound to the running services

TEST(AppStatePreferenceBinding, CaptureSwitchStopsAndRestartsTheMonitorWithoutRecordingTheCurrentCopy)
{
    Harness h;
    AppState& app = h.make();
    app.start();
    PreferencesStore& preferences = app.preferencesStore();

    preferences.setClipboardMonitoringEnabled(false);
    EXPECT_FALSE(app.pasteboardMonitor().isRunning());
    h.pasteboard.setString(QStringLiteral("copied while paused"));
    h.scheduler.advance(2);
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);

    app.toggleClipboardMonitoring();
    EXPECT_TRUE(preferences.isClipboardMonitoringEnabled());
    EXPECT_TRUE(app.pasteboardMonitor().isRunning());
    h.scheduler.advance(2);
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);

    h.pasteboard.setString(QStringLiteral("copied after resuming"));
    h.scheduler.advance(PasteboardMonitor::pollInterval);
    EXPECT_EQ(textsOf(app.clipboardStore()), QStringList{"copied after resuming"});

    app.toggleClipboardMonitoring();
    EXPECT_FALSE(preferences.isClipboardMonitoringEnabled());
    EXPECT_FALSE(app.pasteboardMonitor().isRunning());
}

TEST(AppStatePreferenceBinding, HistoryLimitPresetsSetTheStoreLimitWithoutTrimming)
{
    Harness h;
    QList<ClipboardItem> items;
    for (int i = 0; i < 30; ++i)
        items << clip(QStringLiteral("clip %1").arg(i), h.now() - 10'000 - i);
    h.seedHistory(items);
    h.settings.setString(PreferencesStore::historyLimitKey, QStringLiteral("twentyFive"));
    AppState& app = h.make();
    EXPECT_EQ(app.clipboardStore().configuration().maxItems, std::optional<qint64>(80));

    app.start();
    EXPECT_EQ(app.clipboardStore().configuration().maxItems, std::optional<qint64>(25));
    EXPECT_EQ(app.clipboardStore().itemCount(), 30);

    const QList<std::pair<HistoryLimitPreference, std::optional<qint64>>> presets{
        {HistoryLimitPreference::fifty, 50},         {HistoryLimitPreference::oneHundred, 100},
        {HistoryLimitPreference::twoHundred, 200},   {HistoryLimitPreference::fiveHundred, 500},
        {HistoryLimitPreference::oneThousand, 1000}, {HistoryLimitPreference::unlimited, std::nullopt},
        {HistoryLimitPreference::twentyFive, 25},
    };
    for (const auto& [preset, limit] : presets) {
        app.preferencesStore().setHistoryLimit(preset);
        EXPECT_EQ(app.clipboardStore().configuration().maxItems, limit) << historylimit::rawValue(preset).toStdString();
    }
    EXPECT_EQ(app.clipboardStore().itemCount(), 30);
}

TEST(AppStatePreferenceBinding, ThemeFollowsTheStoredAndTheChosenAppearance)
{
    Harness h;
    h.settings.setString(PreferencesStore::appearanceKey, QStringLiteral("dark"));
    AppState& app = h.make();
    EXPECT_EQ(app.theme().appearance(), ThemeAppearance::dark);

    QSignalSpy recoloured(&app.theme(), &TolviTheme::changed);
    app.preferencesStore().setAppearance(TolviAppearance::light);
    EXPECT_EQ(app.theme().appearance(), ThemeAppearance::light);
    EXPECT_EQ(recoloured.count(), 1);
    app.preferencesStore().setAppearance(TolviAppearance::dark);
    EXPECT_EQ(app.theme().appearance(), ThemeAppearance::dark);
}

TEST(AppStatePreferenceBinding, WindowsFollowTheDesktopAccessibilitySettingsOnceStarted)
{
    Harness h;
    h.desktopAccessibility.setValues({.reduceMotion = true});
    AppState& app = h.make();
    EXPECT_FALSE(h.desktopAccessibility.hasStarted());
    EXPECT_FALSE(app.theme().context().reduceMotion);

    app.start();
    EXPECT_TRUE(h.desktopAccessibility.hasStarted());
    DesignContext context = app.theme().context();
    EXPECT_TRUE(context.reduceMotion);
    EXPECT_FALSE(context.reduceTransparency);
    EXPECT_FALSE(context.increasedContrast);

    // A later change reaches the theme every window is drawn with, and makes them redraw.
    QSignalSpy redrawn(&app.theme(), &TolviTheme::changed);
    h.desktopAccessibility.setValues({.reduceMotion = false, .reduceTransparency = true, .increasedContrast = true});
    context = app.theme().context();
    EXPECT_FALSE(context.reduceMotion);
    EXPECT_TRUE(context.reduceTransparency);
    EXPECT_TRUE(context.increasedContrast);
    EXPECT_GE(redrawn.count(), 1);
}

TEST(AppStatePreferenceBinding, HotKeysFollowTheSwitchAndThePreset)
{
    Harness h;
    AppState& app = h.make();
    app.start();
    using namespace HotKeyModifier;
    EXPECT_EQ(h.registeredChords(), (QList<HotKeyChord>{chord(9, Control | Option), chord(9, Command | Shift)}));
    ASSERT_NE(app.hotKey(), nullptr);
    ASSERT_NE(app.compactHotKey(), nullptr);
    EXPECT_TRUE(app.hotKey()->isRegistered());
    EXPECT_EQ(app.hotKey()->hotKeyID(), mainHotKeyID);
    EXPECT_EQ(app.compactHotKey()->hotKeyID(), compactHotKeyID);
    EXPECT_EQ(app.preferencesStore().globalHotKeyError(), std::nullopt);

    PreferencesStore& preferences = app.preferencesStore();
    preferences.setGlobalHotKeyEnabled(false);
    EXPECT_TRUE(h.hotKeys.registered.isEmpty());
    EXPECT_EQ(app.hotKey(), nullptr);
    EXPECT_EQ(app.compactHotKey(), nullptr);

    // A preset chosen while switched off registers nothing until the switch is on again.
    preferences.setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    EXPECT_TRUE(h.hotKeys.registered.isEmpty());
    preferences.setGlobalHotKeyEnabled(true);
    EXPECT_EQ(h.registeredChords(), (QList<HotKeyChord>{chord(49, Option), chord(9, Command | Shift)}));

    // Choosing the same preset again drops the old pair before registering the new one, so the
    // program never collides with its own earlier registration.
    h.hotKeys.calls.clear();
    preferences.setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    EXPECT_EQ(h.hotKeys.calls,
              (QStringList{"unregister 1", "unregister 2", "handler", "register 1", "handler", "register 2"}));
    EXPECT_EQ(h.hotKeys.registered.size(), 2);
    EXPECT_EQ(preferences.globalHotKeyError(), std::nullopt);
}

TEST(AppStatePreferenceBinding, TakenChordSetsTheErrorAndAnotherPresetClearsIt)
{
    Harness h;
    using namespace HotKeyModifier;
    h.hotKeys.takenByOthers << chord(49, Option);
    h.settings.setString(PreferencesStore::globalShortcutKey, QStringLiteral("optionSpace"));
    AppState& app = h.make();
    app.start();
    PreferencesStore& preferences = app.preferencesStore();
    EXPECT_EQ(preferences.globalHotKeyError(), std::optional<QString>(AppState::hotKeyErrorMessage));
    EXPECT_EQ(AppState::hotKeyErrorMessage,
              "A shortcut could not be registered. Choose another shortcut or check other apps using these keys. "
              "Tolvi is still available from its system tray icon.");
    // The compact hot key still works.
    EXPECT_FALSE(app.hotKey()->isRegistered());
    EXPECT_TRUE(app.compactHotKey()->isRegistered());

    QList<std::optional<QString>> errorsSeen;
    QObject::connect(&preferences, &PreferencesStore::globalHotKeyErrorChanged,
                     [&](const std::optional<QString>& value) { errorsSeen << value; });
    preferences.setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    // The retry clears the text first, then sets it again.
    EXPECT_EQ(errorsSeen, (QList<std::optional<QString>>{std::nullopt, AppState::hotKeyErrorMessage}));

    preferences.setGlobalShortcut(GlobalShortcutPreset::controlOptionSpace);
    EXPECT_EQ(preferences.globalHotKeyError(), std::nullopt);
    EXPECT_EQ(h.registeredChords(), (QList<HotKeyChord>{chord(49, Control | Option), chord(9, Command | Shift)}));

    // Switching off clears the text even when the stored preset is taken.
    preferences.setGlobalShortcut(GlobalShortcutPreset::optionSpace);
    ASSERT_TRUE(preferences.globalHotKeyError().has_value());
    preferences.setGlobalHotKeyEnabled(false);
    EXPECT_EQ(preferences.globalHotKeyError(), std::nullopt);
}

TEST(AppStatePreferenceBinding, HotKeyPressesToggleTheirWindows)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    AppState& app = h.make();
    app.start();
    h.hotKeys.press(mainHotKeyID);
    EXPECT_TRUE(h.windows.calls.isEmpty());  // the action runs after the event was handled
    QCoreApplication::processEvents();
    EXPECT_EQ(h.windows.calls, QStringList{"history.toggle"});

    h.hotKeys.press(compactHotKeyID);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.windows.calls, (QStringList{"history.toggle", "history.orderOut", "compact.toggle"}));
}

TEST(AppStatePreferenceBinding, UnreadableExclusionListBlocksCaptureUntilReset)
{
    Harness h;
    h.settings.setString(AppExclusionStore::settingsKey, QStringLiteral("{not a list"));
    AppState& app = h.make();
    EXPECT_FALSE(app.preferencesStore().isCapturePrivacyBlocked());
    app.start();
    EXPECT_TRUE(app.preferencesStore().isCapturePrivacyBlocked());

    app.appExclusionStore().resetUnreadableSettings();
    EXPECT_FALSE(app.preferencesStore().isCapturePrivacyBlocked());
}

TEST(AppStatePreferenceBinding, HidingFromScreenCaptureReachesOnlyExistingWindows)
{
    Harness h;
    AppState& app = h.make();
    app.start();
    app.preferencesStore().setHidesWindowsFromScreenCapture(true);
    // Every controller now exists, none has a window, so nothing was told.
    EXPECT_TRUE(app.hasPanelController());
    EXPECT_TRUE(app.hasCompactPanelController());
    EXPECT_TRUE(h.windows.calls.isEmpty());

    app.showHistory();
    app.preferencesStore().setHidesWindowsFromScreenCapture(false);
    EXPECT_EQ(h.windows.calls, (QStringList{"history.show", "history.showToCapture"}));
}

// MARK: hot-key chords

TEST(AppStateHotKeyChords, EachPresetHasItsMainAndCompactChord)
{
    struct Row {
        GlobalShortcutPreset preset;
        HotKeyChord main;
        HotKeyChord compact;
    };
    const QList<Row> rows{
        {GlobalShortcutPreset::controlOptionV, chord(9, 0x1800), chord(9, 0x300)},
        {GlobalShortcutPreset::commandShiftV, chord(9, 0x300), chord(9, 0x1800)},
        {GlobalShortcutPreset::controlOptionSpace, chord(49, 0x1800), chord(9, 0x300)},
        {GlobalShortcutPreset::optionSpace, chord(49, 0x800), chord(9, 0x300)},
    };
    for (const Row& row : rows) {
        const std::string name = globalshortcut::rawValue(row.preset).toStdString();
        EXPECT_EQ(historyWindowChord(row.preset), row.main) << name;
        EXPECT_EQ(compactPanelChord(row.preset), row.compact) << name;
        EXPECT_NE(historyWindowChord(row.preset), compactPanelChord(row.preset)) << name;
    }
}

TEST(AppStateHotKeyChords, InstallWithExplicitArgumentsIgnoresTheStoredPreference)
{
    Harness h;
    AppState& app = h.make();
    app.installHotKey(true, GlobalShortcutPreset::commandShiftV);
    using namespace HotKeyModifier;
    EXPECT_EQ(h.registeredChords(), (QList<HotKeyChord>{chord(9, Command | Shift), chord(9, Control | Option)}));
    EXPECT_EQ(app.preferencesStore().globalShortcut(), GlobalShortcutPreset::controlOptionV);

    app.installHotKey(false, std::nullopt);
    EXPECT_TRUE(h.hotKeys.registered.isEmpty());
    EXPECT_EQ(app.hotKey(), nullptr);
}

// MARK: panel toggles

TEST(AppStateActions, TogglePanelCountsOnlyOpenings)
{
    Harness h;
    AppState& app = h.make();
    app.togglePanel();
    app.togglePanel();
    app.togglePanel();
    EXPECT_EQ(h.windows.calls, (QStringList{"history.toggle", "history.toggle", "history.toggle"}));
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 2);
    EXPECT_FALSE(app.hasCompactPanelController());

    // An open compact panel goes away first; it had sent the history window away, so this opens it again.
    app.toggleCompactPanel();
    h.windows.calls.clear();
    app.togglePanel();
    EXPECT_EQ(h.windows.calls, (QStringList{"compact.orderOut", "history.toggle"}));
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 3);
}

TEST(AppStateActions, ToggleCompactPanelRecordsTheFirstOpeningOnce)
{
    Harness h;
    AppState& app = h.make();
    app.toggleCompactPanel();
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::firstCompactModeOpened), 1);
    app.toggleCompactPanel();  // hides
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 1);
    app.toggleCompactPanel();
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 2);
    EXPECT_EQ(h.count(UsageMetricEvent::firstCompactModeOpened), 1);
    EXPECT_EQ(h.windows.calls, (QStringList{"compact.toggle", "compact.toggle", "compact.toggle"}));

    // The history window sends the compact panel away; opening the compact panel again counts.
    app.togglePanel();
    h.windows.calls.clear();
    app.toggleCompactPanel();
    EXPECT_EQ(h.windows.calls, (QStringList{"history.orderOut", "compact.toggle"}));
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 3);
}

TEST(AppStateActions, LaunchingAgainShowsHistoryOnlyWhileNoWindowIsOnScreen)
{
    Harness h;
    AppState& app = h.make();
    app.handleReopen();
    EXPECT_EQ(h.windows.calls, QStringList{"history.show"});
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 0);

    // Any window on screen, even one that is not the history window: nothing else happens.
    app.toggleCompactPanel();
    h.windows.calls.clear();
    app.handleReopen();
    EXPECT_TRUE(h.windows.calls.isEmpty());
    app.toggleCompactPanel();  // hides it
    app.aboutPanelController().show();
    h.windows.calls.clear();
    app.handleReopen();
    EXPECT_TRUE(h.windows.calls.isEmpty());

    // The history window already showing is not hidden by a launch (it never toggles).
    app.aboutPanelController().orderOut();
    app.handleReopen();
    app.handleReopen();
    EXPECT_EQ(h.windows.calls, (QStringList{"about.orderOut", "history.show"}));
}

TEST(AppDelegateWindowRequests, EachCommandTogglesItsOwnWindowAndSpendsItsToken)
{
    using Command = SingleInstance::Command;
    Harness h;
    AppState& app = h.make();
    const QByteArray token("launcher-token-1");

    // A plain launch reopens: the history window, as nothing is on screen.
    AppDelegate::showRequestedWindow(app, {Command::reopen, token});
    EXPECT_EQ(h.windows.calls, QStringList{"history.show"});
    EXPECT_TRUE(PanelStartupActivation::pendingToken().isEmpty());

    // --history toggles the history window (here: hides it); --compact toggles the compact panel,
    // which puts the history window away first.
    h.windows.calls.clear();
    AppDelegate::showRequestedWindow(app, {Command::history, token});
    AppDelegate::showRequestedWindow(app, {Command::compact, token});
    EXPECT_EQ(h.windows.calls, (QStringList{"history.toggle", "history.orderOut", "compact.toggle"}));

    // --settings shows the settings window, and hides it when it is on screen.
    h.windows.calls.clear();
    AppDelegate::showRequestedWindow(app, {Command::settings, token});
    AppDelegate::showRequestedWindow(app, {Command::settings, token});
    EXPECT_EQ(h.windows.calls, (QStringList{"settings.show", "settings.orderOut"}));
    EXPECT_TRUE(PanelStartupActivation::pendingToken().isEmpty());
}

TEST(AppStateKeyboardCommands, EveryWindowAnswersTheProgramsCommands)
{
    using Focus = PanelKeyboardRouting::Focus;
    Harness h;
    AppState& app = h.make();

    // Ctrl+, opens Settings, even from a text field.
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_Comma, Qt::ControlModifier, Focus::textEditor));
    EXPECT_EQ(h.windows.calls, QStringList{"settings.show"});

    // "Show History" with the history chord shows the window and never hides it; it counts no opening.
    h.windows.calls.clear();
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, Focus::none));
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, Focus::clipRow));
    EXPECT_EQ(h.windows.calls, (QStringList{"history.show", "history.show"}));
    EXPECT_TRUE(app.panelController().isWindowVisible());
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 0);

    // "Open Compact Mode" with the compact chord is the compact panel's toggle.
    h.windows.calls.clear();
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_V, Qt::MetaModifier | Qt::ShiftModifier, Focus::none));
    EXPECT_EQ(h.windows.calls, (QStringList{"history.orderOut", "compact.toggle"}));
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 1);

    // "New Snippet…" with Ctrl+N, outside text fields.
    h.windows.calls.clear();
    EXPECT_FALSE(app.handleApplicationKey(Qt::Key_N, Qt::ControlModifier, Focus::searchField));
    EXPECT_TRUE(h.windows.calls.isEmpty());
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_N, Qt::ControlModifier, Focus::otherControl));
    EXPECT_EQ(h.windows.calls, (QStringList{"compact.orderOut", "history.show(newSnippet)"}));
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 1);

    // Other keys are left to the window.
    EXPECT_FALSE(app.handleApplicationKey(Qt::Key_V, Qt::ControlModifier, Focus::none));
    EXPECT_FALSE(app.handleApplicationKey(Qt::Key_Comma, Qt::NoModifier, Focus::none));
}

TEST(AppStateKeyboardCommands, TheWindowsChordsFollowTheChosenPreset)
{
    using Focus = PanelKeyboardRouting::Focus;
    Harness h;
    AppState& app = h.make();
    app.preferencesStore().setGlobalShortcut(GlobalShortcutPreset::commandShiftV);
    // History on Super+Shift+V, the compact panel on Ctrl+Alt+V.
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_V, Qt::MetaModifier | Qt::ShiftModifier, Focus::none));
    EXPECT_TRUE(app.handleApplicationKey(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, Focus::none));
    EXPECT_EQ(h.windows.calls, (QStringList{"history.show", "history.orderOut", "compact.toggle"}));
}

TEST(AppStateKeyboardCommands, PanelsOfTheRunningProgramRouteTheirKeysToIt)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    {
        AppState& app = h.make();
        EXPECT_FALSE(EscapeClosingPanel::applicationKeyHandler());
        app.start();
        ASSERT_TRUE(EscapeClosingPanel::applicationKeyHandler());
        const QKeyEvent comma(QEvent::KeyPress, Qt::Key_Comma, Qt::ControlModifier);
        EXPECT_TRUE(EscapeClosingPanel::applicationKeyHandler()(comma, PanelKeyboardRouting::Focus::none));
        EXPECT_EQ(h.windows.calls, QStringList{"settings.show"});
    }
    h.app.reset();
    EXPECT_FALSE(EscapeClosingPanel::applicationKeyHandler());
}

TEST(AppStateActions, PasteHidesTheHistoryWindowAndCountsTheFirstPasteOnce)
{
    Harness h;
    AppState& app = h.make();
    app.togglePanel();
    h.windows.calls.clear();

    app.paste(clip(QStringLiteral("from the menu"), h.now()));
    EXPECT_EQ(h.windows.calls, QStringList{"history.orderOut"});
    EXPECT_EQ(h.pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "from the menu");
    EXPECT_EQ(h.permissionRequests, 1);
    EXPECT_EQ(h.sentPastes, 0);
    EXPECT_EQ(h.count(UsageMetricEvent::pastePerformed), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::firstPasteCompleted), 1);

    app.paste(clip(QStringLiteral("again"), h.now()));
    EXPECT_EQ(h.count(UsageMetricEvent::pastePerformed), 2);
    EXPECT_EQ(h.count(UsageMetricEvent::firstPasteCompleted), 1);
}

TEST(AppStateActions, APasteLeftOnTheClipboardIsToldAtOnceWhereTheSessionAsksForPastingByHand)
{
    {
        // X11: the paste notice of the next window tells it.
        Harness h;
        AppState& app = h.make();
        app.paste(clip(QStringLiteral("x11"), h.now()));
        EXPECT_EQ(h.app->pasteService().queueStatus().kind, PasteService::PasteQueueStatus::Kind::cancelled);
        EXPECT_TRUE(h.notifications.isEmpty());
    }
    Harness h;
    h.pasteByHandHint = QStringLiteral("Press Ctrl+V to paste.");
    AppState& app = h.make();
    app.togglePanel();
    app.paste(clip(QStringLiteral("wayland"), h.now()));
    EXPECT_EQ(h.pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "wayland");
    ASSERT_EQ(h.notifications.size(), 1);
    EXPECT_EQ(h.notifications.constFirst(), app.pasteService().queueStatus().reason);
    EXPECT_TRUE(h.notifications.constFirst().endsWith(QStringLiteral(" Press Ctrl+V to paste.")));
    // Stopping a queue by hand is no news.
    app.pasteService().cancelPendingPaste(QStringLiteral("Paste queue cancelled."));
    EXPECT_EQ(h.notifications.size(), 1);
}

// MARK: tray menu

TEST(AppStateTrayMenu, SnapshotFollowsTheStoresAndEntriesActOnTheRoot)
{
    Harness h;
    const ClipboardItem pinned = clip(QStringLiteral("pinned"), h.now() - 10, true);
    const ClipboardItem recent = clip(QStringLiteral("recent"), h.now() - 5);
    h.seedHistory({pinned, recent});
    AppState& app = h.make();
    app.start();
    app.appExclusionStore().add(QStringLiteral("org.example.Notes"), QStringLiteral("Notes"));
    int rebuilds = 0;
    QObject::connect(&app, &AppState::menuInputsChanged, [&] { ++rebuilds; });

    MenuBarContent snapshot = menuBarContent(app);
    ASSERT_EQ(snapshot.pinnedItems.size(), 1);
    EXPECT_EQ(snapshot.pinnedItems[0].id(), pinned.id());
    ASSERT_EQ(snapshot.recentItems.size(), 1);
    EXPECT_TRUE(snapshot.monitoringEnabled);
    EXPECT_TRUE(snapshot.canCheckForUpdates);
    ASSERT_EQ(snapshot.excludedApps.size(), 1);

    // Pinning from a window rebuilds the menu.
    app.clipboardStore().togglePinned(recent);
    EXPECT_GT(rebuilds, 0);
    EXPECT_EQ(menuBarContent(app).pinnedItems.size(), 2);

    // "Pause Capture" turns the preference off; the menu is rebuilt once it is stored.
    rebuilds = 0;
    performMenuAction(app, MenuBarEntry::button(QStringLiteral("Pause Capture"), MenuBarAction::ToggleMonitoring));
    EXPECT_FALSE(app.preferencesStore().isClipboardMonitoringEnabled());
    QCoreApplication::processEvents();
    EXPECT_GT(rebuilds, 0);
    EXPECT_FALSE(menuBarContent(app).monitoringEnabled);

    // "New Snippet...": the compact panel goes, the history window opens with the editor.
    app.toggleCompactPanel();
    h.windows.calls.clear();
    performMenuAction(app, MenuBarEntry::button(QStringLiteral("New Snippet..."), MenuBarAction::ShowNewSnippet));
    EXPECT_EQ(h.windows.calls, (QStringList{"compact.orderOut", "history.show(newSnippet)"}));
    EXPECT_EQ(h.count(UsageMetricEvent::fullHistoryOpened), 1);

    performMenuAction(app, MenuBarEntry::button(QStringLiteral("Check for Updates..."), MenuBarAction::CheckForUpdates));
    EXPECT_EQ(h.updater.userChecks, 1);
    EXPECT_EQ(h.count(UsageMetricEvent::updateCheckStarted), 1);

    MenuBarEntry remove = MenuBarEntry::button(QStringLiteral("Remove Notes"), MenuBarAction::RemoveExclusion);
    remove.bundleIdentifier = QStringLiteral("org.example.Notes");
    performMenuAction(app, remove);
    EXPECT_TRUE(app.appExclusionStore().excludedApps().isEmpty());

    MenuBarEntry paste = MenuBarEntry::button(QStringLiteral("recent"), MenuBarAction::PasteItem);
    paste.clipID = recent.id();
    performMenuAction(app, paste);
    EXPECT_EQ(h.pasteboard.data(PasteboardTypes::plainText).value_or(QByteArray()), "recent");
    EXPECT_EQ(h.count(UsageMetricEvent::pastePerformed), 1);

    int quits = 0;
    QObject::connect(&app, &AppState::quitRequested, [&] { ++quits; });
    performMenuAction(app, MenuBarEntry::button(QStringLiteral("Quit Tolvi"), MenuBarAction::Quit));
    EXPECT_EQ(quits, 1);
}

// MARK: clearing history

TEST(AppStateActions, ClearRecentAsksThenRemovesTheLastFifteenMinutesPinnedOrNot)
{
    Harness h;
    const double now = h.now();
    h.seedHistory({
        clip(QStringLiteral("pinned, a minute ago"), now - 60, true),
        clip(QStringLiteral("pinned, an hour ago"), now - 3600, true),
        clip(QStringLiteral("boarded, just now"), now - 5, false, {DefaultPinboards::workID()}),
        clip(QStringLiteral("exactly fifteen minutes ago"), now - 900),
        clip(QStringLiteral("fifteen minutes and a second ago"), now - 901),
        clip(QStringLiteral("yesterday"), now - 86'400),
    });
    AppState& app = h.make();
    ASSERT_EQ(app.clipboardStore().itemCount(), 6);

    h.alerts.answers << 1;  // Cancel
    app.confirmAndClearRecentHistory();
    EXPECT_EQ(app.clipboardStore().itemCount(), 6);

    ASSERT_EQ(h.alerts.requests.size(), 1);
    const AlertRequest& alert = h.alerts.requests[0];
    EXPECT_EQ(alert.style, AlertStyle::warning);
    EXPECT_EQ(alert.message, "Clear clips from the last 15 minutes?");
    EXPECT_EQ(alert.informativeText,
              "This removes recent clipboard items from Tolvi local history, including recent pinned or boarded "
              "clips. Older clips stay untouched.");
    EXPECT_EQ(alert.buttons, (QStringList{"Clear Last 15 Minutes", "Cancel"}));
    EXPECT_EQ(alert.defaultButton, 0);
    EXPECT_EQ(alert.escapeButton, std::optional<int>(1));

    h.alerts.answers << std::nullopt;  // the alert went away unanswered
    app.confirmAndClearRecentHistory();
    EXPECT_EQ(app.clipboardStore().itemCount(), 6);

    h.alerts.answers << 0;
    app.confirmAndClearRecentHistory();
    EXPECT_EQ(textsOf(app.clipboardStore()),
              (QStringList{"pinned, an hour ago", "fifteen minutes and a second ago", "yesterday"}));
}

TEST(AppStateActions, ClearAllDefaultsToCancelAndOnlyTheSecondButtonClears)
{
    Harness h;
    h.seedHistory({clip(QStringLiteral("pinned"), h.now() - 5, true), clip(QStringLiteral("plain"), h.now() - 9)});
    AppState& app = h.make();

    app.confirmAndClearHistory();  // answered with the default button
    EXPECT_EQ(app.clipboardStore().itemCount(), 2);
    ASSERT_EQ(h.alerts.requests.size(), 1);
    const AlertRequest& alert = h.alerts.requests[0];
    EXPECT_EQ(alert.style, AlertStyle::warning);
    EXPECT_EQ(alert.message, "Clear all clipboard history?");
    EXPECT_EQ(alert.informativeText,
              "This removes saved clips, including pinned clips. Export a copy from Settings first if you want to "
              "keep them.");
    EXPECT_EQ(alert.buttons, (QStringList{"Cancel", "Clear History"}));
    EXPECT_EQ(alert.defaultButton, 0);
    EXPECT_EQ(alert.escapeButton, std::optional<int>(0));

    h.alerts.answers << std::nullopt;
    app.confirmAndClearHistory();
    EXPECT_EQ(app.clipboardStore().itemCount(), 2);

    h.alerts.answers << 1;
    app.confirmAndClearHistory();
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);
}

// MARK: the settings window the program builds

TEST(AppStateSettingsWindow, PrivacyButtonsClearOnlyTheLastFifteenMinutesAndMailTheirOwnSubjects)
{
    Harness h;
    const double now = h.now();
    h.seedHistory({
        clip(QStringLiteral("a minute ago"), now - 60),
        clip(QStringLiteral("pinned, two minutes ago"), now - 120, true),
        clip(QStringLiteral("an hour ago"), now - 3600),
        clip(QStringLiteral("yesterday, pinned"), now - 86'400, true),
    });
    AppState& app = h.make();
    ProgramSettingsWindow window(app);
    ASSERT_NE(window.settings, nullptr);
    window.view().setSelection(SettingsSection::privacy);
    PrivacySettingsPage& page = *window.view().privacyPage();

    // Cancelled: nothing goes.
    ASSERT_TRUE(page.button("Clear Last 15 Minutes")->isEnabled());
    page.button("Clear Last 15 Minutes")->click();
    ASSERT_TRUE(answerConfirmation(window.window(), "Cancel"));
    EXPECT_EQ(app.clipboardStore().itemCount(), 4);

    // Confirmed: only what was copied in the last quarter of an hour goes, pinned or not.
    page.button("Clear Last 15 Minutes")->click();
    ASSERT_TRUE(answerConfirmation(window.window(), "Clear Last 15 Minutes"));
    QStringList kept = textsOf(app.clipboardStore());
    kept.sort();
    EXPECT_EQ(kept, (QStringList{"an hour ago", "yesterday, pinned"}));

    // Each support button writes a mail with its own subject.
    for (const auto& [title, subject] : {std::pair{"Send Feedback...", "Tolvi Feedback"},
                                         std::pair{"Request Feature...", "Tolvi Feature Request"},
                                         std::pair{"Report Bug...", "Tolvi Bug Report"}}) {
        h.desktop.openedUrls.clear();
        page.button(QString::fromLatin1(title))->click();
        ASSERT_EQ(h.desktop.openedUrls.size(), 1) << title;
        EXPECT_EQ(h.desktop.openedUrls[0].scheme(), "mailto");
        EXPECT_EQ(QUrlQuery(h.desktop.openedUrls[0]).queryItemValue("subject", QUrl::FullyDecoded),
                  QString::fromLatin1(subject));
    }
    EXPECT_EQ(h.count(UsageMetricEvent::feedbackOpened), 3);

    page.button("Manage Exclusions")->click();
    EXPECT_EQ(window.view().selection(), SettingsSection::exclusions);
}

TEST(AppStateSettingsWindow, GeneralWindowButtonsOpenTheHistoryOrTheTour)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    AppState& app = h.make();
    ProgramSettingsWindow window(app);
    ASSERT_NE(window.settings, nullptr);
    EXPECT_EQ(window.view().selection(), SettingsSection::general);
    h.windows.calls.clear();

    QAbstractButton* openHistory = buttonTitled(window.view().generalPage(), "Open History Panel");
    ASSERT_NE(openHistory, nullptr);
    openHistory->click();
    EXPECT_EQ(h.windows.calls, QStringList{"history.toggle"});
    EXPECT_EQ(h.count(UsageMetricEvent::setupOpened), 0);

    h.windows.calls.clear();
    QAbstractButton* quickStart = buttonTitled(window.view().generalPage(), "Show Quick Start");
    ASSERT_NE(quickStart, nullptr);
    quickStart->click();
    EXPECT_TRUE(h.windows.calls.contains("setup.show")) << h.windows.calls.join(' ').toStdString();
    EXPECT_FALSE(h.windows.calls.contains("history.toggle"));
}

TEST(AppStateSettingsWindow, CaptureSwitchesDecideWhatTheRunningMonitorRecords)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    AppState& app = h.make();
    app.start();
    h.scheduler.advance(1);
    ProgramSettingsWindow window(app);
    ASSERT_NE(window.settings, nullptr);
    CaptureSettingsPage& page = *window.view().capturePage();
    auto copyText = [&](const QString& text) {
        h.pasteboard.setString(text);
        h.scheduler.advance(PasteboardMonitor::pollInterval);
    };
    auto copyImage = [&](QRgb color) {
        h.pasteboard.setItems({imageCopy(color)});
        h.scheduler.advance(PasteboardMonitor::pollInterval);
    };
    auto texts = [&] {
        QStringList found;
        for (const ClipboardItem& item : app.clipboardStore().items()) {
            if (item.content().isText())
                found << item.content().textValue();
        }
        return found;
    };
    auto imageCount = [&] {
        int images = 0;
        for (const ClipboardItem& item : app.clipboardStore().items())
            images += item.content().isImage() ? 1 : 0;
        return images;
    };

    // Text off: text copies are passed over, images still come in.
    page.textToggle()->click();
    ASSERT_FALSE(app.preferencesStore().capturesText());
    copyText(QStringLiteral("copied while text capture is off"));
    EXPECT_EQ(app.clipboardStore().itemCount(), 0);
    copyImage(0xff3366cc);
    EXPECT_EQ(imageCount(), 1);
    EXPECT_EQ(app.clipboardStore().itemCount(), 1);

    // Text back on, images off: the other way round.
    page.textToggle()->click();
    page.imagesToggle()->click();
    ASSERT_TRUE(app.preferencesStore().capturesText());
    ASSERT_FALSE(app.preferencesStore().capturesImages());
    copyImage(0xffcc6633);
    EXPECT_EQ(imageCount(), 1);
    copyText(QStringLiteral("copied while image capture is off"));
    EXPECT_EQ(texts(), QStringList{"copied while image capture is off"});
    EXPECT_EQ(app.clipboardStore().itemCount(), 2);

    // Both on again: an image is recorded once more.
    page.imagesToggle()->click();
    copyImage(0xff33cc66);
    EXPECT_EQ(imageCount(), 2);
}

// MARK: the tray menu the program shows

TEST(AppStateTrayMenu, AboutAndWhatsNewEntriesOpenTheirOwnPanels)
{
    Harness h;
    h.completeTourBeforeLaunch(QStringLiteral("2.4.0"));
    AppState& app = h.make();
    app.start();
    h.scheduler.advance(1);
    h.windows.calls.clear();

    // Built as the program builds its tray.
    TrayController tray([&app] { return menuBarContent(app); },
                        [&app](const MenuBarEntry& entry) { performMenuAction(app, entry); });
    QCoreApplication::processEvents();
    auto entry = [&tray](const QString& title) -> QAction* {
        for (QAction* action : tray.menu()->actions()) {
            if (action->text() == title)
                return action;
        }
        ADD_FAILURE() << "no tray entry " << title.toStdString();
        return nullptr;
    };

    QAction* about = entry(QStringLiteral("About Tolvi"));
    ASSERT_NE(about, nullptr);
    about->trigger();
    EXPECT_EQ(h.windows.calls, QStringList{"about.show"});

    QAction* whatsNew = entry(QStringLiteral("What's New"));
    ASSERT_NE(whatsNew, nullptr);
    h.windows.calls.clear();
    whatsNew->trigger();
    // Closing it marks these notes as seen.
    EXPECT_EQ(h.windows.calls, QStringList{"whatsNew.show(markSeen)"});
}

// MARK: exclusions

TEST(AppStateActions, ExcludeFrontApplicationAddsItUnderItsName)
{
    Harness h;
    AppState& app = h.make();
    h.workspace.setFrontmost(RunningApplication{4242, QStringLiteral("Gimp"), QStringLiteral("GNU Image Editor")});
    app.excludeFrontApplication();
    h.workspace.setFrontmost(RunningApplication{4243, QStringLiteral("keepassxc"), QString()});
    app.excludeFrontApplication();

    EXPECT_TRUE(h.panels.openRequests.isEmpty());
    EXPECT_EQ(app.appExclusionStore().excludedApps(),
              (QList<ExcludedApp>{{QStringLiteral("Gimp"), QStringLiteral("GNU Image Editor")},
                                  {QStringLiteral("keepassxc"), QStringLiteral("keepassxc")}}));
}

TEST(AppStateActions, ExcludeFrontApplicationFallsBackToTheChooser)
{
    const QList<std::optional<RunningApplication>> fronts{
        std::nullopt,
        RunningApplication{4242, std::nullopt, QStringLiteral("Nameless")},
        RunningApplication{4242, QString(), QStringLiteral("Empty identifier")},
        RunningApplication{QCoreApplication::applicationPid(), QStringLiteral("SomethingElse"), QStringLiteral("Us")},
        RunningApplication{4242, QStringLiteral("Tolvi"), QStringLiteral("Tolvi")},
    };
    for (const auto& front : fronts) {
        Harness h;
        AppState& app = h.make();
        h.workspace.setFrontmost(front);
        app.excludeFrontApplication();  // the chooser is cancelled
        ASSERT_EQ(h.panels.openRequests.size(), 1) << (front ? front->name.toStdString() : "none");
        const OpenPanelRequest& request = h.panels.openRequests[0];
        EXPECT_EQ(request.title, "Choose an App to Exclude");
        EXPECT_EQ(request.prompt, "Exclude App");
        EXPECT_FALSE(request.choosesDirectories);
        EXPECT_TRUE(app.appExclusionStore().excludedApps().isEmpty());
    }
}

TEST(AppStateActions, ChooserReadsTheDesktopEntry)
{
    Harness h;
    AppState& app = h.make();
    const QString named = h.dir.filePath(QStringLiteral("org.example.Editor.desktop"));
    writeFile(named, "[Desktop Entry]\nType=Application\nName=Text Editor\nStartupWMClass=texteditor\n"
                     "[Desktop Action new]\nName=New Window\n");
    const QString bare = h.dir.filePath(QStringLiteral("org.example.Viewer.desktop"));
    writeFile(bare, "[Desktop Entry]\nType=Application\nExec=viewer\n");
    const QString own = h.dir.filePath(QStringLiteral("tolvi.desktop"));
    writeFile(own, "[Desktop Entry]\nName=Tolvi\nStartupWMClass=Tolvi\n");

    h.panels.openAnswers << named << bare << own << h.dir.filePath(QStringLiteral("missing.desktop"));
    for (int i = 0; i < 4; ++i)
        app.chooseExcludedApplication();
    // An entry without a window class is refused, with a word why, while none of its windows is
    // open: its file name is not what its copies are recorded under.
    EXPECT_EQ(app.appExclusionStore().excludedApps(),
              (QList<ExcludedApp>{{QStringLiteral("texteditor"), QStringLiteral("Text Editor")}}));
    ASSERT_EQ(h.alerts.requests.size(), 1);
    EXPECT_TRUE(h.alerts.requests[0].informativeText.contains(QStringLiteral("org.example.Viewer")));

    // With its window open, the class of that window is stored.
    h.workspace.setRunning({RunningApplication{77, QStringLiteral("Viewer"), QStringLiteral("viewer")}});
    h.panels.openAnswers << bare;
    app.chooseExcludedApplication();
    EXPECT_TRUE(app.appExclusionStore().excludedApps().contains(
        ExcludedApp{QStringLiteral("Viewer"), QStringLiteral("org.example.Viewer")}));
}

TEST(AppStateActions, ChooserRefusesWhatIsNotARegularFileWithoutBlocking)
{
    Harness h;
    AppState& app = h.make();
    // A pipe nobody writes to would block the open; a device would be read without end.
    const QString pipe = h.dir.filePath(QStringLiteral("pipe.desktop"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString device = h.dir.filePath(QStringLiteral("zero.desktop"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    const QString huge = h.dir.filePath(QStringLiteral("huge.desktop"));
    writeFile(huge, "[Desktop Entry]\nName=Huge\nStartupWMClass=huge\n# " + QByteArray(1024 * 1024, 'x') + "\n");

    h.panels.openAnswers << pipe << device << huge << h.dir.path();
    for (int i = 0; i < 4; ++i)
        app.chooseExcludedApplication();
    EXPECT_EQ(h.panels.openRequests.size(), 4);
    EXPECT_TRUE(app.appExclusionStore().excludedApps().isEmpty());
}

TEST(AppStateActions, RemoveExclusionKeepsTheOthersInOrder)
{
    Harness h;
    AppState& app = h.make();
    app.appExclusionStore().add(QStringLiteral("alpha"), QStringLiteral("Alpha"));
    app.appExclusionStore().add(QStringLiteral("beta"), QStringLiteral("Beta"));
    app.appExclusionStore().add(QStringLiteral("gamma"), QStringLiteral("Gamma"));
    app.removeExclusion(ExcludedApp{QStringLiteral("beta"), QStringLiteral("whatever name")});
    EXPECT_EQ(app.appExclusionStore().excludedApps(),
              (QList<ExcludedApp>{{QStringLiteral("alpha"), QStringLiteral("Alpha")},
                                  {QStringLiteral("gamma"), QStringLiteral("Gamma")}}));

    // Saved: a fresh store reads the same list.
    AppExclusionStore reread(h.settings);
    EXPECT_EQ(reread.excludedApps(), app.appExclusionStore().excludedApps());
}

TEST(AppStateActions, RemoveExclusionNeverOverwritesAnUnreadableList)
{
    Harness h;
    h.settings.setString(AppExclusionStore::settingsKey, QStringLiteral("[{\"bundleIdentifier\": 3}]"));
    AppState& app = h.make();
    ASSERT_TRUE(app.appExclusionStore().loadIssue().has_value());
    const int writes = h.settings.writeCount(AppExclusionStore::settingsKey);

    app.removeExclusion(ExcludedApp{QStringLiteral("anything"), QStringLiteral("Anything")});
    EXPECT_EQ(h.settings.writeCount(AppExclusionStore::settingsKey), writes);
    EXPECT_EQ(h.settings.string(AppExclusionStore::settingsKey),
              std::optional<QString>("[{\"bundleIdentifier\": 3}]"));
    EXPECT_TRUE(app.appExclusionStore().loadIssue().has_value());
}

// MARK: onboarding

TEST(AppStateActions, OnboardingDemoRecordsTheSampleAndOpensTheCompactPanel)
{
    Harness h;
    AppState& app = h.make();
    app.startOnboardingDemo();
    ASSERT_EQ(app.clipboardStore().itemCount(), 1);
    const ClipboardItem& sample = app.clipboardStore().itemAt(0);
    EXPECT_EQ(sample.content().textValue(),
              "Need quote for panel upgrade. Customer wants pricing by Friday.\nNeed equivalent model.");
    EXPECT_DOUBLE_EQ(sample.createdAt(), h.now());
    EXPECT_FALSE(sample.isPinned());
    EXPECT_EQ(h.windows.calls, QStringList{"compact.show"});
    EXPECT_EQ(h.count(UsageMetricEvent::onboardingDemoStarted), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 1);
    EXPECT_EQ(h.count(UsageMetricEvent::firstCompactModeOpened), 1);

    app.startOnboardingDemo();
    EXPECT_EQ(h.count(UsageMetricEvent::onboardingDemoStarted), 2);
    EXPECT_EQ(h.count(UsageMetricEvent::compactModeOpened), 2);
    EXPECT_EQ(h.count(UsageMetricEvent::firstCompactModeOpened), 1);
}

TEST(AppStateActions, CompletedSetupLeadsTheNextLaunchToTheHistoryWindow)
{
    Harness h;
    {
        AppState& app = h.make();
        app.completeSetup();
        app.completeSetup();
        EXPECT_TRUE(app.preferencesStore().hasCompletedSetup());
        EXPECT_EQ(app.preferencesStore().completedSetupVersion(), std::optional<QString>(SetupGuideVersion::current()));
        EXPECT_EQ(h.count(UsageMetricEvent::setupCompleted), 1);
    }
    h.app.reset();
    AppState& relaunched = h.make();
    relaunched.start();
    h.scheduler.advance(1);
    EXPECT_EQ(h.windows.calls, (QStringList{"history.show", "whatsNew.show(markSeen)"}));
}

TEST(AppStateActions, ShowSetupHidesBothPanelsFirst)
{
    Harness h;
    AppState& app = h.make();
    app.togglePanel();
    app.toggleCompactPanel();
    h.windows.calls.clear();
    app.showSetup();
    EXPECT_EQ(h.windows.calls, (QStringList{"history.orderOut", "compact.orderOut", "setup.show"}));
    EXPECT_EQ(h.count(UsageMetricEvent::setupOpened), 1);
}

// MARK: diagnostics, history file and feedback

TEST(AppStateActions, CancelledDiagnosticsExportStillCounts)
{
    Harness h;
    AppState& app = h.make();
    app.exportDiagnostics();
    EXPECT_EQ(h.count(UsageMetricEvent::diagnosticsExported), 1);
    ASSERT_EQ(h.panels.saveRequests.size(), 1);
    const SavePanelRequest& request = h.panels.saveRequests[0];
    EXPECT_EQ(request.title, "Export Tolvi Diagnostics");
    EXPECT_EQ(request.prompt, "Export");
    EXPECT_TRUE(request.canCreateDirectories);
    EXPECT_EQ(request.proposedFileName,
              "Tolvi-Diagnostics-" + h.clock.now().toLocalTime().toString("yyyyMMdd-HHmmss") + ".txt");
    EXPECT_TRUE(h.desktop.revealedFiles.isEmpty());
    EXPECT_TRUE(h.alerts.requests.isEmpty());
    EXPECT_TRUE(QDir(h.dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

// Exports the diagnostics report of a made harness to `path`, and gives what was written (nothing
// when no file was).
QString exportedReport(Harness& h, const QString& path)
{
    h.panels.saveAnswers << path;
    h.app->exportDiagnostics();
    QFile report(path);
    return report.open(QIODevice::ReadOnly) ? QString::fromUtf8(report.readAll()) : QString();
}

TEST(AppStateActions, DiagnosticsReportIsWrittenPrivatelyAndRevealed)
{
    Harness h;
    h.make();
    const QString path = h.dir.filePath(QStringLiteral("report.txt"));
    const QString text = exportedReport(h, path);
    EXPECT_TRUE(text.startsWith("Tolvi Diagnostics\n"));
    EXPECT_TRUE(text.contains("- Version: 2.4.0 (57)"));
    EXPECT_TRUE(text.contains("- Paste permission settings: none on X11 (keystrokes go through the XTEST extension)\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(h.desktop.revealedFiles, QStringList{path});
    EXPECT_TRUE(h.alerts.requests.isEmpty());
}

// A session that types another way names its own place for the permission.
TEST(AppStateActions, DiagnosticsReportNamesTheSessionsPastePermission)
{
    Harness h;
    h.eventPostingTexts = PermissionStatusStore::Texts{};
    h.eventPostingTexts->permissionSettings = QStringLiteral("the compositor's");
    h.make();
    const QString text = exportedReport(h, h.dir.filePath(QStringLiteral("report.txt")));
    EXPECT_TRUE(text.contains("- Paste permission settings: the compositor's\n"));
    EXPECT_FALSE(text.contains("X11"));
}

TEST(AppStateActions, FailedDiagnosticsWriteIsReportedAndNothingRevealed)
{
    Harness h;
    AppState& app = h.make();
    h.panels.saveAnswers << h.dir.filePath(QStringLiteral("no such folder/report.txt"));
    app.exportDiagnostics();
    ASSERT_EQ(h.alerts.requests.size(), 1);
    EXPECT_EQ(h.alerts.requests[0].message, "Could not export diagnostics");
    EXPECT_FALSE(h.alerts.requests[0].informativeText.isEmpty());
    EXPECT_TRUE(h.desktop.revealedFiles.isEmpty());
    EXPECT_EQ(h.count(UsageMetricEvent::diagnosticsExported), 1);
}

TEST(AppStateActions, RevealHistoryFileCreatesAMissingFolderAndOpensIt)
{
    Harness h;
    AppState& app = h.make();
    const QString folder = QFileInfo(h.historyPath()).absolutePath();
    ASSERT_FALSE(QFileInfo::exists(folder));

    app.revealHistoryFile();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(h.desktop.openedUrls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    EXPECT_TRUE(h.desktop.revealedFiles.isEmpty());

    writeFile(h.historyPath(), "{}");
    app.revealHistoryFile();
    EXPECT_EQ(h.desktop.revealedFiles, QStringList{h.historyPath()});
    EXPECT_EQ(h.desktop.openedUrls.size(), 1);
}

TEST(AppStateActions, FeedbackMailCarriesSubjectVersionAndSystem)
{
    Harness h;
    AppState& app = h.make();
    app.recordFeedbackAndOpen(QStringLiteral("Tolvi Bug Report"));
    EXPECT_EQ(h.count(UsageMetricEvent::feedbackOpened), 1);
    ASSERT_EQ(h.desktop.openedUrls.size(), 1);
    const QUrl url = h.desktop.openedUrls[0];
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), "support@tolvi.app");
    const QUrlQuery query(url);
    const QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].first, "subject");
    EXPECT_EQ(items[0].second, "Tolvi Bug Report");
    EXPECT_EQ(items[1].first, "body");
    EXPECT_EQ(items[1].second, "\n\n---\nTolvi 2.4.0 (57)\nDebian GNU/Linux 12 (bookworm)");
    // Line breaks travel encoded.
    EXPECT_TRUE(url.toString(QUrl::FullyEncoded).contains("%0A"));
}

TEST(AppStateActions, FeedbackMailFallsBackToDefaultVersionAndBuild)
{
    Harness h;
    h.bundle.remove(QString::fromLatin1(bundlekey::shortVersion));
    h.bundle.remove(QString::fromLatin1(bundlekey::buildNumber));
    AppState& app = h.make();
    app.openFeedback(QStringLiteral("Tolvi Feedback"));
    ASSERT_EQ(h.desktop.openedUrls.size(), 1);
    EXPECT_EQ(QUrlQuery(h.desktop.openedUrls[0]).queryItemValue("body", QUrl::FullyDecoded),
              "\n\n---\nTolvi 0.1.0 (1)\nDebian GNU/Linux 12 (bookworm)");

    // A value that is present but empty is used as it is.
    h.bundle.set(QString::fromLatin1(bundlekey::buildNumber), QString());
    app.openFeedback(QStringLiteral("Tolvi Feedback"));
    EXPECT_EQ(QUrlQuery(h.desktop.openedUrls[1]).queryItemValue("body", QUrl::FullyDecoded),
              "\n\n---\nTolvi 0.1.0 ()\nDebian GNU/Linux 12 (bookworm)");
}

// MARK: quitting

TEST(AppStateQuit, SuccessfulFlushQuitsWithoutAsking)
{
    Harness h;
    AppState& app = h.make();
    EXPECT_TRUE(app.prepareToQuit());
    EXPECT_EQ(h.persistence->flushCalls, 1);
    EXPECT_TRUE(h.alerts.requests.isEmpty());
}

TEST(AppStateQuit, FailedFlushAsksWhetherToKeepTolviOpen)
{
    Harness h;
    h.persistence->failFlush = true;
    AppState& app = h.make();

    h.alerts.answers << 0;
    EXPECT_FALSE(app.prepareToQuit());
    ASSERT_EQ(h.alerts.requests.size(), 1);
    const AlertRequest& alert = h.alerts.requests[0];
    EXPECT_EQ(alert.message, "History changes could not be saved");
    EXPECT_EQ(alert.informativeText,
              "Keep Tolvi open to retry saving or export a copy from Settings. Quitting may lose changes from this "
              "session.");
    EXPECT_EQ(alert.buttons, (QStringList{"Keep Tolvi Open", "Quit Without Saving"}));
    EXPECT_EQ(alert.defaultButton, 0);

    h.alerts.answers << std::nullopt;  // gone without an answer: stay open
    EXPECT_FALSE(app.prepareToQuit());

    h.alerts.answers << 1;
    EXPECT_TRUE(app.prepareToQuit());
    EXPECT_EQ(h.persistence->flushCalls, 3);
}

TEST(AppStateQuit, SessionEndQuitsWithoutAskingEvenWhenTheFlushFails)
{
    Harness h;
    h.persistence->failFlush = true;
    AppState& app = h.make();
    EXPECT_TRUE(app.prepareToQuit(false));
    EXPECT_EQ(h.persistence->flushCalls, 1);
    EXPECT_TRUE(h.alerts.requests.isEmpty());
}

TEST(AppStateQuit, UnloadableHistoryAlsoAsksBeforeQuitting)
{
    Harness h;
    h.persistence->failLoad = true;
    AppState& app = h.make();
    h.alerts.answers << 0;
    EXPECT_FALSE(app.prepareToQuit());
    EXPECT_EQ(h.alerts.requests.size(), 1);
}
