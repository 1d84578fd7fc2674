#include "Tolvi/platform/process/BackgroundLog.h"

#include <QMessageLogContext>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tolvi {

struct BackgroundLog::Shared {
    Shared(int descriptor, Limits limits) : descriptor(descriptor), limits(limits), folding(limits.folding) {}

    const int descriptor;
    const Limits limits;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable written;
    RepeatedLineFolding folding;
    std::vector<QByteArray> pending;
    // Lines dropped from a full queue since the last count of them was queued.
    quint64 lost = 0;
    // Lines taken by the writer and not yet through write().
    std::size_t writing = 0;
    bool closing = false;

    // With the mutex held: queues the count of the lost lines where `room` more lines fit after it.
    void tellLost(std::size_t room)
    {
        if (lost == 0 || pending.size() + room >= limits.pendingLines)
            return;
        pending.push_back("Tolvi lost " + QByteArray::number(lost) + " log lines while nothing read its standard error");
        lost = 0;
    }

    // With the mutex held.
    void enqueue(QByteArray line)
    {
        tellLost(1);
        if (pending.size() >= limits.pendingLines) {
            ++lost;
            return;
        }
        pending.push_back(std::move(line));
    }

    void enqueueEnded(const std::vector<RepeatedLineFolding::Folded>& ended)
    {
        const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(folding.window()).count();
        for (const RepeatedLineFolding::Folded& folded : ended)
            enqueue(folded.kind.toUtf8() + " (repeated " + QByteArray::number(folded.count) + " more times within "
                    + QByteArray::number(seconds) + " s)");
    }

    bool idle() const { return pending.empty() && writing == 0 && lost == 0; }

    // Waits until the whole text went out; a descriptor that fails for good (its reader has
    // gone) loses it.
    void writeOut(const QByteArray& text) const
    {
        const char* data = text.constData();
        qsizetype left = text.size();
        while (left > 0) {
            const ssize_t n = ::write(descriptor, data, size_t(left));
            if (n > 0) {
                data += n;
                left -= n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                // Someone made the descriptor non-blocking; this thread may wait.
                pollfd out{descriptor, POLLOUT, 0};
                ::poll(&out, 1, -1);
            } else {
                return;
            }
        }
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            enqueueEnded(folding.takeEnded(RepeatedLineFolding::Clock::now()));
            if (pending.empty())
                tellLost(0);
            if (pending.empty()) {
                written.notify_all();
                if (closing)
                    return;
                if (const std::optional<RepeatedLineFolding::Clock::time_point> next = folding.nextEnd())
                    wake.wait_until(lock, *next);
                else
                    wake.wait(lock);
                continue;
            }
            std::vector<QByteArray> batch;
            batch.swap(pending);
            writing = batch.size();
            lock.unlock();
            QByteArray text;
            for (const QByteArray& line : batch)
                text += line + '\n';
            writeOut(text);
            lock.lock();
            writing = 0;
        }
    }
};

BackgroundLog::BackgroundLog(int descriptor, Limits limits) : shared_(std::make_shared<Shared>(descriptor, limits))
{
    // The writer takes no signal: a termination signal goes to a thread that acts on it, and a
    // reader that went away fails the write instead of ending the program.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread([shared = shared_] { shared->run(); }).detach();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

BackgroundLog::~BackgroundLog()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->closing = true;
    shared_->wake.notify_one();
}

void BackgroundLog::post(const QString& kind, QByteArray line)
{
    if (line.size() > shared_->limits.lineBytes) {
        qsizetype cut = shared_->limits.lineBytes;
        while (cut > 0 && (uchar(line.at(cut)) & 0xC0) == 0x80)
            --cut;  // not inside a character
        line.truncate(cut);
    }
    const RepeatedLineFolding::Clock::time_point now = RepeatedLineFolding::Clock::now();
    {
        const std::lock_guard lock(shared_->mutex);
        std::vector<RepeatedLineFolding::Folded> ended;
        const bool admitted = shared_->folding.admit(kind, now, ended);
        shared_->enqueueEnded(ended);
        if (admitted)
            shared_->enqueue(std::move(line));
    }
    shared_->wake.notify_one();
}

bool BackgroundLog::waitUntilWritten(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(shared_->mutex);
    shared_->wake.notify_one();
    return shared_->written.wait_for(lock, timeout, [this] { return shared_->idle(); });
}

namespace {

std::atomic<BackgroundLog*> g_programLog{nullptr};

void writeProgramMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    BackgroundLog* log = g_programLog.load();
    if (!log)
        return;
    // What Qt's own format shows without a pattern: lines of one category and text are alike.
    const bool named = context.category && std::strcmp(context.category, "default") != 0;
    const QString kind = named ? QLatin1String(context.category) + QLatin1String(": ") + message : message;
    log->post(kind, qFormatLogMessage(type, context, message).toUtf8());
    if (type == QtFatalMsg)
        log->waitUntilWritten(std::chrono::seconds(1));  // the program aborts next
}

} // namespace

void BackgroundLog::installForProgram()
{
    if (g_programLog.load())
        return;
    // Never deleted: messages logged while the program's statics go are still taken.
    g_programLog.store(new BackgroundLog(STDERR_FILENO));
    qInstallMessageHandler(writeProgramMessage);
}

void BackgroundLog::finishProgram(std::chrono::milliseconds timeout)
{
    if (BackgroundLog* log = g_programLog.load())
        log->waitUntilWritten(timeout);
}

} // namespace tolvi
