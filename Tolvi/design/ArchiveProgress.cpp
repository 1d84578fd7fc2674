#include "Tolvi/design/ArchiveProgress.h"

#include "Tolvi/design/TolviTheme.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace tolvi {

namespace {

constexpr int refreshMs = 50;

} // namespace

ArchiveProgressDialog::ArchiveProgressDialog(const QString& title, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("tolviArchiveProgress"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    // A window of its own: it takes the theme of the window it belongs to.
    if (parent)
        setPalette(TolviTheme::palette(DesignContext::of(parent).appearance));
    auto* layout = new QVBoxLayout(this);
    m_title = new QLabel(title, this);
    m_title->setTextFormat(Qt::PlainText);
    QFont font = m_title->font();
    font.setBold(true);
    m_title->setFont(font);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(320);
    m_bar->setAccessibleName(title);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    layout->addWidget(m_title);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_progress.cancel();
        m_cancel->setEnabled(false);
        m_title->setText(QStringLiteral("Cancelling\u2026"));
    });
}

void ArchiveProgressDialog::setCancellable(bool cancellable)
{
    m_cancel->setVisible(cancellable);
    if (cancellable)
        m_bar->setRange(0, 1000);
    else
        m_bar->setRange(0, 0);
}

void ArchiveProgressDialog::reject()
{
    // Escape and closing the window cancel the job (when it can be cancelled); the sheet goes
    // when the job is over.
    if (m_cancel->isVisible() && m_cancel->isEnabled())
        m_cancel->click();
}

bool ArchiveProgressDialog::showUntilFinished()
{
    if (m_finished)
        return true;
    open();
    QEventLoop loop;
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, this, [this] {
        if (m_bar->maximum() > 0)
            m_bar->setValue(m_progress.permille());
    });
    refresh.start(refreshMs);
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    hide();
    return m_finished;
}

void ArchiveProgressDialog::finish()
{
    m_finished = true;
    hide();
    if (m_loop)
        m_loop->quit();
}

std::exception_ptr ArchiveProgressDialog::run(const std::function<void(JobProgress&)>& work)
{
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work(m_progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    thread->setObjectName(QStringLiteral("tolvi-archive"));
    connect(thread.get(), &QThread::finished, this, &ArchiveProgressDialog::finish);
    thread->start();
    if (!showUntilFinished()) {
        // The program is quitting under the job: stop it, and wait for it to let go.
        m_progress.cancel();
    }
    thread->wait();
    return failure;
}

} // namespace tolvi
