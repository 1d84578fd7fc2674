#include "Tolvi/services/paste/PasteService.h"

#include "Tolvi/services/capture/ClipboardPasteboardWriter.h"

#include "Tolvi/platform/pasteboard/Pasteboard.h"

#include "TolviCore/concurrency/ApplicationThreadPool.h"
#include "TolviCore/paste/ClipboardBatchPaste.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

namespace tolvi {

namespace {

constexpr int maximumActivationRetries = 12;
constexpr double activationRetryDelay = 0.08;

const QString copyFailed = QStringLiteral("This clip could not be copied. A referenced file may no longer be available.");
const QString cannotType = QStringLiteral("Tolvi cannot type into this app in this session. ");
const QString noKeyboardFocus =
    QStringLiteral("The destination app did not take the keyboard focus. The item remains on the clipboard.");
// A queue step that gave up before writing its item: the clipboard still holds what it held.
const QString noKeyboardFocusBeforeWrite =
    QStringLiteral("The destination app did not take the keyboard focus. Paste was cancelled.");

// The thread that encodes long copied texts. Not Qt's global pool, which the main thread waits
// on whenever it paints a large area.
QThreadPool& encodingPool()
{
    static ApplicationThreadPool encoding(1);
    return encoding.pool();
}

// A text clip (not a list of files) too long to encode for the clipboard on the main thread.
bool isLongText(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    const std::optional<ClipboardOriginalPayload>& payload = item.originalPayload();
    return text && text->size() > PasteService::encodedInPlaceLimit && !(payload && !payload->fileURLs().isEmpty());
}

} // namespace

QString PasteService::permissionAreaName()
{
    // Keystrokes reach other programs only through the XTEST extension of an X11 display;
    // a Wayland session offers no such right to an X11 client.
    return QStringLiteral("an X11 session with XTEST");
}

QString PasteService::needsPermission(const QString& tail) const
{
    const QString place = environment_.permissionPlace ? environment_.permissionPlace() : permissionAreaName();
    return QStringLiteral("Automatic paste needs permission in ") + place + QStringLiteral(". ") + tail;
}

QString PasteService::permissionGone() const
{
    const QString place = environment_.permissionPlace ? environment_.permissionPlace() : permissionAreaName();
    return QStringLiteral("Automatic paste permission in ") + place + QStringLiteral(" is no longer available.");
}

QString PasteService::leftOnClipboard(const QString& message) const
{
    if (environment_.pasteByHandHint.isEmpty())
        return message;
    return message + QLatin1Char(' ') + environment_.pasteByHandHint;
}

PasteService::PasteService(Pasteboard& pasteboard, Environment environment, QObject* parent)
    : QObject(parent), pasteboard_(pasteboard), environment_(std::move(environment))
{
}

void PasteService::setStatus(PasteQueueStatus status)
{
    queueStatus_ = std::move(status);
    emit queueStatusChanged(queueStatus_);
}

void PasteService::setWarning(std::optional<QString> warning)
{
    queueDestinationWarning_ = std::move(warning);
    emit queueDestinationWarningChanged(queueDestinationWarning_);
}

bool PasteService::write(const ClipboardItem& item, Pasteboard::WriteKind kind)
{
    ++writeRequests_;
    return ClipboardPasteboardWriter::write(item, pasteboard_, kind);
}

void PasteService::writeWhenEncoded(const ClipboardItem& item)
{
    const quint64 request = ++writeRequests_;
    const qint64 changeCount = pasteboard_.changeCount();
    QPointer<PasteService> self(this);
    encodingPool().start([self, request, changeCount, item] {
        std::optional<PasteboardItem> encoded = ClipboardPasteboardWriter::textItem(item);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, request, changeCount, encoded = std::move(encoded)] {
                if (!self || self->writeRequests_ != request || self->pasteboard_.changeCount() != changeCount)
                    return;
                if (!encoded || !self->pasteboard_.write({*encoded}, Pasteboard::WriteKind::copy))
                    self->setStatus(PasteQueueStatus::cancelled(copyFailed));
            },
            Qt::QueuedConnection);
    });
}

void PasteService::resetPendingPaste()
{
    pasteGeneration_ = QUuid::createUuid();
    activeTargetPID_.reset();
    queuedContents_.clear();
    completedCount_ = 0;
    expectedQueueChangeCount_.reset();
    isPreparing_ = false;
    setWarning(std::nullopt);
    setStatus(PasteQueueStatus::idle());
}

void PasteService::cancelPendingPaste(const QString& reason)
{
    const bool pending = activeTargetPID_.has_value() || !queuedContents_.isEmpty();
    resetPendingPaste();
    if (pending)
        setStatus(PasteQueueStatus::cancelled(reason));
}

void PasteService::captureTarget()
{
    const std::optional<Pid> front = environment_.frontmostPID();
    targetUnidentified_ = false;
    if (front && !environment_.isTolvi(*front)) {
        targetPID_ = front;
        lastNonTolviPID_ = front;
    } else if (!front && environment_.frontmostIsUnidentified && environment_.frontmostIsUnidentified()) {
        // The user is in a program we cannot name: the clip is for that one, not for the last
        // program we knew.
        targetPID_.reset();
        targetUnidentified_ = true;
    } else {
        targetPID_ = lastNonTolviPID_;
    }
}

std::optional<PasteService::Pid> PasteService::validDestination() const
{
    if (targetUnidentified_)
        return std::nullopt;
    const std::optional<Pid> destination = targetPID_ ? targetPID_ : lastNonTolviPID_;
    if (!destination || environment_.isTolvi(*destination) || !environment_.isRunning(*destination))
        return std::nullopt;
    return destination;
}

void PasteService::pasteItem(const ClipboardItem& item)
{
    resetPendingPaste();
    if (!write(item, Pasteboard::WriteKind::paste)) {
        setStatus(PasteQueueStatus::cancelled(copyFailed));
        return;
    }
    if (!environment_.isTrusted()) {
        setStatus(PasteQueueStatus::cancelled(
            leftOnClipboard(needsPermission(QStringLiteral("The item was copied to the clipboard.")))));
        environment_.requestPermission();
        return;
    }
    const std::optional<Pid> destination = validDestination();
    if (!destination) {
        setStatus(PasteQueueStatus::cancelled(
            leftOnClipboard(QStringLiteral("The destination app is no longer available. The item remains on the clipboard."))));
        return;
    }
    if (environment_.canTypeInto && !environment_.canTypeInto(*destination)) {
        setStatus(PasteQueueStatus::cancelled(leftOnClipboard(cannotType + QStringLiteral("The item was copied to the clipboard."))));
        return;
    }
    preparePaste(*destination, pasteboard_.changeCount());
}

void PasteService::pasteText(const QString& text)
{
    pasteItem(ClipboardItem(text));
}

void PasteService::copyItem(const ClipboardItem& item)
{
    resetPendingPaste();
    if (isLongText(item)) {
        writeWhenEncoded(item);
        return;
    }
    if (!write(item, Pasteboard::WriteKind::copy))
        setStatus(PasteQueueStatus::cancelled(copyFailed));
}

void PasteService::copyText(const QString& text)
{
    resetPendingPaste();
    if (text.size() > encodedInPlaceLimit) {
        writeWhenEncoded(ClipboardItem(text));
        return;
    }
    ++writeRequests_;
    ClipboardPasteboardWriter::writeText(text, pasteboard_, Pasteboard::WriteKind::copy);
}

void PasteService::pasteItems(const QList<ClipboardItem>& items)
{
    // Clips with kept representations go one by one, so each keeps its own.
    if (std::any_of(items.cbegin(), items.cend(), [](const ClipboardItem& item) { return item.originalPayload(); })) {
        beginQueue(items);
        return;
    }
    const ClipboardBatchPayload payload = ClipboardBatchPaste::payload(items);
    switch (payload.kind()) {
    case ClipboardBatchPayload::Kind::text:
        pasteText(payload.joinedText());
        break;
    case ClipboardBatchPayload::Kind::images:
    case ClipboardBatchPayload::Kind::mixed:
        beginQueue(items);
        break;
    case ClipboardBatchPayload::Kind::empty:
        break;
    }
}

void PasteService::beginQueue(const QList<ClipboardItem>& items)
{
    resetPendingPaste();
    if (items.isEmpty())
        return;
    if (!environment_.isTrusted()) {
        const bool written = write(items.constFirst(), Pasteboard::WriteKind::paste);
        setStatus(PasteQueueStatus::cancelled(
            written ? leftOnClipboard(needsPermission(QStringLiteral("The first item was copied to the clipboard.")))
                    : needsPermission(
                          QStringLiteral("The first item could not be copied; a referenced file may be unavailable."))));
        environment_.requestPermission();
        return;
    }
    const std::optional<Pid> destination = validDestination();
    if (!destination) {
        setStatus(PasteQueueStatus::cancelled(QStringLiteral("The destination app is no longer available.")));
        return;
    }
    if (environment_.canTypeInto && !environment_.canTypeInto(*destination)) {
        const bool written = write(items.constFirst(), Pasteboard::WriteKind::paste);
        setStatus(PasteQueueStatus::cancelled(
            written ? leftOnClipboard(cannotType + QStringLiteral("The first item was copied to the clipboard."))
                    : cannotType + QStringLiteral("The first item could not be copied; a referenced file may be unavailable.")));
        return;
    }
    queuedContents_ = items;
    activeTargetPID_ = destination;
    const qint64 changeCount = pasteboard_.changeCount();
    expectedQueueChangeCount_ = changeCount;
    preparePaste(*destination, changeCount);
}

void PasteService::preparePaste(Pid destination, qint64 expectedChangeCount)
{
    activeTargetPID_ = destination;
    isPreparing_ = true;
    setWarning(std::nullopt);
    if (!queuedContents_.isEmpty())
        setStatus(PasteQueueStatus::preparing(completedCount_, int(queuedContents_.size())));
    const QUuid generation = pasteGeneration_;
    if (!environment_.activate(destination)) {
        QString reason = environment_.activationRefusal ? environment_.activationRefusal(destination) : QString();
        if (reason.isEmpty())
            reason = QStringLiteral("The destination app could not be activated.");
        cancelPendingPaste(leftOnClipboard(reason));
        return;
    }
    waitForTargetAndPaste(destination, generation, expectedChangeCount, 0);
}

void PasteService::waitForTargetAndPaste(Pid destination, const QUuid& generation, qint64 expectedChangeCount,
                                         int attempt)
{
    if (generation != pasteGeneration_)
        return;
    if (!environment_.isTrusted()) {
        cancelPendingPaste(permissionGone());
        return;
    }
    if (!environment_.isRunning(destination)) {
        cancelPendingPaste(QStringLiteral("The destination app closed."));
        return;
    }
    if (pasteboard_.changeCount() != expectedChangeCount) {
        cancelPendingPaste(QStringLiteral("The clipboard changed. Paste was cancelled."));
        return;
    }
    bool frontIsDestination = false;
    if (!destinationHasKeyboard(destination, &frontIsDestination)) {
        if (attempt < maximumActivationRetries) {
            QPointer<PasteService> self(this);
            environment_.schedule(activationRetryDelay, [self, destination, generation, expectedChangeCount, attempt] {
                if (self)
                    self->waitForTargetAndPaste(destination, generation, expectedChangeCount, attempt + 1);
            });
        } else if (frontIsDestination) {
            // A single paste wrote its clip before it began; a queue step writes only now.
            cancelPendingPaste(queuedContents_.isEmpty() ? leftOnClipboard(noKeyboardFocus) : noKeyboardFocusBeforeWrite);
        } else {
            cancelPendingPaste(leftOnClipboard(QStringLiteral("The destination app did not activate. Paste was cancelled.")));
        }
        return;
    }

    if (queuedContents_.isEmpty()) {
        if (!postPaste(destination)) {
            cancelPendingPaste(leftOnClipboard(noKeyboardFocus));
            return;
        }
        isPreparing_ = false;
        activeTargetPID_.reset();
        return;
    }

    if (completedCount_ > 0) {
        // The probe may take a while; everything is checked again after it.
        const bool dialog = environment_.destinationHasBlockingDialog(destination);
        if (generation != pasteGeneration_ || !isPreparing_)
            return;
        if (!environment_.isTrusted() || !environment_.isRunning(destination) || !destinationHasKeyboard(destination)) {
            cancelPendingPaste(QStringLiteral("The destination app or automatic paste permission changed."));
            return;
        }
        if (pasteboard_.changeCount() != expectedChangeCount) {
            cancelPendingPaste(QStringLiteral("The clipboard changed. Start a new paste queue."));
            return;
        }
        if (dialog) {
            isPreparing_ = false;
            setWarning(QStringLiteral("Finish the dialog in the destination app, then choose Paste Next."));
            setStatus(PasteQueueStatus::ready(completedCount_, int(queuedContents_.size())));
            return;
        }
    }

    if (completedCount_ >= queuedContents_.size() ||
        !write(queuedContents_.at(completedCount_), Pasteboard::WriteKind::paste)) {
        cancelPendingPaste(QStringLiteral("The next item could not be copied to the clipboard."));
        return;
    }
    if (!postPaste(destination)) {
        cancelPendingPaste(leftOnClipboard(noKeyboardFocus));
        return;
    }
    isPreparing_ = false;
    ++completedCount_;
    expectedQueueChangeCount_ = pasteboard_.changeCount();
    const int total = int(queuedContents_.size());
    if (completedCount_ == total) {
        resetPendingPaste();
        setStatus(PasteQueueStatus::completedAll(total));
    } else {
        setStatus(PasteQueueStatus::ready(completedCount_, total));
    }
}

bool PasteService::destinationHasKeyboard(Pid destination, bool* frontIsDestination) const
{
    const std::optional<Pid> front = environment_.frontmostPID();
    const bool inFront = front && *front == destination;
    if (frontIsDestination)
        *frontIsDestination = inFront;
    if (!inFront)
        return false;
    // Being the active program is not enough: the focus can still be on its way (a window
    // manager handing it back from a panel we just hid), or with a program that only looks
    // active.
    if (environment_.ownWindowsUnmapped && !environment_.ownWindowsUnmapped())
        return false;
    return !environment_.keyboardFocusBelongsTo || environment_.keyboardFocusBelongsTo(destination);
}

bool PasteService::postPaste(Pid destination)
{
    if (environment_.pasteInto)
        return environment_.pasteInto(destination);
    if (!environment_.sendPaste)
        return false;
    environment_.sendPaste();
    return true;
}

void PasteService::pasteNextQueuedItem()
{
    if (queuedContents_.isEmpty() || isPreparing_ || !activeTargetPID_ || !expectedQueueChangeCount_)
        return;
    const Pid destination = *activeTargetPID_;
    if (!environment_.isTrusted()) {
        cancelPendingPaste(permissionGone());
        return;
    }
    if (!environment_.isRunning(destination)) {
        cancelPendingPaste(QStringLiteral("The destination app changed."));
        return;
    }
    const std::optional<Pid> front = environment_.frontmostPID();
    // Paste Next is chosen in our own menu or notice, so we may be in front. With nothing in front
    // the focus is on its way from the menu or notice that just closed: no other program took it.
    // The paste itself waits until the destination has the keyboard.
    if (front && *front != destination && !environment_.isTolvi(*front)) {
        cancelPendingPaste(QStringLiteral("The destination app changed."));
        return;
    }
    if (pasteboard_.changeCount() != *expectedQueueChangeCount_) {
        cancelPendingPaste(QStringLiteral("The clipboard changed. Start a new paste queue."));
        return;
    }
    preparePaste(destination, *expectedQueueChangeCount_);
}

void PasteService::applicationActivated(Pid pid)
{
    const bool isTolvi = environment_.isTolvi(pid);
    if (activeTargetPID_ && *activeTargetPID_ != pid && !isTolvi)
        cancelPendingPaste(QStringLiteral("The destination app changed."));
    if (!isTolvi && environment_.isRunning(pid)) {
        lastNonTolviPID_ = pid;
        // A program we know came to the front after the unknown one.
        targetUnidentified_ = false;
    }
}

PasteService::TargetDiagnostics PasteService::targetDiagnostics() const
{
    TargetDiagnostics diagnostics;
    if (activeTargetPID_)
        diagnostics.selectedTargetPID = activeTargetPID_;
    else if (!targetUnidentified_)
        diagnostics.selectedTargetPID = targetPID_ ? targetPID_ : lastNonTolviPID_;
    diagnostics.frontmostPID = environment_.frontmostPID();
    if (environment_.applicationDescription) {
        diagnostics.selectedTargetApplication = environment_.applicationDescription(diagnostics.selectedTargetPID);
        diagnostics.frontmostApplication = environment_.applicationDescription(diagnostics.frontmostPID);
    }
    return diagnostics;
}

} // namespace tolvi
