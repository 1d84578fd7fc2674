#pragma once

#include "Tolvi/app/WindowControllerFactory.h"
#include "Tolvi/panels/ApplicationKeyboardCommand.h"
#include "Tolvi/platform/hotkeys/GlobalHotKey.h"
#include "Tolvi/platform/hotkeys/ShortcutAccess.h"
#include "Tolvi/services/capture/ImageRecognition.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"
#include "Tolvi/shell/DiagnosticsExporter.h"
#include "Tolvi/shell/PreferenceValues.h"
#include "Tolvi/shell/UsageMetricEvent.h"
#include "TolviCore/featureflags/FeatureFlags.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ExcludedApp.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tolvi {

class AIService;
class AccessibilitySettings;
class AppExclusionStore;
class AppUpdater;
class Alerts;
class BundleInfo;
class CapturePreferences;
class ClipboardHistoryPersisting;
class ClipboardStore;
class Clock;
class DesktopAccessibility;
class DesktopWorkspace;
class FilePanels;
class HotKeyBackend;
class KeyValueSettings;
class Pasteboard;
class PasteboardMonitor;
class PermissionStatusStore;
class PreferencesRuntimeBinding;
class PreferencesStore;
class Scheduler;
class UpdateController;
class UsageMetricsStore;
class Workspace;

// Everything the composition root takes from the system, so that it can be built with fakes.
struct AppEnvironment {
    KeyValueSettings& settings;
    const BundleInfo& bundle;
    const Clock& clock;
    Scheduler& scheduler;
    Alerts& alerts;
    FilePanels& filePanels;
    DesktopWorkspace& desktop;
    Workspace& workspace;
    Pasteboard& pasteboard;
    HotKeyBackend& hotKeys;
    // Where the history lives, and the persistence that reads and writes it.
    QString historyFilePath;
    std::function<std::shared_ptr<ClipboardHistoryPersisting>(const QString& path)> makePersistence;
    // The update machinery; empty: none.
    std::function<std::unique_ptr<UpdateController>()> makeUpdateController{};
    // Pasting into other programs, and whether we may send them keystrokes.
    PasteService::Environment pasteEnvironment{};
    std::function<bool()> eventPostingPermission{};
    // Text recognition of copied images.
    RecognizeImage recognizeImage{};
    // The access token of the AI rewrite service (called off the main thread).
    std::function<std::optional<QString>()> accessToken{};
    // Process environment lookup for the development AI provider.
    std::function<std::optional<QString>(const QString&)> environmentVariable{};
    WindowControllerFactory windows{};
    // The mail address feedback goes to.
    QString supportAddress = QStringLiteral("support@tolvi.app");
    // The operating system's name and version, for the feedback mail.
    QString operatingSystemVersion{};
    // How the window shortcuts reach the program in this session (shown in settings).
    std::function<ShortcutAccess()> shortcutAccess{};
    // Tells the user at once (a desktop notification) that a paste left the clip on the clipboard
    // for pasting by hand; empty: the paste notice of the next window opened tells it.
    std::function<void(const QString& message)> notifyPasteByHand{};
    // What the windows say about automatic paste in this session; unset: the X11 texts.
    std::optional<PermissionStatusStore::Texts> eventPostingTexts{};
    // The desktop's reduce-motion, reduce-transparency and contrast settings, which every window
    // follows; none: they stay off.
    DesktopAccessibility* desktopAccessibility = nullptr;
    // Every change of the active window reaches pasteboardMonitor().frontApplicationChanged().
    bool frontApplicationChangesReported = false;
};

// The program's one composition root: owns every store, service and window controller,
// builds them in a fixed order, binds the preferences to the running services, installs the
// global hot keys and decides what the user sees first. Main thread only.
class TolviTheme;

class AppState : public QObject {
    Q_OBJECT
public:
    static constexpr double setupDelaySeconds = 0.7;
    static constexpr double historyDelaySeconds = 0.9;
    static inline const QString hotKeyErrorMessage = QStringLiteral(
        "A shortcut could not be registered. Choose another shortcut or check other apps using these keys. "
        "Tolvi is still available from its system tray icon.");
    static inline const QString onboardingSampleText =
        QStringLiteral("Need quote for panel upgrade. Customer wants pricing by Friday.\nNeed equivalent model.");

    explicit AppState(AppEnvironment environment, QObject* parent = nullptr);
    ~AppState() override;

    // The start-up sequence; only the first call acts.
    void start();
    bool hasStarted() const { return m_hasStarted; }

    // Stores and services.
    ClipboardStore& clipboardStore() const { return *m_clipboardStore; }
    AppExclusionStore& appExclusionStore() const { return *m_appExclusionStore; }
    PreferencesStore& preferencesStore() const { return *m_preferencesStore; }
    UsageMetricsStore& usageMetricsStore() const { return *m_usageMetricsStore; }
    PermissionStatusStore& permissionStatusStore() const { return *m_permissionStatusStore; }
    PasteService& pasteService() const { return *m_pasteService; }
    // The theme every window is drawn with; it follows the appearance preference.
    TolviTheme& theme() const { return *m_theme; }
    const FeatureFlags& featureFlags() const { return m_featureFlags; }
    const AppEnvironment& environment() const { return m_environment; }

    // Created on first use, then kept.
    AIService& aiService();
    AppUpdater& appUpdater();
    PasteboardMonitor& pasteboardMonitor();
    HistoryWindowControlling& panelController();
    CompactPanelControlling& compactPanelController();
    SimpleWindowControlling& settingsPanelController();
    SimpleWindowControlling& setupPanelController();
    SimpleWindowControlling& aboutPanelController();
    WhatsNewWindowControlling& whatsNewPanelController();
    bool hasPanelController() const { return m_panelController != nullptr; }
    bool hasCompactPanelController() const { return m_compactPanelController != nullptr; }
    bool hasPasteboardMonitor() const { return m_pasteboardMonitor != nullptr; }

    // The two global hot keys (absent while switched off).
    const GlobalHotKey* hotKey() const { return m_hotKey.get(); }
    const GlobalHotKey* compactHotKey() const { return m_compactHotKey.get(); }
    // Removes both hot keys and installs them again; nothing means the stored preference.
    void installHotKey(std::optional<bool> enabled, std::optional<GlobalShortcutPreset> shortcut);

    // Actions of menus, hot keys and windows.
    void togglePanel();
    void paste(const ClipboardItem& item);
    void cancelPasteQueue();
    // Asks the program to quit (the tray's Quit); the owner of the event loop answers quitRequested.
    void requestQuit() { emit quitRequested(); }
    void toggleCompactPanel();
    // "Show History": shows the history window without toggling it and without counting an opening.
    void showHistory();
    // The program was launched again while running: shows the history window unless one of
    // the program's windows is already on screen.
    void handleReopen();
    void showNewSnippet();
    void showSettings();
    // The program's keyboard commands, which every one of its windows answers: Ctrl+, for Settings,
    // the two windows' chords, Ctrl+N for a new snippet. Returns whether the key was one of them.
    bool handleApplicationKey(int key, Qt::KeyboardModifiers modifiers, PanelKeyboardRouting::Focus focus);
    void perform(ApplicationKeyboardCommand command);
    void confirmAndClearRecentHistory();
    void confirmAndClearHistory();
    void clearRecentHistoryNow();
    void toggleClipboardMonitoring();
    void excludeFrontApplication();
    void chooseExcludedApplication();
    void removeExclusion(const ExcludedApp& app);
    void showSetup();
    void startOnboardingDemo();
    void completeSetup();
    void exportDiagnostics();
    // The same, asking with the given panels and alerts (those of the window it was started from).
    void exportDiagnostics(FilePanels& filePanels, Alerts& alerts);
    void revealHistoryFile();
    void openFeedback(const QString& subject);
    void recordFeedbackAndOpen(const QString& subject);
    void checkForUpdates();
    void exportHistory();
    void importHistory();
    QString bundleValue(const QString& key, const QString& fallback) const;

    // Writes pending history changes before the program quits. False: the user chose to keep
    // the program open (the quit is cancelled). With `askOnFailure` false (the system is
    // ending the session) a failure is only logged and the quit goes on.
    bool prepareToQuit(bool askOnFailure = true);

signals:
    // The tray menu's inputs changed (stores, preferences, exclusions, the paste queue).
    void menuInputsChanged();
    void quitRequested();

private:
    void bindPreferences();
    void applyHistoryLimit(HistoryLimitPreference preference);
    void applyScreenCapturePrivacy(bool hidesFromScreenCapture);
    void showSetupIfNeeded();
    void recordFirst(UsageMetricEvent event);
    DiagnosticsServiceFacts diagnosticsServiceFacts() const;
    double referenceNow() const;

    AppEnvironment m_environment;
    std::unique_ptr<ClipboardStore> m_clipboardStore;
    std::unique_ptr<AppExclusionStore> m_appExclusionStore;
    std::unique_ptr<PreferencesStore> m_preferencesStore;
    std::unique_ptr<AccessibilitySettings> m_accessibilitySettings;
    std::unique_ptr<TolviTheme> m_theme;
    std::unique_ptr<PermissionStatusStore> m_permissionStatusStore;
    std::unique_ptr<UsageMetricsStore> m_usageMetricsStore;
    FeatureFlags m_featureFlags;
    std::unique_ptr<PasteService> m_pasteService;
    std::unique_ptr<CapturePreferences> m_capturePreferences;

    std::unique_ptr<AIService> m_aiService;
    std::unique_ptr<AppUpdater> m_appUpdater;
    std::unique_ptr<PasteboardMonitor> m_pasteboardMonitor;
    std::unique_ptr<HistoryWindowControlling> m_panelController;
    std::unique_ptr<CompactPanelControlling> m_compactPanelController;
    std::unique_ptr<SimpleWindowControlling> m_settingsPanelController;
    std::unique_ptr<SimpleWindowControlling> m_setupPanelController;
    std::unique_ptr<SimpleWindowControlling> m_aboutPanelController;
    std::unique_ptr<WhatsNewWindowControlling> m_whatsNewPanelController;

    std::unique_ptr<PreferencesRuntimeBinding> m_runtimePreferencesBinding;
    std::unique_ptr<GlobalHotKey> m_hotKey;
    std::unique_ptr<GlobalHotKey> m_compactHotKey;
    bool m_hasStarted = false;
};

} // namespace tolvi
