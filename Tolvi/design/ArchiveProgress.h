#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>

class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tolvi {

// What a long archive job shares with the window that shows it: how far it is (written on the
// job's thread) and whether the user asked it to stop.
class JobProgress {
public:
    void report(double fraction) { m_permille.store(static_cast<int>(fraction * 1000)); }
    int permille() const { return m_permille.load(); }
    void cancel() { m_cancelled.store(true); }
    bool isCancelled() const { return m_cancelled.load(); }
    // For ClipboardHistoryArchive's progress callbacks: reports, and tells whether to go on.
    bool reportAndContinue(double fraction)
    {
        report(fraction);
        return !isCancelled();
    }

private:
    std::atomic<int> m_permille{0};
    std::atomic<bool> m_cancelled{false};
};

// A window-modal sheet over the window that started an archive job: a title, a bar and (while
// the job can stop) a Cancel button. The main thread goes on with its events meanwhile.
class ArchiveProgressDialog : public QDialog {
    Q_OBJECT
public:
    ArchiveProgressDialog(const QString& title, QWidget* parent);

    JobProgress& progress() { return m_progress; }
    // No cancelling: the bar shows the job as under way without a measure.
    void setCancellable(bool cancellable);

    // Shows the sheet and runs the event loop until finish() is called, then hides it. Gives false
    // when the loop was ended from outside (the program quits) before that.
    bool showUntilFinished();
    // Ends showUntilFinished() at once, before any other event is handled.
    void finish();

    // Runs `work` on a thread of its own while the sheet shows; returns once it is over, with
    // what it threw (nullptr when it ran through). Should the program quit meanwhile, the job is
    // asked to stop and waited for.
    std::exception_ptr run(const std::function<void(JobProgress&)>& work);

    QPushButton* cancelButton() const { return m_cancel; }
    QProgressBar* bar() const { return m_bar; }

protected:
    void reject() override;

private:
    JobProgress m_progress;
    bool m_finished = false;
    QEventLoop* m_loop = nullptr;
    QLabel* m_title = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace tolvi
