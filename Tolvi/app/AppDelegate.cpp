#include "Tolvi/app/AppDelegate.h"

#include "Tolvi/app/AppState.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/panels/PanelStartupActivation.h"
#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/platform/process/TerminationSignals.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/shell/UnsavedDrafts.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryFolderLock.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace tolvi {

namespace {

Q_LOGGING_CATEGORY(lcMain, "tolvi.main")

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

} // namespace

AppDelegate::AppDelegate(QApplication& application, QObject* parent)
    : QObject(parent)
    , m_application(application)
{
}

AppDelegate::~AppDelegate() = default;

std::optional<int> AppDelegate::applicationWillFinishLaunching()
{
    m_launchRequest = SingleInstance::requestFromEnvironment(windowCommand(m_application));
    // Programs started from here (a browser opened from the menu) must not reuse the token.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qunsetenv("DESKTOP_STARTUP_ID");

    m_instance = std::make_unique<SingleInstance>();
    m_instance->setRequest(m_launchRequest);
    switch (m_instance->claim()) {
    case SingleInstance::Role::Secondary:
        return 0;  // the running Tolvi shows the window asked for
    case SingleInstance::Role::Failed:
        qCWarning(lcMain) << "Tolvi could not check for another running copy; going on";
        break;
    case SingleInstance::Role::Primary:
        break;
    }

    // Whatever became of the socket, one program at a time loads, saves and tidies a history.
    m_historyFilePath = FileClipboardHistoryPersistence::defaultFilePath();
    m_historyLock = std::make_unique<HistoryFolderLock>(m_historyFilePath);
    HistoryFolderLock& historyLock = *m_historyLock;
    try {
        if (historyLock.acquire()) {
            if (historyLock.locksUnsupported())
                qCWarning(lcMain).noquote() << "The file system of" << historyLock.folder()
                                            << "keeps no locks; Tolvi goes on without one";
            historyLock.removeLeftoverTemporaryFiles();
        } else if (m_instance->handOver()) {
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
    m_drafts = std::make_unique<UnsavedDrafts>(UnsavedDrafts::filePathBeside(m_historyFilePath));
    m_drafts->recover();
    return std::nullopt;
}

void AppDelegate::applicationDidFinishLaunching(AppState& state)
{
    m_state = &state;
    UnsavedDrafts& drafts = *m_drafts;

    connect(m_instance.get(), &SingleInstance::activationRequested, &state, [this] { m_state->handleReopen(); });
    connect(m_instance.get(), &SingleInstance::requestReceived, &state,
            [this](const SingleInstance::Request& request) { showRequestedWindow(*m_state, request); });

    // Quitting writes the history first. The user's Quit may be cancelled; the system's may not.
    m_terminationSignals = std::make_unique<TerminationSignals>();
    connect(m_terminationSignals.get(), &TerminationSignals::terminationRequested, &state, [this](int) {
        if (!m_quitting)
            m_state->prepareToQuit(false);
        quitNow();
    });
    // Before a logout the session manager lets each editor with typed text ask its own question,
    // as desktop editors do; "Keep Editing" cancels the logout.
    connect(&m_application, &QGuiApplication::commitDataRequest, &state, [this, &drafts](QSessionManager& manager) {
        if (drafts.commitData([&manager] { return manager.allowsInteraction(); })
            == UnsavedDrafts::CommitAnswer::cancel) {
            manager.cancel();
            return;
        }
        manager.release();
        m_state->prepareToQuit(false);
        drafts.keep();
    });
    connect(&state, &AppState::quitRequested, &state, [this] {
        if (m_state->prepareToQuit(true))
            quitNow();
    });

    // Two start calls, as the application object and its delegate make them; only the first acts.
    QTimer::singleShot(0, &state, [this] { m_state->start(); });
    state.start();
    // The editors that held text when the last run ended take it back now.
    if (drafts.hasRecovered(UnsavedDraft::quickEdit) || drafts.hasRecovered(UnsavedDraft::newSnippet))
        state.panelController();
    if (drafts.hasRecovered(UnsavedDraft::compactEditor))
        state.compactPanelController();
    // Started by a window command: the start shows the history window (or the tour) after a
    // moment, which is what --history asks; another window is shown right after that.
    if (m_launchRequest.command == SingleInstance::Command::history
        || m_launchRequest.command == SingleInstance::Command::reopen) {
        PanelStartupActivation::setPendingToken(m_launchRequest.activationToken);
    } else {
        const int delay = int(AppState::historyDelaySeconds * 1000) + 100;
        QTimer::singleShot(delay, &state, [this] { showRequestedWindow(*m_state, m_launchRequest); });
    }
}

void AppDelegate::showRequestedWindow(AppState& state, const SingleInstance::Request& request)
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

void AppDelegate::applicationWillTerminate()
{
    if (!m_quitting) {
        m_state->prepareToQuit(false);
        m_drafts->keep();
    }
}

// Typed text nobody dropped waits in its file for the next run.
void AppDelegate::quitNow()
{
    m_quitting = true;
    m_drafts->keep();
    QApplication::quit();
}

} // namespace tolvi
