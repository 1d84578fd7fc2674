#pragma once

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tolvi {

// Pastes clips into the program the user was working in before one of our panels opened: writes
// the clip to the clipboard, activates the destination, waits until it really is in front and
// holds the keyboard focus, and sends Ctrl+V. Also runs the paste queue: several clips pasted one
// after another into the same destination, each released by the user ("Paste Next"), with
// clipboard, destination and the permission to send keystrokes checked again before every step.
// Lives on the main thread.
class PasteService : public QObject {
    Q_OBJECT
public:
    using Pid = qint64;

    // Everything the service asks of the desktop.
    struct Environment {
        std::function<std::optional<Pid>()> frontmostPID;
        std::function<bool(Pid)> isTolvi;
        std::function<bool(Pid)> isRunning;
        // Asks the program to come to the front; false when it cannot.
        std::function<bool(Pid)> activate;
        // Whether we may send keystrokes to other programs.
        std::function<bool()> isTrusted;
        std::function<void()> requestPermission;
        // Ctrl+V to the program in front. Used only when pasteInto is not given.
        std::function<void()> sendPaste;
        // Runs work once on the main thread after the delay.
        std::function<void(double seconds, std::function<void()> work)> schedule;
        // True when the program shows a modal window or dialog; false on any failure.
        std::function<bool(Pid)> destinationHasBlockingDialog;
        // A line naming the process, for the diagnostics report; nothing for no process.
        std::function<std::optional<QString>(std::optional<Pid>)> applicationDescription;

        // The members below may be left unset: frontmostPID and sendPaste then decide alone.
        // A keystroke meant for one program must never reach another, so the live desktop sets
        // them all.

        // The keyboard focus, as the display server has it, is on a window of the program (or on
        // a window inside one of its windows).
        std::function<bool(Pid)> keyboardFocusBelongsTo;
        // Every window of ours that was hidden is unmapped: hiding a focused window makes the
        // window manager hand the focus on, and that must be over before the keystroke.
        std::function<bool()> ownWindowsUnmapped;
        // Ctrl+V, posted only if the keyboard focus belongs to the program at that very moment;
        // false when nothing was posted.
        std::function<bool(Pid)> pasteInto;
        // A window is in front whose program cannot be told apart: a paste must then go nowhere
        // rather than to the last program we knew.
        std::function<bool()> frontmostIsUnidentified;
        // Keystrokes can reach the program (in a Wayland session some windows cannot be typed
        // into); unset: any program can be.
        std::function<bool(Pid)> canTypeInto;
        // Where the messages send the user to make automatic paste possible; unset: the place
        // permissionAreaName() names.
        std::function<QString()> permissionPlace;
        // Added to every message of a paste that left the clip on the clipboard untyped, where
        // the user would otherwise not know what to do next (e.g. "Press Ctrl+V to paste.").
        QString pasteByHandHint;
        // Why activate() just refused the program, when the desktop can say (a window it cannot
        // tell apart from another); empty or unset: the usual message.
        std::function<QString(Pid)> activationRefusal;
    };

    struct PasteQueueStatus {
        enum class Kind { preparing, ready, completed, cancelled, idle };
        Kind kind = Kind::idle;
        int completed = 0;
        int total = 0;
        QString reason;

        static PasteQueueStatus preparing(int completed, int total) { return {Kind::preparing, completed, total, {}}; }
        static PasteQueueStatus ready(int completed, int total) { return {Kind::ready, completed, total, {}}; }
        static PasteQueueStatus completedAll(int total) { return {Kind::completed, 0, total, {}}; }
        static PasteQueueStatus cancelled(QString reason) { return {Kind::cancelled, 0, 0, std::move(reason)}; }
        static PasteQueueStatus idle() { return {}; }

        friend bool operator==(const PasteQueueStatus&, const PasteQueueStatus&) = default;
    };

    struct TargetDiagnostics {
        std::optional<Pid> selectedTargetPID;
        std::optional<QString> selectedTargetApplication;
        std::optional<Pid> frontmostPID;
        std::optional<QString> frontmostApplication;
        friend bool operator==(const TargetDiagnostics&, const TargetDiagnostics&) = default;
    };

    // The place where the permission to send keystrokes comes from, as messages name it.
    static QString permissionAreaName();

    PasteService(Pasteboard& pasteboard, Environment environment, QObject* parent = nullptr);

    // A copied text longer than this (in UTF-16 code units) is encoded for the clipboard on a
    // worker thread and put there once it is ready (a fraction of a second for tens of millions
    // of characters), so Copy never holds up the windows; a shorter one is written at once. A
    // copy that is overtaken meanwhile (another copy or paste of ours, or a copy in another
    // program) is dropped, so the clipboard always ends with the newest copy.
    static constexpr qsizetype encodedInPlaceLimit = 1'000'000;

    const PasteQueueStatus& queueStatus() const { return queueStatus_; }
    const std::optional<QString>& queueDestinationWarning() const { return queueDestinationWarning_; }

    void captureTarget();
    void pasteItem(const ClipboardItem& item);
    void pasteItems(const QList<ClipboardItem>& items);
    void pasteText(const QString& text);
    // Copy: the clip or the text goes on the clipboard as a copy made in this program, which the
    // capture records like any other copy. A paste's writes are no copies.
    void copyItem(const ClipboardItem& item);
    void copyText(const QString& text);
    void pasteNextQueuedItem();
    void cancelPendingPaste(const QString& reason);
    void resetPendingPaste();
    // Called for every program that becomes active.
    void applicationActivated(Pid pid);
    TargetDiagnostics targetDiagnostics() const;

    // For tests and diagnostics.
    std::optional<Pid> targetPID() const { return targetPID_; }
    std::optional<Pid> lastNonTolviPID() const { return lastNonTolviPID_; }
    std::optional<Pid> activeTargetPID() const { return activeTargetPID_; }
    // The clips of the running paste queue and how many of them were pasted.
    const QList<ClipboardItem>& queuedContents() const { return queuedContents_; }
    int completedCount() const { return completedCount_; }

signals:
    void queueStatusChanged(const PasteService::PasteQueueStatus& status);
    void queueDestinationWarningChanged(const std::optional<QString>& warning);

private:
    void beginQueue(const QList<ClipboardItem>& items);
    void preparePaste(Pid destination, qint64 expectedChangeCount);
    void waitForTargetAndPaste(Pid destination, const QUuid& generation, qint64 expectedChangeCount, int attempt);
    std::optional<Pid> validDestination() const;
    // The destination is in front, has the keyboard focus and none of our hidden windows is
    // still mapped. Sets frontIsDestination when at least the first holds.
    bool destinationHasKeyboard(Pid destination, bool* frontIsDestination = nullptr) const;
    // Ctrl+V into the destination; false when nothing was posted.
    bool postPaste(Pid destination);
    // A paste's writes only carry the clip to its destination; Copy's are copies made here.
    bool write(const ClipboardItem& item, Pasteboard::WriteKind kind);
    // Copies a long text clip: encoded off the main thread, written unless overtaken.
    void writeWhenEncoded(const ClipboardItem& item);
    QString needsPermission(const QString& tail) const;
    QString permissionGone() const;
    // The message, followed by the hint for pasting by hand where the environment gives one.
    QString leftOnClipboard(const QString& message) const;
    void setStatus(PasteQueueStatus status);
    void setWarning(std::optional<QString> warning);

    Pasteboard& pasteboard_;
    Environment environment_;
    PasteQueueStatus queueStatus_;
    std::optional<QString> queueDestinationWarning_;
    std::optional<Pid> targetPID_;
    std::optional<Pid> lastNonTolviPID_;
    // The panel opened over a window whose program is unknown: there is no destination.
    bool targetUnidentified_ = false;
    QUuid pasteGeneration_ = QUuid::createUuid();
    // Moves with every write or copy asked for: a long copy still being encoded is overtaken.
    quint64 writeRequests_ = 0;
    std::optional<Pid> activeTargetPID_;
    QList<ClipboardItem> queuedContents_;
    int completedCount_ = 0;
    std::optional<qint64> expectedQueueChangeCount_;
    bool isPreparing_ = false;
};

} // namespace tolvi
