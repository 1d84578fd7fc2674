#include "Tolvi/app/AppState.h"

#include "Tolvi/ai/AIProviderFactory.h"
#include "Tolvi/ai/OpenAIEnvironment.h"
#include "Tolvi/ai/TolviAIBackendConfiguration.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/design/AccessibilitySettings.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/PartitionedClipSearch.h"
#include "Tolvi/platform/accessibility/DesktopAccessibility.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/platform/hotkeys/HotKeyBackend.h"
#include "Tolvi/platform/pasteboard/Pasteboard.h"
#include "Tolvi/platform/settings/KeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/desktop/Workspace.h"
#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/AppFeatureFlags.h"
#include "Tolvi/shell/DiagnosticsExporter.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/PreferencesRuntimeBinding.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/shell/TolviReleaseNotes.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "Tolvi/updater/AppUpdater.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/featureflags/SetupGuideVersion.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QUrlQuery>

namespace tolvi {

Q_LOGGING_CATEGORY(lcAppState, "tolvi.app")

namespace {

// The monitor reads the two capture switches from the preferences at each use.
class PreferencesCaptureSwitches final : public CapturePreferences {
public:
    explicit PreferencesCaptureSwitches(const PreferencesStore& preferences) : m_preferences(preferences) {}
    bool capturesText() const override { return m_preferences.capturesText(); }
    bool capturesImages() const override { return m_preferences.capturesImages(); }

private:
    const PreferencesStore& m_preferences;
};

// The chord of a global shortcut as the key and modifiers Qt reports inside our windows.
QKeyCombination keyCombination(const HotKeyChord& chord)
{
    using namespace HotKeyModifier;
    Qt::KeyboardModifiers modifiers;
    if (chord.modifiers & Command)
        modifiers |= Qt::MetaModifier;  // Super
    if (chord.modifiers & Shift)
        modifiers |= Qt::ShiftModifier;
    if (chord.modifiers & Option)
        modifiers |= Qt::AltModifier;
    if (chord.modifiers & Control)
        modifiers |= Qt::ControlModifier;
    switch (chord.keyCode) {
    case HotKeyKeyCode::V: return QKeyCombination(modifiers, Qt::Key_V);
    case HotKeyKeyCode::Space: return QKeyCombination(modifiers, Qt::Key_Space);
    default: return QKeyCombination(modifiers, Qt::Key_unknown);
    }
}

} // namespace

AppState::AppState(AppEnvironment environment, QObject* parent)
    : QObject(parent),
      m_environment(std::move(environment)),
      m_featureFlags(AppFeatureFlags::current(m_environment.bundle))
{
    // The order matters: the history first, then the exclusions and the preferences.
    m_clipboardStore = std::make_unique<ClipboardStore>(m_environment.makePersistence(m_environment.historyFilePath),
                                                        ClipboardStore::Configuration::standard());
    // Search packs the loaded history in the background, and again after every change, so that
    // the first keystroke in a window finds it ready. Connected before any window hears of a
    // change, so that a window searching the changed history finds it asked for.
    PartitionedClipSearch::shared().prepare(m_clipboardStore->items());
    connect(m_clipboardStore.get(), &ClipboardStore::itemsChanged, this,
            [this] { PartitionedClipSearch::shared().prepare(m_clipboardStore->items()); });
    m_appExclusionStore = std::make_unique<AppExclusionStore>(m_environment.settings);
    m_preferencesStore = std::make_unique<PreferencesStore>(m_environment.settings);
    // Windows are drawn in the appearance the preferences name. The store announces a new
    // appearance before it keeps it: follow the announced value.
    auto themeAppearance = [](TolviAppearance value) {
        return value == TolviAppearance::dark ? ThemeAppearance::dark : ThemeAppearance::light;
    };
    m_accessibilitySettings = std::make_unique<AccessibilitySettings>();
    if (DesktopAccessibility* desktop = m_environment.desktopAccessibility) {
        connect(desktop, &DesktopAccessibility::valuesChanged, this, [this](const DesktopAccessibilityValues& values) {
            m_accessibilitySettings->setReduceMotion(values.reduceMotion);
            m_accessibilitySettings->setReduceTransparency(values.reduceTransparency);
            m_accessibilitySettings->setIncreasedContrast(values.increasedContrast);
        });
    }
    m_theme = std::make_unique<TolviTheme>(m_accessibilitySettings.get());
    m_theme->setAppearance(themeAppearance(m_preferencesStore->appearance()));
    connect(m_preferencesStore.get(), &PreferencesStore::appearanceChanged, this,
            [this, themeAppearance](TolviAppearance value) { m_theme->setAppearance(themeAppearance(value)); });
    m_permissionStatusStore = std::make_unique<PermissionStatusStore>(
        m_environment.eventPostingPermission ? m_environment.eventPostingPermission : [] { return false; },
        m_environment.scheduler);
    if (m_environment.eventPostingTexts)
        m_permissionStatusStore->setTexts(*m_environment.eventPostingTexts);
    m_usageMetricsStore = std::make_unique<UsageMetricsStore>(m_environment.settings, m_environment.clock);
    // m_featureFlags is read in the initialiser list above.
    m_pasteService = std::make_unique<PasteService>(m_environment.pasteboard, m_environment.pasteEnvironment);
    m_capturePreferences = std::make_unique<PreferencesCaptureSwitches>(*m_preferencesStore);

    for (auto signal : {&ClipboardStore::itemsChanged, &ClipboardStore::pinboardsChanged})
        connect(m_clipboardStore.get(), signal, this, &AppState::menuInputsChanged);
    connect(m_appExclusionStore.get(), &AppExclusionStore::excludedAppsChanged, this, &AppState::menuInputsChanged);
    connect(m_appExclusionStore.get(), &AppExclusionStore::loadIssueChanged, this, &AppState::menuInputsChanged);
    // The preferences announce a change before they store it: rebuild the menu afterwards.
    connect(m_preferencesStore.get(), &PreferencesStore::clipboardMonitoringEnabledChanged, this,
            &AppState::menuInputsChanged, Qt::QueuedConnection);
    connect(m_pasteService.get(), &PasteService::queueStatusChanged, this, &AppState::menuInputsChanged);
    // Our windows hide before a paste: where nothing could type it, the user learns it now.
    const QString byHand = m_environment.pasteEnvironment.pasteByHandHint;
    if (m_environment.notifyPasteByHand && !byHand.isEmpty()) {
        connect(m_pasteService.get(), &PasteService::queueStatusChanged, this,
                [this, byHand](const PasteService::PasteQueueStatus& status) {
                    if (status.kind == PasteService::PasteQueueStatus::Kind::cancelled && status.reason.endsWith(byHand))
                        m_environment.notifyPasteByHand(status.reason);
                });
    }
}

AppState::~AppState()
{
    if (m_hasStarted)
        EscapeClosingPanel::setApplicationKeyHandler({});
    // Hot keys and the binding go first: nothing may call into the stores while they go.
    m_hotKey.reset();
    m_compactHotKey.reset();
    m_runtimePreferencesBinding.reset();
    m_pasteboardMonitor.reset();
    m_pasteService.reset();
}

double AppState::referenceNow() const
{
    return ReferenceDate::fromDateTime(m_environment.clock.now());
}

// MARK: lazy parts

AIService& AppState::aiService()
{
    if (!m_aiService) {
        TolviAIBackendConfiguration configuration;
        configuration.endpointURLValue = m_environment.bundle.value(QString::fromLatin1(bundlekey::aiEndpointURL));
        configuration.shortVersion = m_environment.bundle.value(QString::fromLatin1(bundlekey::shortVersion));
        configuration.buildVersion = m_environment.bundle.value(QString::fromLatin1(bundlekey::buildNumber));
        auto lookup = m_environment.environmentVariable;
        if (!lookup)
            lookup = [](const QString&) { return std::optional<QString>(); };
        std::shared_ptr<AIProvider> provider =
            AIProviderFactory::make(m_featureFlags.distributionChannel(), OpenAIEnvironment(lookup),
                                    m_environment.accessToken, configuration);
        m_aiService = std::make_unique<AIService>(std::move(provider));
    }
    return *m_aiService;
}

AppUpdater& AppState::appUpdater()
{
    if (!m_appUpdater) {
        QPointer<AppState> self(this);
        m_appUpdater = std::make_unique<AppUpdater>(
            m_featureFlags.distributionChannel() == TolviDistributionChannel::appStore,
            m_environment.makeUpdateController, [self](std::function<void()> block) {
                if (self)
                    self->m_environment.scheduler.scheduleOnce(0, std::move(block));
            });
    }
    return *m_appUpdater;
}

PasteboardMonitor& AppState::pasteboardMonitor()
{
    if (!m_pasteboardMonitor) {
        Workspace& workspace = m_environment.workspace;
        PasteboardMonitor::Dependencies dependencies{
            m_environment.pasteboard,
            *m_clipboardStore,
            *m_appExclusionStore,
            *m_capturePreferences,
            m_environment.scheduler,
            [&workspace] { return PasteboardMonitor::frontmostSourceApplication(workspace); },
            m_environment.recognizeImage,
        };
        dependencies.frontApplicationChangesReported = m_environment.frontApplicationChangesReported;
        m_pasteboardMonitor = std::make_unique<PasteboardMonitor>(std::move(dependencies));
    }
    return *m_pasteboardMonitor;
}

template <typename Controller, typename Factory>
static Controller& lazyController(std::unique_ptr<Controller>& slot, const Factory& factory, AppState& state)
{
    if (!slot)
        slot = factory(state);
    return *slot;
}

HistoryWindowControlling& AppState::panelController()
{
    return lazyController(m_panelController, m_environment.windows.history, *this);
}

CompactPanelControlling& AppState::compactPanelController()
{
    return lazyController(m_compactPanelController, m_environment.windows.compact, *this);
}

SimpleWindowControlling& AppState::settingsPanelController()
{
    return lazyController(m_settingsPanelController, m_environment.windows.settings, *this);
}

SimpleWindowControlling& AppState::setupPanelController()
{
    return lazyController(m_setupPanelController, m_environment.windows.setup, *this);
}

SimpleWindowControlling& AppState::aboutPanelController()
{
    return lazyController(m_aboutPanelController, m_environment.windows.about, *this);
}

WhatsNewWindowControlling& AppState::whatsNewPanelController()
{
    return lazyController(m_whatsNewPanelController, m_environment.windows.whatsNew, *this);
}

// MARK: start-up

void AppState::start()
{
    if (m_hasStarted)
        return;
    m_hasStarted = true;

    if (m_environment.desktopAccessibility)
        m_environment.desktopAccessibility->start();
    appUpdater();
    bindPreferences();
    if (m_preferencesStore->isClipboardMonitoringEnabled())
        pasteboardMonitor().start(false);
    else
        pasteboardMonitor().stop();
    installHotKey(std::nullopt, std::nullopt);
    QPointer<AppState> self(this);
    EscapeClosingPanel::setApplicationKeyHandler(
        [self](const QKeyEvent& event, PanelKeyboardRouting::Focus focus) {
            return self && self->handleApplicationKey(event.key(), event.modifiers(), focus);
        });
    showSetupIfNeeded();
}

void AppState::bindPreferences()
{
    auto applyLoadIssue = [this] {
        m_preferencesStore->setCapturePrivacyBlocked(m_appExclusionStore->loadIssue().has_value());
    };
    applyLoadIssue();
    connect(m_appExclusionStore.get(), &AppExclusionStore::loadIssueChanged, this, applyLoadIssue);

    applyHistoryLimit(m_preferencesStore->historyLimit());
    connect(m_preferencesStore.get(), &PreferencesStore::historyLimitChanged, this,
            [this](HistoryLimitPreference value) { applyHistoryLimit(value); });

    QPointer<AppState> self(this);
    m_runtimePreferencesBinding = std::make_unique<PreferencesRuntimeBinding>(
        *m_preferencesStore,
        [self](bool enabled) {
            if (!self)
                return;
            if (enabled)
                self->pasteboardMonitor().start(false);
            else
                self->pasteboardMonitor().stop();
        },
        [self](bool hides) {
            if (self)
                self->applyScreenCapturePrivacy(hides);
        },
        [self](bool enabled, GlobalShortcutPreset shortcut) {
            if (self)
                self->installHotKey(enabled, shortcut);
        });
}

void AppState::applyHistoryLimit(HistoryLimitPreference preference)
{
    const std::optional<int> limit = historylimit::itemLimit(preference);
    m_clipboardStore->updateRecentLimit(limit ? std::optional<qint64>(*limit) : std::nullopt, false);
}

void AppState::applyScreenCapturePrivacy(bool hidesFromScreenCapture)
{
    const QList<PanelWindowController*> controllers{&panelController(),          &compactPanelController(),
                                                    &settingsPanelController(),  &setupPanelController(),
                                                    &aboutPanelController(),     &whatsNewPanelController()};
    for (PanelWindowController* controller : controllers) {
        if (controller->hasWindow())
            controller->setHiddenFromScreenCapture(hidesFromScreenCapture);
    }
}

void AppState::showSetupIfNeeded()
{
    const QString releaseVersion = TolviReleaseNotes::current(m_environment.bundle).version;
    QPointer<AppState> self(this);
    if (SetupGuideVersion::needsCurrentSetup(m_preferencesStore->completedSetupVersion())) {
        m_preferencesStore->setLastSeenReleaseNotesVersion(releaseVersion);
        m_environment.scheduler.scheduleOnce(setupDelaySeconds, [self] {
            if (!self)
                return;
            self->m_usageMetricsStore->record(UsageMetricEvent::setupOpened);
            self->setupPanelController().show();
        });
        return;
    }
    m_environment.scheduler.scheduleOnce(historyDelaySeconds, [self, releaseVersion] {
        if (!self)
            return;
        self->m_usageMetricsStore->record(UsageMetricEvent::fullHistoryOpened);
        self->panelController().show(false);
        if (self->m_preferencesStore->shouldShowReleaseNotes(releaseVersion))
            self->whatsNewPanelController().show(true);
    });
}

// MARK: hot keys

void AppState::installHotKey(std::optional<bool> enabled, std::optional<GlobalShortcutPreset> shortcut)
{
    m_hotKey.reset();
    m_compactHotKey.reset();
    m_preferencesStore->setGlobalHotKeyError(std::nullopt);

    if (!enabled.value_or(m_preferencesStore->isGlobalHotKeyEnabled()))
        return;
    const GlobalShortcutPreset preset = shortcut.value_or(m_preferencesStore->globalShortcut());

    QPointer<AppState> self(this);
    m_hotKey = std::make_unique<GlobalHotKey>(m_environment.hotKeys, HotKeyID{tolviHotKeySignature(), 1}, [self] {
        if (self)
            self->togglePanel();
    });
    m_hotKey->install(historyWindowChord(preset));
    m_compactHotKey = std::make_unique<GlobalHotKey>(m_environment.hotKeys, HotKeyID{tolviHotKeySignature(), 2}, [self] {
        if (self)
            self->toggleCompactPanel();
    });
    m_compactHotKey->install(compactPanelChord(preset));

    if (!m_hotKey->isRegistered() || !m_compactHotKey->isRegistered())
        m_preferencesStore->setGlobalHotKeyError(hotKeyErrorMessage);
}

// MARK: actions

void AppState::recordFirst(UsageMetricEvent event)
{
    if (m_usageMetricsStore->count(event) <= 0)
        m_usageMetricsStore->record(event);
}

void AppState::togglePanel()
{
    if (m_compactPanelController && m_compactPanelController->hasWindow())
        m_compactPanelController->orderOut();
    if (m_panelController && m_panelController->isWindowVisible()) {
        m_panelController->toggle();
        return;
    }
    m_usageMetricsStore->record(UsageMetricEvent::fullHistoryOpened);
    panelController().toggle();
}

void AppState::paste(const ClipboardItem& item)
{
    if (m_panelController && m_panelController->hasWindow())
        m_panelController->orderOut();
    m_usageMetricsStore->recordWithMilestone(UsageMetricEvent::pastePerformed);
    m_pasteService->pasteItem(item);
}

void AppState::cancelPasteQueue()
{
    m_pasteService->cancelPendingPaste(QStringLiteral("Paste queue cancelled."));
}

void AppState::toggleCompactPanel()
{
    if (m_panelController && m_panelController->hasWindow())
        m_panelController->orderOut();
    if (!m_compactPanelController || !m_compactPanelController->hasWindow()
        || !m_compactPanelController->isWindowVisible()) {
        m_usageMetricsStore->recordWithMilestone(UsageMetricEvent::compactModeOpened);
    }
    compactPanelController().toggle();
}

void AppState::showHistory()
{
    panelController().show(false);
}

bool AppState::handleApplicationKey(int key, Qt::KeyboardModifiers modifiers, PanelKeyboardRouting::Focus focus)
{
    const GlobalShortcutPreset preset = m_preferencesStore->globalShortcut();
    const ApplicationShortcuts shortcuts{keyCombination(historyWindowChord(preset)), keyCombination(compactPanelChord(preset))};
    const std::optional<ApplicationKeyboardCommand> command =
        applicationKeyboardCommand(key, modifiers, focus, shortcuts);
    if (!command)
        return false;
    perform(*command);
    return true;
}

void AppState::perform(ApplicationKeyboardCommand command)
{
    switch (command) {
    case ApplicationKeyboardCommand::showHistory: showHistory(); return;
    case ApplicationKeyboardCommand::openCompactMode: toggleCompactPanel(); return;
    case ApplicationKeyboardCommand::newSnippet: showNewSnippet(); return;
    case ApplicationKeyboardCommand::showSettings: showSettings(); return;
    }
}

void AppState::showSettings()
{
    settingsPanelController().show();
}

void AppState::handleReopen()
{
    const QList<const PanelWindowController*> existing{
        m_panelController.get(),         m_compactPanelController.get(), m_settingsPanelController.get(),
        m_setupPanelController.get(),    m_aboutPanelController.get(),   m_whatsNewPanelController.get()};
    for (const PanelWindowController* controller : existing) {
        if (controller && controller->isWindowVisible())
            return;
    }
    showHistory();
}

void AppState::showNewSnippet()
{
    if (m_compactPanelController && m_compactPanelController->hasWindow())
        m_compactPanelController->orderOut();
    m_usageMetricsStore->record(UsageMetricEvent::fullHistoryOpened);
    panelController().show(true);
}

void AppState::confirmAndClearRecentHistory()
{
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.message = QStringLiteral("Clear clips from the last 15 minutes?");
    alert.informativeText = QStringLiteral(
        "This removes recent clipboard items from Tolvi local history, including recent pinned or boarded clips. "
        "Older clips stay untouched.");
    alert.buttons = {QStringLiteral("Clear Last 15 Minutes"), QStringLiteral("Cancel")};
    alert.defaultButton = 0;
    alert.escapeButton = 1;
    if (m_environment.alerts.run(alert) == std::optional<int>(0))
        clearRecentHistoryNow();
}

void AppState::clearRecentHistoryNow()
{
    m_clipboardStore->removeItems(referenceNow() - 900.0);
}

void AppState::confirmAndClearHistory()
{
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.message = QStringLiteral("Clear all clipboard history?");
    alert.informativeText = QStringLiteral(
        "This removes saved clips, including pinned clips. Export a copy from Settings first if you want to keep them.");
    alert.buttons = {QStringLiteral("Cancel"), QStringLiteral("Clear History")};
    alert.defaultButton = 0;
    alert.escapeButton = 0;
    if (m_environment.alerts.run(alert) == std::optional<int>(1))
        m_clipboardStore->clear();
}

void AppState::toggleClipboardMonitoring()
{
    m_preferencesStore->setClipboardMonitoringEnabled(!m_preferencesStore->isClipboardMonitoringEnabled());
}

void AppState::excludeFrontApplication()
{
    const std::optional<RunningApplication> front = m_environment.workspace.frontmostApplication();
    const bool isOwn = front && front->pid && m_environment.workspace.isOwnProcess(*front->pid);
    if (!front || !front->identifier || front->identifier->isEmpty() || isOwn
        || *front->identifier == m_environment.bundle.bundleIdentifier()) {
        chooseExcludedApplication();
        return;
    }
    const QString name = front->name.isEmpty() ? *front->identifier : front->name;
    m_appExclusionStore->add(*front->identifier, name);
}

void AppState::chooseExcludedApplication()
{
    // Applications are known to the desktop by their desktop entries.
    OpenPanelRequest request;
    request.title = QStringLiteral("Choose an App to Exclude");
    request.prompt = QStringLiteral("Exclude App");
    request.directory = QStringLiteral("/usr/share/applications");
    request.nameFilters = {QStringLiteral("Applications (*.desktop)")};
    const std::optional<QString> path = m_environment.filePanels.chooseFileToOpen(request);
    if (!path || path->isEmpty())
        return;

    // Only a regular file is read, and at most the size limit of it: a pipe would block the
    // open and a device would be read without end.
    constexpr qint64 maximumEntryBytes = 1024 * 1024;
    if (!QFileInfo(*path).isFile())
        return;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = file.read(maximumEntryBytes + 1);
    if (text.size() > maximumEntryBytes)
        return;
    const DesktopEntries::Entry entry = DesktopEntries::parse(text);
    const QString baseName = QFileInfo(*path).completeBaseName();
    const QString name = entry.name.isEmpty() ? baseName : entry.name;
    // Copies are recorded under the window class: the entry's StartupWMClass, else the class of
    // the application's open windows. A file name is no window class: storing it would list the
    // app as excluded while its copies are still recorded.
    DesktopEntries::Application application;
    application.desktopID = baseName;
    application.name = name;
    application.startupWMClass = entry.startupWMClass;
    application.program = QFileInfo(entry.exec.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty)).fileName();
    const std::optional<QString> identifier =
        DesktopEntries::windowClassFor(application, m_environment.workspace.runningApplications());
    if (!identifier) {
        AlertRequest alert;
        alert.style = AlertStyle::warning;
        alert.message = QStringLiteral("Tolvi cannot tell this app's copies apart");
        alert.informativeText = QStringLiteral(
            "The entry of %1 names no window class. Open the app, then choose it again while its window is open.")
                                    .arg(name);
        alert.escapeButton = 0;
        m_environment.alerts.run(alert);
        return;
    }
    if (identifier->isEmpty() || *identifier == m_environment.bundle.bundleIdentifier())
        return;
    m_appExclusionStore->add(*identifier, name);
}

void AppState::removeExclusion(const ExcludedApp& app)
{
    if (m_appExclusionStore->loadIssue())
        return;  // an unreadable list is never overwritten
    QList<ExcludedApp> remaining;
    for (const ExcludedApp& excluded : m_appExclusionStore->excludedApps()) {
        if (excluded.bundleIdentifier != app.bundleIdentifier)
            remaining << excluded;
    }
    m_appExclusionStore->setExcludedApps(remaining);
}

void AppState::showSetup()
{
    if (m_panelController && m_panelController->hasWindow())
        m_panelController->orderOut();
    if (m_compactPanelController && m_compactPanelController->hasWindow())
        m_compactPanelController->orderOut();
    m_usageMetricsStore->record(UsageMetricEvent::setupOpened);
    setupPanelController().show();
}

void AppState::startOnboardingDemo()
{
    m_usageMetricsStore->record(UsageMetricEvent::onboardingDemoStarted);
    m_usageMetricsStore->recordWithMilestone(UsageMetricEvent::compactModeOpened);
    m_clipboardStore->record(onboardingSampleText, referenceNow());
    compactPanelController().show();
}

void AppState::completeSetup()
{
    m_preferencesStore->setHasCompletedSetup(true);
    m_preferencesStore->setCompletedSetupVersion(SetupGuideVersion::current());
    recordFirst(UsageMetricEvent::setupCompleted);
}

DiagnosticsServiceFacts AppState::diagnosticsServiceFacts() const
{
    DiagnosticsServiceFacts facts;
    facts.automaticPasteAllowed =
        m_environment.eventPostingPermission ? m_environment.eventPostingPermission() : false;
    facts.pastePermissionSettings = m_permissionStatusStore->texts().permissionSettings;
    const PasteService::TargetDiagnostics target = m_pasteService->targetDiagnostics();
    if (target.selectedTargetApplication || target.frontmostApplication)
        facts.pasteTarget = PasteTargetDiagnostics{target.selectedTargetApplication, target.frontmostApplication};
    facts.exclusionCount = m_appExclusionStore->excludedApps().size();
    facts.pinboardCount = m_clipboardStore->pinboards().size();
    for (qsizetype i = 0; i < m_clipboardStore->itemCount(); ++i) {
        const ClipboardItem& item = m_clipboardStore->itemAt(i);
        const ClipboardImage* image = item.content().imageIf();
        facts.itemStats.add(image != nullptr, image ? image->recognizedText() : std::nullopt, item.isPinned());
    }
    facts.historyFile = HistoryFileSnapshot::of(m_environment.historyFilePath);
    return facts;
}

void AppState::exportDiagnostics()
{
    exportDiagnostics(m_environment.filePanels, m_environment.alerts);
}

void AppState::exportDiagnostics(FilePanels& filePanels, Alerts& alerts)
{
    m_usageMetricsStore->record(UsageMetricEvent::diagnosticsExported);

    DiagnosticsServiceFacts facts = diagnosticsServiceFacts();
    const DiagnosticsSnapshot snapshot =
        DiagnosticsExporter::makeSnapshot(m_environment.clock, m_environment.bundle, m_featureFlags,
                                          *m_preferencesStore, *m_usageMetricsStore, facts);

    SavePanelRequest request;
    request.title = QStringLiteral("Export Tolvi Diagnostics");
    request.prompt = QStringLiteral("Export");
    request.canCreateDirectories = true;
    request.nameFilters = {QStringLiteral("Text (*.txt)")};
    request.proposedFileName = DiagnosticsExporter::proposedFileName(m_environment.clock.now().toLocalTime());
    const std::optional<QString> path = filePanels.chooseSaveLocation(request);
    if (!path || path->isEmpty())
        return;
    try {
        PrivateAtomicFileWriter::write(DiagnosticsExporter::makeReport(snapshot).toUtf8(), *path);
    } catch (const std::exception& error) {
        DiagnosticsExporter::showExportError(alerts, errorDescription(error));
        return;
    }
    m_environment.desktop.revealFile(*path);
}

void AppState::revealHistoryFile()
{
    const QString path = m_environment.historyFilePath;
    if (QFileInfo::exists(path)) {
        m_environment.desktop.revealFile(path);
        return;
    }
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    m_environment.desktop.openUrl(QUrl::fromLocalFile(folder));
}

QString AppState::bundleValue(const QString& key, const QString& fallback) const
{
    return m_environment.bundle.value(key, fallback);
}

void AppState::openFeedback(const QString& subject)
{
    const QString version = bundleValue(QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.1.0"));
    const QString build = bundleValue(QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("1"));
    const QString body = QStringLiteral("\n\n---\nTolvi %1 (%2)\n%3").arg(version, build, m_environment.operatingSystemVersion);

    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(m_environment.supportAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), subject);
    query.addQueryItem(QStringLiteral("body"), body);
    url.setQuery(query);
    if (!url.isValid() || m_environment.supportAddress.isEmpty())
        url = TolviLinks::support();
    m_environment.desktop.openUrl(url);
}

void AppState::recordFeedbackAndOpen(const QString& subject)
{
    m_usageMetricsStore->record(UsageMetricEvent::feedbackOpened);
    openFeedback(subject);
}

void AppState::checkForUpdates()
{
    m_usageMetricsStore->record(UsageMetricEvent::updateCheckStarted);
    appUpdater().checkForUpdates();
}

void AppState::exportHistory()
{
    HistoryExporter::exportHistory(*m_clipboardStore, m_environment.filePanels, m_environment.alerts,
                                   m_environment.desktop);
}

void AppState::importHistory()
{
    HistoryImporter::importHistory(*m_clipboardStore, m_environment.filePanels, m_environment.alerts);
}

bool AppState::prepareToQuit(bool askOnFailure)
{
    try {
        m_clipboardStore->flushPersistence();
        return true;
    } catch (const std::exception&) {
        qCWarning(lcAppState) << "Tolvi could not save history before quitting";
        if (!askOnFailure)
            return true;
    }
    AlertRequest alert;
    alert.style = AlertStyle::informational;
    alert.message = QStringLiteral("History changes could not be saved");
    alert.informativeText = QStringLiteral(
        "Keep Tolvi open to retry saving or export a copy from Settings. Quitting may lose changes from this session.");
    alert.buttons = {QStringLiteral("Keep Tolvi Open"), QStringLiteral("Quit Without Saving")};
    alert.defaultButton = 0;
    alert.escapeButton = 0;
    return m_environment.alerts.run(alert) == std::optional<int>(1);
}

} // namespace tolvi
