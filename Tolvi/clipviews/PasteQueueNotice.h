#pragma once

#include "Tolvi/clipviews/SpokenNotice.h"
#include "Tolvi/services/paste/PasteService.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QPushButton;

namespace tolvi {

class FirstFittingArrangement;
class TolviPrimaryButton;

// The band that shows what the paste service does with a paste of several steps and lets the
// user drive it: "Preparing paste…" while an item is being sent, the remaining count with
// "Paste Next" while the queue waits, "Paste stopped" with the service's reason after it
// stopped. Every change is spoken through an announcement element.
//
// The notice keeps no state of its own: it renders the service's queue status and destination
// warning, once per turn of the event loop after the service published a change (so the reset
// a service publishes on its way to a new status never reaches the screen or the speech). While
// it has nothing to show (no paste pending, a finished queue) it hides itself; a finished
// queue is still spoken before it hides. A host that must keep it off screen for reasons of
// its own hides the notice's container, not the notice.
class PasteQueueNotice : public SpokenNotice {
    Q_OBJECT
public:
    using Status = PasteService::PasteQueueStatus;

    enum class Band { none, preparing, waiting, stopped };

    // beforePaste runs before every "Paste Next", before the service is asked to paste (the
    // history window closes itself there so the destination comes to the front).
    PasteQueueNotice(PasteService& service, std::function<void()> beforePaste, QWidget* parent = nullptr);
    ~PasteQueueNotice() override;

    // The band shown for the status rendered last.
    Band band() const { return m_band; }

    // The two numbers a waiting queue shows: never negative, never beyond the total.
    static int remainingCount(int completed, int total);
    static int nextItemNumber(int completed, int total);
    // The spoken message for a status; nothing for idle.
    static std::optional<QString> announcement(const Status& status, const std::optional<QString>& warning);

    // The controls of the band shown; null while that band is not shown.
    QPushButton* pasteNextButton() const;
    QPushButton* cancelButton() const;
    QAbstractButton* dismissButton() const;

private:
    void scheduleRender();
    void render();
    void showBand(Band band);
    void placeWaitingPieces(int arrangement);
    void pasteNext();
    void cancelQueue();
    void dismiss();

    QPointer<PasteService> m_service;
    std::function<void()> m_beforePaste;
    Band m_band = Band::none;
    bool m_renderPending = false;

    QWidget* m_preparingBand = nullptr;
    QLabel* m_preparingCount = nullptr;
    QPushButton* m_preparingCancel = nullptr;

    QWidget* m_waitingBand = nullptr;
    FirstFittingArrangement* m_arrangement = nullptr;
    QWidget* m_summary = nullptr;
    QLabel* m_remaining = nullptr;
    QLabel* m_sent = nullptr;
    QWidget* m_actions = nullptr;
    TolviPrimaryButton* m_pasteNext = nullptr;
    QPushButton* m_waitingCancel = nullptr;
    QWidget* m_warningLine = nullptr;
    QLabel* m_warning = nullptr;

    QWidget* m_stoppedBand = nullptr;
    QLabel* m_stoppedText = nullptr;
    QLabel* m_reason = nullptr;
    QAbstractButton* m_dismiss = nullptr;
};

} // namespace tolvi
