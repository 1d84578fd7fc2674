// Tolvi: clipboard history in the system tray.
#include "Tolvi/app/AppState.h"
#include "Tolvi/app/ClipListWindow.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/app/TrayController.h"
#include "Tolvi/app/TrayMenuActions.h"
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
#include "Tolvi/history/ClipboardPanelController.h"
#include "Tolvi/history/ThumbnailCache.h"
#include "Tolvi/services/capture/PasteboardMonitor.h"
#include "Tolvi/services/paste/LivePasteEnvironment.h"
#include "Tolvi/services/capture/Scheduler.h"
#include "Tolvi/shell/DiagnosticsSnapshot.h"
#include "Tolvi/updater/FeedUpdateController.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>

#include <csignal>

using namespace tolvi;

namespace {

Q_LOGGING_CATEGORY(lcMain, "tolvi.main")

// The windows not built yet answer with nothing on screen; the tray menu stays usable.
class UnavailableWindow final : public SimpleWindowControlling, public WhatsNewWindowControlling {
public:
    explicit UnavailableWindow(QString name) : m_name(std::move(name)) {}
    bool hasWindow() const override { return false; }
    bool isWindowVisible() const override { return false; }
    void orderOut() override {}
    void setHiddenFromScreenCapture(bool) override {}
    void show() override { qCInfo(lcMain).noquote() << "Tolvi has no" << m_name << "window in this version"; }
    void show(bool) override { show(); }

private:
    QString m_name;
};

template <typename Interface>
std::function<std::unique_ptr<Interface>(AppState&)> unavailable(const QString& name)
{
    return [name](AppState&) -> std::unique_ptr<Interface> { return std::make_unique<UnavailableWindow>(name); };
}

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
    // A peer that closed its pipe (the OCR worker, a paste target) must fail a write, not end us.
    std::signal(SIGPIPE, SIG_IGN);

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
        FileClipboardHistoryPersistence::defaultFilePath(),
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
    };
    environment.windows.history = [&thumbnails, &settings, &bundle](AppState& app) -> std::unique_ptr<HistoryWindowControlling> {
        QPointer<AppState> owner(&app);
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            app.clipboardStore(),
            app.featureFlags(),
            app.usageMetricsStore(),
            app.pasteService(),
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
        });
    };
    environment.windows.compact = [](AppState& app) -> std::unique_ptr<CompactPanelControlling> {
        return std::make_unique<ClipListCompactController>(std::make_unique<ClipListWindow>(
            app.clipboardStore(), QStringLiteral("Quick Paste"), [&app](const ClipboardItem& item) { app.paste(item); },
            [&app] { app.pasteService().captureTarget(); }, &app.theme()));
    };
    environment.windows.settings = unavailable<SimpleWindowControlling>(QStringLiteral("Settings"));
    environment.windows.setup = unavailable<SimpleWindowControlling>(QStringLiteral("onboarding"));
    environment.windows.about = unavailable<SimpleWindowControlling>(QStringLiteral("About"));
    environment.windows.whatsNew = unavailable<WhatsNewWindowControlling>(QStringLiteral("What's New"));

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
