// Tolvi: clipboard history in the system tray.
#include "Tolvi/app/AppDelegate.h"
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/design/AppIcon.h"
#include "Tolvi/menu/TrayController.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/platform/hotkeys/GlobalShortcutsPortal.h"
#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"
#include "Tolvi/platform/process/BackgroundLog.h"
#include "Tolvi/platform/session/LinuxSessionPlatform.h"
#include "Tolvi/platform/settings/QtKeyValueSettings.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopNotifications.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/wayland/WaylandDesktop.h"
#include "Tolvi/platform/wayland/SessionKind.h"
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactQuickLook.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/app/SettingsWindowWiring.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/onboarding/AboutPanelController.h"
#include "Tolvi/onboarding/SetupPanelController.h"
#include "Tolvi/onboarding/WhatsNewPanelController.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/DiagnosticsSnapshot.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/updater/AppUpdater.h"
#include "Tolvi/updater/FeedUpdateController.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScopeGuard>

#include <chrono>
#include <csignal>

using namespace tolvi;

namespace {

Q_LOGGING_CATEGORY(lcMain, "tolvi.main")

UpdatePresenter updatePresenter(Alerts& alerts, DesktopWorkspace& desktop)
{
    UpdatePresenter presenter;
    presenter.updateAvailable = [&alerts, &desktop](const UpdateFeedEntry& entry) {
        AlertRequest alert;
        alert.message = QStringLiteral("A new version of Tolvi is available");
        alert.informativeText = QStringLiteral("Tolvi %1 is available; you have %2. Open the download page?")
                                    .arg(entry.version, QStringLiteral(TOLVI_VERSION));
        alert.buttons = {QStringLiteral("Open Download Page"), QStringLiteral("Later")};
        alert.escapeButton = 1;
        if (alerts.run(alert) == std::optional<int>(0))
            desktop.openUrl(entry.downloadPage);
    };
    presenter.upToDate = [&alerts](const QString& version) {
        AlertRequest alert;
        alert.message = QStringLiteral("Tolvi is up to date");
        alert.informativeText = QStringLiteral("Tolvi %1 is the newest version.").arg(version);
        alert.escapeButton = 0;
        alerts.run(alert);
    };
    presenter.checkFailed = [&alerts](const QString& message) {
        AlertRequest alert;
        alert.style = AlertStyle::warning;
        alert.message = QStringLiteral("Tolvi could not check for updates");
        alert.informativeText = message;
        alert.escapeButton = 0;
        alerts.run(alert);
    };
    return presenter;
}

// "Export Copy…" of a window's storage notice: the history held in memory, written to an archive
// the user picks, with the file dialog and the alerts over that window.
std::function<void(QWidget*)> exportHistoryCopy(AppState& app, DesktopWorkspace& desktop)
{
    return [&app, &desktop](QWidget* parent) {
        QtFilePanels panels(parent);
        QtAlerts alerts(parent);
        HistoryExporter::exportHistory(app.clipboardStore(), panels, alerts, desktop, parent);
    };
}

} // namespace

int main(int argc, char** argv)
{
    // No thread waits for a log line to be written: a launcher may hold our standard error open
    // without reading it. At the end the last lines get half a second to go out, and no more.
    BackgroundLog::installForProgram();
    const auto writeLastLines = qScopeGuard([] { BackgroundLog::finishProgram(std::chrono::milliseconds(500)); });

    // In a Wayland session the windows stay X11 clients of XWayland, where placement, staying on
    // top and key grabs work; the clipboard is read over a Wayland connection of our own.
    if (environmentNamesWayland() && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvi"));
    QApplication::setOrganizationName(QStringLiteral("Tolvi"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVI_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvi"));
    QApplication::setWindowIcon(AppIcon::icon());
    // A peer that closed its pipe (the OCR worker, a paste target) must fail a write, not end us;
    // so must a file-size limit (ulimit -f), which fails the write with EFBIG instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        qCWarning(lcMain) << "Tolvi needs an X11 server (XWayland in a Wayland session); hot keys and pasting are unavailable here";

    AppDelegate delegate(application);
    if (const std::optional<int> status = delegate.applicationWillFinishLaunching())
        return *status;
    const QString& historyFilePath = delegate.historyFilePath();
    UnsavedDrafts& drafts = delegate.drafts();

    QtKeyValueSettings settings;
    CompiledBundleInfo bundle;
    SystemClock clock;
    QtScheduler scheduler;
    QtAlerts alerts;
    QtFilePanels filePanels;
    SystemDesktopWorkspace desktop;
    // Which session this is decides where copies are read from, how the app in front is known,
    // how keystrokes are typed and how the window shortcuts arrive.
    const std::unique_ptr<LinuxSessionPlatform> platform = LinuxSessionPlatform::create(settings);
    Workspace& workspace = platform->workspace();
    PasteDesktop& pasteDesktop = platform->pasteDesktop();
    Pasteboard& pasteboard = platform->pasteboard();
    LinuxDesktopAccessibility desktopAccessibility(LinuxDesktopAccessibility::Options::fromEnvironment());

    // One set of image tiles for every clip list of the program; it outlives the windows.
    ThumbnailCache thumbnails;
    std::unique_ptr<AppState> state;
    AppEnvironment environment{
        settings,
        bundle,
        clock,
        scheduler,
        alerts,
        filePanels,
        desktop,
        workspace,
        pasteboard,
        platform->hotKeys(),
        historyFilePath,
        [](const QString& path) { return std::make_shared<FileClipboardHistoryPersistence>(path); },
        [&settings, &alerts, &desktop]() -> std::unique_ptr<UpdateController> {
            const QUrl feed = FeedUpdateController::buildFeedURL();
            if (feed.isEmpty())
                return nullptr;
            return std::make_unique<FeedUpdateController>(feed, QStringLiteral(TOLVI_VERSION), settings,
                                                          updatePresenter(alerts, desktop));
        },
        makeLivePasteEnvironment(pasteDesktop, scheduler),
        [&pasteDesktop] { return pasteDesktop.canSendKeystrokes(); },
        {},
        [] { return std::optional<QString>(); },
        [](const QString& name) -> std::optional<QString> {
            if (!qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
                return std::nullopt;
            return qEnvironmentVariable(name.toLocal8Bit().constData());
        },
        {},
        QStringLiteral("support@tolvi.app"),
        SystemFacts::current().operatingSystemVersion,
    };
    environment.desktopAccessibility = &desktopAccessibility;
    // The platform's activation handlers below report every change of the active window to the monitor.
    environment.frontApplicationChangesReported = true;
    environment.shortcutAccess = [&platform] {
        ShortcutAccess access;
        access.route = platform->shortcutRoute();
        // Where the desktop's shortcuts service is asked, it says what it holds.
        if (access.route != ShortcutAccess::Route::keyGrab)
            if (const GlobalShortcutsPortal* portal = platform->shortcutsPortal())
                portal->describe(access);
        access.programPath = QCoreApplication::applicationFilePath();
        return access;
    };
    if (platform->typesThroughCompositor()) {
        environment.eventPostingTexts = PermissionStatusStore::Texts{WaylandDesktop::keystrokeMechanism(),
                                                                     WaylandDesktop::keystrokesUnavailableTitle(),
                                                                     WaylandDesktop::keystrokesUnavailable(),
                                                                     WaylandDesktop::keystrokesUnavailableStatus(),
                                                                     WaylandDesktop::permissionSettings()};
    }
    environment.notifyPasteByHand = [](const QString& message) {
        showNotificationOrOwnNotice(QStringLiteral("The clip is on the clipboard"), message);
    };
    environment.windows.history = [&thumbnails, &settings, &bundle, &desktop, &drafts](AppState& app) -> std::unique_ptr<HistoryWindowControlling> {
        QPointer<AppState> owner(&app);
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            app.clipboardStore(),
            app.featureFlags(),
            app.usageMetricsStore(),
            app.pasteService(),
            &app.preferencesStore(),
            &app.aiService(),
            [owner](const ClipboardItem& item) {
                if (owner)
                    owner->pasteboardMonitor().retryOCR(item);
            },
            [owner] {
                if (owner)
                    owner->showSetup();
            },
            &app.theme(),
            &settings,
            &thumbnails,
            bundle.bundleIdentifier(),
            [](const std::exception& error) { return errorDescription(error); },
            {},
            app.environment().historyFilePath,
            [&desktop](const QUrl& url) { return desktop.openUrl(url); },
            exportHistoryCopy(app, desktop),
            &drafts,
        });
    };
    environment.windows.compact = [&thumbnails, &desktop, &drafts](AppState& app) -> std::unique_ptr<CompactPanelControlling> {
        QPointer<AppState> owner(&app);
        CompactClipboardPanelController::Dependencies dependencies{
            app.clipboardStore(),
            app.featureFlags(),
            app.usageMetricsStore(),
            app.pasteService(),
        };
        dependencies.aiService = &app.aiService();
        dependencies.retryOCR = [owner](const ClipboardItem& item) {
            if (owner)
                owner->pasteboardMonitor().retryOCR(item);
        };
        dependencies.theme = &app.theme();
        dependencies.thumbnails = &thumbnails;
        dependencies.makePreview =
            compactQuickLookFactory(&thumbnails, [&desktop](const QUrl& url) { return desktop.openUrl(url); });
        dependencies.historyFilePath = app.environment().historyFilePath;
        dependencies.openUrl = [&desktop](const QUrl& url) { return desktop.openUrl(url); };
        dependencies.exportHistory = exportHistoryCopy(app, desktop);
        dependencies.drafts = &drafts;
        return std::make_unique<CompactClipboardPanelController>(std::move(dependencies));
    };
    environment.windows.settings = makeSettingsPanelController;
    environment.windows.setup = [](AppState& app) -> std::unique_ptr<SimpleWindowControlling> {
        QPointer<AppState> owner(&app);
        return std::make_unique<SetupPanelController>(SetupPanelController::Dependencies{
            app.permissionStatusStore(), app.preferencesStore(), &app.theme(), &compactPanelChord,
            app.appUpdater().canCheckForUpdates(), AppState::onboardingSampleText,
            [owner] { if (owner) owner->togglePanel(); },
            [owner] { if (owner) owner->startOnboardingDemo(); },
            [owner] { if (owner) owner->completeSetup(); }});
    };
    environment.windows.about = [&bundle, &desktop](AppState& app) -> std::unique_ptr<SimpleWindowControlling> {
        QPointer<AppState> owner(&app);
        return std::make_unique<AboutPanelController>(AboutPanelController::Dependencies{
            bundle, desktop, &app.theme(), [owner] { if (owner) owner->openFeedback(QStringLiteral("Tolvi Feedback")); }});
    };
    environment.windows.whatsNew = [&bundle, &desktop](AppState& app) -> std::unique_ptr<WhatsNewWindowControlling> {
        return std::make_unique<WhatsNewPanelController>(
            WhatsNewPanelController::Dependencies{app.preferencesStore(), bundle, desktop, &app.theme()});
    };

    state = std::make_unique<AppState>(std::move(environment));
    if (const QString note = platform->captureScopeNote(); !note.isEmpty())
        state->preferencesStore().setCaptureScopeNote(note);
    platform->setActivationHandlers({
        [&state](qint64 target) { state->pasteService().applicationActivated(target); },
        [&state] {
            if (state->hasPasteboardMonitor())
                state->pasteboardMonitor().frontApplicationChanged();
        },
    });

    if (GlobalShortcutsPortal* shortcutsPortal = platform->shortcutsPortal()) {
        QObject::connect(shortcutsPortal, &GlobalShortcutsPortal::activated, state.get(),
                         [&state](const QString& id, const QByteArray& token) {
                             const SingleInstance::Command command = id == QLatin1String("compact")
                                                                         ? SingleInstance::Command::compact
                                                                         : SingleInstance::Command::history;
                             AppDelegate::showRequestedWindow(*state, {command, token});
                         });
        const GlobalShortcutPreset preset = state->preferencesStore().globalShortcut();
        shortcutsPortal->bind({
            {QStringLiteral("history"), QStringLiteral("Open the Tolvi history window"),
             GlobalShortcutsPortal::triggerFor(historyWindowChord(preset))},
            {QStringLiteral("compact"), QStringLiteral("Open the Tolvi compact panel"),
             GlobalShortcutsPortal::triggerFor(compactPanelChord(preset))},
        });
    }

    // A clip chosen in the tray menu goes to the program the user is in when the menu opens.
    TrayController tray([&state] { return menuBarContent(*state); },
                       [&state](const MenuBarEntry& entry) { performMenuAction(*state, entry); },
                       [&state] { state->pasteService().captureTarget(); });
    QObject::connect(state.get(), &AppState::menuInputsChanged, &tray, &TrayController::rebuildMenu);
    if (!tray.show())
        qCInfo(lcMain) << "No system tray: Tolvi stays reachable through its hot keys and by starting it again";

    delegate.applicationDidFinishLaunching(*state);

    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    // No event of the desktop's may reach an object that is being destroyed.
    platform->shutDown();
    return status;
}
