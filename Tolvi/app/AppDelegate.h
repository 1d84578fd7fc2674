#pragma once

#include "Tolvi/platform/process/SingleInstance.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QApplication;

namespace tolvi {

class AppState;
class HistoryFolderLock;
class TerminationSignals;
class UnsavedDrafts;

// The program's side of its life in the desktop session: the checks a launch passes before
// anything else is made, the start of the composition root, the windows that later launches ask
// for, and the ways the program ends (the user's Quit, a termination signal, a logout). It holds
// no state of its own beyond what those need; everything else lives in AppState.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QApplication& application, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch checks: which window the command line asks for, one Tolvi at a time (a later
    // launch hands its request to the running one), one program at a time on a history (the
    // history folder's lock), then the drafts an earlier run left. The exit status when this
    // launch ends here; nothing when the program goes on.
    std::optional<int> applicationWillFinishLaunching();

    // What the launch asked for ("Tolvi --history"; a plain launch asks to reopen).
    const SingleInstance::Request& launchRequest() const { return m_launchRequest; }
    // The history file this program holds the lock of.
    const QString& historyFilePath() const { return m_historyFilePath; }
    // Text typed into an editor when an earlier run ended, offered again as the editors come.
    // Valid once applicationWillFinishLaunching() let the launch go on.
    UnsavedDrafts& drafts() const { return *m_drafts; }

    // The start: later launches and the quit paths are connected to the state, the state is
    // started, the editors that held text take it back, and the window the launch asked for
    // is shown. The state must outlive the event loop.
    void applicationDidFinishLaunching(AppState& state);

    // Toggles the window a later launch (or the desktop's shortcut) asked for, letting it take
    // the focus with that launch's token.
    static void showRequestedWindow(AppState& state, const SingleInstance::Request& request);

    // After the event loop: an end that did not pass through a quit path (the session ended
    // the loop) still writes the history and keeps the drafts.
    void applicationWillTerminate();

private:
    void quitNow();

    QApplication& m_application;
    SingleInstance::Request m_launchRequest;
    std::unique_ptr<SingleInstance> m_instance;
    QString m_historyFilePath;
    std::unique_ptr<HistoryFolderLock> m_historyLock;
    std::unique_ptr<UnsavedDrafts> m_drafts;
    std::unique_ptr<TerminationSignals> m_terminationSignals;
    QPointer<AppState> m_state;
    bool m_quitting = false;
};

} // namespace tolvi
