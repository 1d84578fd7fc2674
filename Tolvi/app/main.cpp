// Tolvi: clipboard history in the system tray.
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/app/HistoryArchiveFlows.h"
#include "Tolvi/menu/TrayController.h"
#include "Tolvi/app/TrayMenuActions.h"
#include "Tolvi/platform/hotkeys/GlobalShortcutsPortal.h"
#include "Tolvi/platform/accessibility/LinuxDesktopAccessibility.h"
#include "Tolvi/platform/hotkeys/X11HotKeyBackend.h"
#include "Tolvi/platform/pasteboard/SystemPasteboard.h"
#include "Tolvi/platform/process/SingleInstance.h"
#include "Tolvi/platform/process/TerminationSignals.h"
#include "Tolvi/platform/settings/QtKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopNotifications.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/platform/wayland/DataControlClipboard.h"
#include "Tolvi/platform/wayland/FakeInputKeyboard.h"
#include "Tolvi/platform/wayland/ForeignToplevelWindows.h"
#include "Tolvi/platform/wayland/PlasmaToplevelWindows.h"
#include "Tolvi/platform/wayland/PortalKeyboard.h"
#include "Tolvi/platform/wayland/VirtualKeyboard.h"
#include "Tolvi/platform/wayland/WaylandDesktop.h"
#include "Tolvi/platform/wayland/SessionKind.h"
#include "Tolvi/platform/wayland/WaylandConnection.h"
#include "Tolvi/platform/x11/X11Desktop.h"
#include "Tolvi/compact/CompactClipboardPanelController.h"
#include "Tolvi/compact/CompactQuickLook.h"
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/app/SettingsWindowWiring.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/onboarding/AboutPanelController.h"
#include "Tolvi/onboarding/SetupPanelController.h"
#include "Tolvi/onboarding/WhatsNewPanelController.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/panels/PanelStartupActivation.h"
#include "Tolvi/shell/GlobalShortcutChords.h"
#include "Tolvi/shell/DiagnosticsSnapshot.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "Tolvi/shell/PreferencesStore.h"
#include "Tolvi/updater/AppUpdater.h"
#include "Tolvi/updater/FeedUpdateController.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryFolderLock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>

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

// The window a launch asks for ("Tolvi --history"); a plain launch asks to reopen.
SingleInstance::Command windowCommand(const QApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Clipboard history in the system tray. With a window option, toggles that window of the running Tolvi "
        "(starting Tolvi when it is not running): bind these command lines to keys in the desktop's keyboard settings."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption history(QStringLiteral("history"), QStringLiteral("Show or hide the history window."));
    const QCommandLineOption compact(QStringLiteral("compact"), QStringLiteral("Show or hide the compact panel."));
    const QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("Show or hide the settings window."));
    parser.addOptions({history, compact, settings});
    // Unknown options and stray arguments end the launch with a message and status 1.
    parser.process(application);
    if (!parser.positionalArguments().isEmpty()) {
        fprintf(stderr, "Tolvi: unexpected argument \"%s\"\n", qPrintable(parser.positionalArguments().constFirst()));
        std::exit(1);
    }
    const int chosen = int(parser.isSet(history)) + int(parser.isSet(compact)) + int(parser.isSet(settings));
    if (chosen > 1) {
        fprintf(stderr, "Tolvi: choose one of --history, --compact and --settings\n");
        std::exit(1);
    }
    if (parser.isSet(history))
        return SingleInstance::Command::history;
    if (parser.isSet(compact))
        return SingleInstance::Command::compact;
    if (parser.isSet(settings))
        return SingleInstance::Command::settings;
    return SingleInstance::Command::reopen;
}

// Toggles the window a later launch asked for, letting it take the focus with that launch's token.
void runWindowRequest(AppState& state, const SingleInstance::Request& request)
{
    PanelStartupActivation::setPendingToken(request.activationToken);
    switch (request.command) {
    case SingleInstance::Command::reopen:
        state.handleReopen();
        break;
    case SingleInstance::Command::history:
        state.togglePanel();
        break;
    case SingleInstance::Command::compact:
        state.toggleCompactPanel();
        break;
    case SingleInstance::Command::settings: {
        SimpleWindowControlling& settings = state.settingsPanelController();
        if (settings.isWindowVisible())
            settings.orderOut();
        else
            settings.show();
        break;
    }
    }
    // A token is for the window it was given with; a window hidden by this request takes none.
    PanelStartupActivation::setPendingToken({});
}

} // namespace

int main(int argc, char** argv)
{
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
    // A peer that closed its pipe (the OCR worker, a paste target) must fail a write, not end us;
    // so must a file-size limit (ulimit -f), which fails the write with EFBIG instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        qCWarning(lcMain) << "Tolvi needs an X11 server (XWayland in a Wayland session); hot keys and pasting are unavailable here";

    const SingleInstance::Request launchRequest = SingleInstance::requestFromEnvironment(windowCommand(application));
    // Programs started from here (a browser opened from the menu) must not reuse the token.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");

    SingleInstance instance;
    instance.setRequest(launchRequest);
    switch (instance.claim()) {
    case SingleInstance::Role::Secondary:
        return 0;  // the running Tolvi shows the window asked for
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
            if (historyLock.locksUnsupported())
                qCWarning(lcMain).noquote() << "The file system of" << historyLock.folder()
                                            << "keeps no locks; Tolvi goes on without one";
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
        // A lock that cannot be taken for any other reason (history.lock is a folder or another
        // user's file, the folder is not private) guards a history this program does not own.
        qCCritical(lcMain).noquote() << "Tolvi could not lock its history folder" << historyLock.folder()
                                     << "and quits without touching the history:" << error.what();
        AlertRequest alert;
        alert.style = AlertStyle::critical;
        alert.message = QStringLiteral("Tolvi cannot use its history folder");
        alert.informativeText = QStringLiteral("Tolvi could not lock the history in %1 (%2). Another program "
                                               "may own this history, so Tolvi quits without touching it.")
                                    .arg(historyLock.folder(), errorDescription(error));
        alert.escapeButton = 0;
        QtAlerts().run(alert);
        return 1;
    }

    // Text typed into an editor when an earlier run ended, offered again as the editors come.
    UnsavedDrafts drafts(UnsavedDrafts::filePathBeside(historyFilePath));
    drafts.recover();

    QtKeyValueSettings settings;
    CompiledBundleInfo bundle;
    SystemClock clock;
    QtScheduler scheduler;
    QtAlerts alerts;
    QtFilePanels filePanels;
    SystemDesktopWorkspace desktop;
    X11Desktop x11Desktop;
    X11ActivationWatcher activationWatcher;
    // Which session this is decides where copies are read from.
    std::unique_ptr<WaylandConnection> wayland = environmentNamesWayland() ? WaylandConnection::connect() : nullptr;
    SessionKind session = decideSessionKind(currentSessionFacts(wayland.get()));
    std::unique_ptr<DataControlClipboard> dataControl;
    if (session == SessionKind::waylandWithDataControl) {
        dataControl = DataControlClipboard::create(*wayland);
        // No seat to watch: copies can reach us only through XWayland after all.
        if (!dataControl)
            session = SessionKind::waylandWithoutDataControl;
    }
    // In a Wayland session the app in front and the keystroke come from the compositor where it
    // offers them, and from XWayland for X11 windows.
    std::unique_ptr<ToplevelWindows> toplevels;
    std::unique_ptr<WaylandKeyboard> waylandKeyboard;
    std::unique_ptr<WaylandDesktop> waylandDesktop;
    if (wayland && session != SessionKind::x11) {
        toplevels = ForeignToplevelWindows::create(*wayland);
        if (!toplevels)
            toplevels = PlasmaToplevelWindows::create(*wayland);
        waylandKeyboard = VirtualKeyboard::create(*wayland);
        if (!waylandKeyboard)
            waylandKeyboard = FakeInputKeyboard::create(*wayland);
        if (!waylandKeyboard) {
            // GNOME: the remote-desktop portal, asked once; its restore token spares the next start.
            const QString tokenKey = QStringLiteral("remoteDesktopRestoreToken");
            auto portal = std::make_unique<PortalKeyboard>(
                QDBusConnection::sessionBus(),
                PortalKeyboard::TokenStore{[&settings, tokenKey] { return settings.value(tokenKey).toString(); },
                                           [&settings, tokenKey](const QString& token) {
                                               settings.setValue(tokenKey, token);
                                           }});
            portal->restore();
            waylandKeyboard = std::move(portal);
        }
        waylandDesktop = std::make_unique<WaylandDesktop>(WaylandDesktop::Parts{
            x11Desktop, x11Desktop, [&x11Desktop] { return x11Desktop.hasXTest(); }, toplevels.get(),
            waylandKeyboard.get()});
        qCInfo(lcMain).noquote() << "Windows listed by the compositor:" << (toplevels ? "yes" : "no")
                                 << "- keyboard of ours:" << (waylandKeyboard ? "yes" : "no");
    }
    Workspace& workspace = waylandDesktop ? static_cast<Workspace&>(*waylandDesktop) : x11Desktop;
    PasteDesktop& pasteDesktop = waylandDesktop ? static_cast<PasteDesktop&>(*waylandDesktop) : x11Desktop;
    if (wayland)
        wayland->startDispatching();
    std::unique_ptr<SystemPasteboard> x11Pasteboard;
    // What a copy marked secret offers is never read, not even into memory.
    if (!dataControl)
        x11Pasteboard = std::make_unique<SystemPasteboard>(std::chrono::milliseconds(750), &ClipboardCapturePolicy::shouldCapture);
    Pasteboard& pasteboard = dataControl ? static_cast<Pasteboard&>(dataControl->pasteboard()) : *x11Pasteboard;
    qCInfo(lcMain).noquote() << "Session:" << sessionKindTitle(session);
    X11HotKeyBackend hotKeys;
    LinuxDesktopAccessibility desktopAccessibility(LinuxDesktopAccessibility::Options::fromEnvironment());

    // In a Wayland session the desktop's global shortcuts service, where there is one, holds the
    // chords: X11 key grabs see keys only while an X11 window has the focus.
    GlobalShortcutsPortal shortcutsPortal;

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
    environment.shortcutAccess = [session, &shortcutsPortal] {
        ShortcutAccess access;
        if (session == SessionKind::x11)
            access.route = ShortcutAccess::Route::keyGrab;
        else if (shortcutsPortal.state() == GlobalShortcutsPortal::State::bound)
            access.route = ShortcutAccess::Route::desktopPortal;
        else
            access.route = ShortcutAccess::Route::boundCommands;
        access.programPath = QCoreApplication::applicationFilePath();
        return access;
    };
    if (waylandDesktop) {
        environment.eventPostingTexts = PermissionStatusStore::Texts{WaylandDesktop::keystrokeMechanism(),
                                                                     WaylandDesktop::keystrokesUnavailableTitle(),
                                                                     WaylandDesktop::keystrokesUnavailable(),
                                                                     WaylandDesktop::keystrokesUnavailableStatus(),
                                                                     WaylandDesktop::permissionSettings()};
    }
    environment.notifyPasteByHand = [](const QString& message) {
        showDesktopNotification(QStringLiteral("The clip is on the clipboard"), message);
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
    if (session == SessionKind::waylandWithoutDataControl) {
        state->preferencesStore().setCaptureScopeNote(QStringLiteral(
            "This Wayland desktop offers no data control: copies made in X11 apps are recorded, copies made in "
            "Wayland apps only when the desktop passes them to X11 apps"));
    }
    connectActivations(activationWatcher, state->pasteService());
    QObject::connect(&activationWatcher, &X11ActivationWatcher::frontWindowChanged, state.get(), [&state] {
        if (state->hasPasteboardMonitor())
            state->pasteboardMonitor().frontApplicationChanged();
    });

    if (toplevels) {
        // A Wayland window that takes the focus; X11 windows are reported by the watcher above.
        QPointer<PasteService> service(&state->pasteService());
        toplevels->setActivationHandler([service, &pasteDesktop, &state](quint64 id) {
            QMetaObject::invokeMethod(service, [service, &pasteDesktop, &state, id] {
                if (service && pasteDesktop.frontmostPID() == WaylandDesktop::targetForWindow(id))
                    service->applicationActivated(WaylandDesktop::targetForWindow(id));
                if (state->hasPasteboardMonitor())
                    state->pasteboardMonitor().frontApplicationChanged();
            });
        });
    }

    if (session != SessionKind::x11) {
        QObject::connect(&shortcutsPortal, &GlobalShortcutsPortal::stateChanged, &hotKeys,
                         [&hotKeys](GlobalShortcutsPortal::State portalState) {
                             hotKeys.setPressesHandedElsewhere(portalState == GlobalShortcutsPortal::State::bound);
                         });
        QObject::connect(&shortcutsPortal, &GlobalShortcutsPortal::activated, state.get(),
                         [&state](const QString& id, const QByteArray& token) {
                             const SingleInstance::Command command = id == QLatin1String("compact")
                                                                         ? SingleInstance::Command::compact
                                                                         : SingleInstance::Command::history;
                             runWindowRequest(*state, {command, token});
                         });
        const GlobalShortcutPreset preset = state->preferencesStore().globalShortcut();
        shortcutsPortal.bind({
            {QStringLiteral("history"), QStringLiteral("Open the Tolvi history window"),
             GlobalShortcutsPortal::triggerFor(historyWindowChord(preset))},
            {QStringLiteral("compact"), QStringLiteral("Open the Tolvi compact panel"),
             GlobalShortcutsPortal::triggerFor(compactPanelChord(preset))},
        });
    }

    // A clip chosen in the tray menu goes to the program the user is in when the menu opens.
    TrayController tray([&state] { return menuSnapshot(*state); },
                       [&state](const MenuBarEntry& entry) { performMenuAction(*state, entry); },
                       [&state] { state->pasteService().captureTarget(); });
    QObject::connect(state.get(), &AppState::menuInputsChanged, &tray, &TrayController::rebuildMenu);
    if (!tray.show())
        qCInfo(lcMain) << "No system tray: Tolvi stays reachable through its hot keys and by starting it again";

    QObject::connect(&instance, &SingleInstance::activationRequested, state.get(), [&state] { state->handleReopen(); });
    QObject::connect(&instance, &SingleInstance::requestReceived, state.get(),
                     [&state](const SingleInstance::Request& request) { runWindowRequest(*state, request); });

    // Quitting writes the history first. The user's Quit may be cancelled; the system's may not.
    TerminationSignals terminationSignals;
    bool quitting = false;
    // Typed text nobody dropped waits in its file for the next run.
    auto quitNow = [&] {
        quitting = true;
        drafts.keep();
        QApplication::quit();
    };
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, state.get(), [&](int) {
        if (!quitting)
            state->prepareToQuit(false);
        quitNow();
    });
    // Before a logout the session manager lets each editor with typed text ask its own question,
    // as desktop editors do; "Keep Editing" cancels the logout.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, state.get(), [&](QSessionManager& manager) {
        if (drafts.commitData([&manager] { return manager.allowsInteraction(); })
            == UnsavedDrafts::CommitAnswer::cancel) {
            manager.cancel();
            return;
        }
        manager.release();
        state->prepareToQuit(false);
        drafts.keep();
    });
    QObject::connect(state.get(), &AppState::quitRequested, state.get(), [&] {
        if (state->prepareToQuit(true))
            quitNow();
    });

    // Two start calls, as the application object and its delegate make them; only the first acts.
    QTimer::singleShot(0, state.get(), [&state] { state->start(); });
    state->start();
    // The editors that held text when the last run ended take it back now.
    if (drafts.hasRecovered(UnsavedDraft::quickEdit) || drafts.hasRecovered(UnsavedDraft::newSnippet))
        state->panelController();
    if (drafts.hasRecovered(UnsavedDraft::compactEditor))
        state->compactPanelController();
    // Started by a window command: the start shows the history window (or the tour) after a
    // moment, which is what --history asks; another window is shown right after that.
    if (launchRequest.command == SingleInstance::Command::history || launchRequest.command == SingleInstance::Command::reopen) {
        PanelStartupActivation::setPendingToken(launchRequest.activationToken);
    } else {
        const int delay = int(AppState::historyDelaySeconds * 1000) + 100;
        QTimer::singleShot(delay, state.get(), [&state, launchRequest] { runWindowRequest(*state, launchRequest); });
    }

    const int status = QApplication::exec();
    if (!quitting) {
        state->prepareToQuit(false);
        drafts.keep();
    }
    // No Wayland event may reach an object that is being destroyed.
    if (wayland)
        wayland->stopDispatching();
    if (toplevels)
        toplevels->setActivationHandler({});
    return status;
}
