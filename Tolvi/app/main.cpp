// Tolvi: clipboard history in the system tray.
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/app/TrayController.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"
#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/process/SingleInstance.h"
#include "Tolvi/platform/process/TerminationSignals.h"
#include "Tolvi/platform/settings/QtKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/x11/X11Desktop.h"
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactQuickLook.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/settings/SettingsWindowWiring.h"
#include "Tolvi/history/ThumbnailCache.h"
#include "Tolvi/onboarding/AboutPanelController.h"
#include "Tolvi/onboarding/SetupPanelController.h"
#include "Tolvi/onboarding/WhatsNewPanelController.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/shell/DiagnosticsSnapshot.h"
#include "Tolvi/updater/AppUpdater.h"
#include "Tolvi/updater/FeedUpdateController.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryFolderLock.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvi"));
    QApplication::setOrganizationName(QStringLiteral("Tolvi"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVI_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvi"));
    // A peer that closed its pipe (the OCR worker, a paste target) must fail a write, not end us;
    // so must a file-size limit (ulimit -f), which fails the write with EFBIG instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        qCWarning(lcMain) << "Tolvi needs an X11 session; hot keys and pasting are unavailable here";

    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Role::Secondary:
        return 0;  // the running Tolvi shows its history window
    case SingleInstance::Role::Failed:
        qCWarning(lcMain) << "Tolvi could not check for another running copy; going on";
        break;
    case SingleInstance::Role::Primary:
        break;
    }

    // Whatever became of the socket, one program at a time loads, saves and tidies a history.
    const QString historyFilePath = FileClipboardHistoryPersistence::defaultFilePath();
    HistoryFolderLock historyLock(historyFilePath);
    try {
        if (historyLock.acquire()) {
            historyLock.removeLeftoverTemporaryFiles();
        } else if (instance.handOver()) {
            return 0;
        } else {
            qCCritical(lcMain).noquote() << "Another Tolvi is using the history in" << historyLock.folder()
                                         << "and does not answer; this one quits without touching it";
            AlertRequest alert;
            alert.style = AlertStyle::warning;
            alert.message = QStringLiteral("Tolvi is already running");
            alert.informativeText = QStringLiteral("Another Tolvi is using the history in %1 and does not answer. "
                                                   "This one quits without touching the history.")
                                        .arg(historyLock.folder());
            alert.escapeButton = 0;
            QtAlerts().run(alert);
            return 1;
        }
    } catch (const PersistenceError& error) {
        qCWarning(lcMain) << "Tolvi could not lock its history folder; going on:" << error.what();
    }

    QtKeyValueSettings settings;
    CompiledBundleInfo bundle;
    SystemClock clock;
    QtScheduler scheduler;
    QtAlerts alerts;
    QtFilePanels filePanels;
    SystemDesktopWorkspace desktop;
    X11Desktop x11Desktop;
    X11ActivationWatcher activationWatcher;
    SystemPasteboard pasteboard;
    X11HotKeyBackend hotKeys;
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
        x11Desktop,
        pasteboard,
        hotKeys,
        historyFilePath,
        [](const QString& path) { return std::make_shared<FileClipboardHistoryPersistence>(path); },
        [&settings, &alerts, &desktop]() -> std::unique_ptr<UpdateController> {
            const QUrl feed = FeedUpdateController::buildFeedURL();
            if (feed.isEmpty())
                return nullptr;
            return std::make_unique<FeedUpdateController>(feed, QStringLiteral(TOLVI_VERSION), settings,
                                                          updatePresenter(alerts, desktop));
        },
        makeLivePasteEnvironment(x11Desktop, scheduler),
        [&x11Desktop] { return x11Desktop.canSendKeystrokes(); },
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
        &desktopAccessibility,
    };
    environment.windows.history = [&thumbnails, &settings, &bundle, &desktop](AppState& app) -> std::unique_ptr<HistoryWindowControlling> {
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
            [&app, &desktop](QWidget* parent) {
                QtFilePanels panels(parent);
                QtAlerts alerts(parent);
                HistoryExporter::exportHistory(app.clipboardStore(), panels, alerts, desktop);
            },
        });
    };
    environment.windows.compact = [&thumbnails, &desktop](AppState& app) -> std::unique_ptr<CompactPanelControlling> {
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
        return std::make_unique<CompactClipboardPanelController>(std::move(dependencies));
    };
    environment.windows.settings = makeSettingsPanelController;
    environment.windows.setup = [](AppState& app) -> std::unique_ptr<SimpleWindowControlling> {
        QPointer<AppState> owner(&app);
        return std::make_unique<SetupPanelController>(SetupPanelController::Dependencies{
            app.permissionStatusStore(), app.preferencesStore(), &app.theme(), &AppState::compactChord,
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
    connectActivations(activationWatcher, state->pasteService());

    TrayController tray([&state] { return menuSnapshot(*state); },
                       [&state](const MenuBarEntry& entry) { performMenuAction(*state, entry); });
    QObject::connect(state.get(), &AppState::menuInputsChanged, &tray, &TrayController::rebuildMenu);
    if (!tray.show())
        qCInfo(lcMain) << "No system tray: Tolvi stays reachable through its hot keys and by starting it again";

    QObject::connect(&instance, &SingleInstance::activationRequested, state.get(), [&state] { state->handleReopen(); });

    // Quitting writes the history first. The user's Quit may be cancelled; the system's may not.
    TerminationSignals terminationSignals;
    bool quitting = false;
    auto quitNow = [&] {
        quitting = true;
        QApplication::quit();
    };
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, state.get(), [&](int) {
        if (!quitting)
            state->prepareToQuit(false);
        quitNow();
    });
    QObject::connect(&application, &QGuiApplication::commitDataRequest, state.get(),
                     [&](QSessionManager&) { state->prepareToQuit(false); });
    QObject::connect(state.get(), &AppState::quitRequested, state.get(), [&] {
        if (state->prepareToQuit(true))
            quitNow();
    });

    // Two start calls, as the application object and its delegate make them; only the first acts.
    QTimer::singleShot(0, state.get(), [&state] { state->start(); });
    state->start();

    const int status = QApplication::exec();
    if (!quitting)
        state->prepareToQuit(false);
    return status;
}
