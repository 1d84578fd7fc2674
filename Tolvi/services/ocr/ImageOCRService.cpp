#include "Tolvi/services/ocr/ImageOCRService.h"

#include "Tolvi/services/ocr/OCRHelperSession.h"
#include "ocr-protocol/OCRRasterPolicy.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <cmath>
#include <condition_variable>
#include <pthread.h>
#include <thread>

namespace tolvi::ImageOCRService {

const char* describe(Outcome::Kind kind)
{
    switch (kind) {
    case Outcome::Kind::recognized:
        return "recognized";
    case Outcome::Kind::noText:
        return "noText";
    case Outcome::Kind::failed:
        return "failed";
    case Outcome::Kind::unsupportedImage:
        return "unsupportedImage";
    case Outcome::Kind::timedOut:
        return "timedOut";
    case Outcome::Kind::busy:
        return "busy";
    case Outcome::Kind::cancelled:
        return "cancelled";
    }
    return "failed";
}

// ---------------------------------------------------------------------------------------
// Cancellation

Cancellation::Cancellation(std::optional<std::chrono::steady_clock::time_point> deadline, SteadyClock now)
    : m_deadline(deadline), m_now(std::move(now))
{
}

Cancellation::~Cancellation() = default;

void Cancellation::install(Completion completion)
{
    std::unique_lock guard(m_lock);
    if (m_outcome) {
        const Outcome decided = *m_outcome;
        guard.unlock();
        completion(decided);
        return;
    }
    m_completion = std::move(completion);
}

void Cancellation::installTimer(std::shared_ptr<ScheduledWork> timer)
{
    std::unique_lock guard(m_lock);
    if (m_outcome) {
        guard.unlock();
        timer->cancel();
        return;
    }
    m_timer = std::move(timer);
}

void Cancellation::installStopCallback(std::unique_ptr<std::stop_callback<std::function<void()>>> callback)
{
    std::unique_lock guard(m_lock);
    if (m_outcome) {
        guard.unlock();
        callback.reset(); // outside the lock: it may wait for a callback that is running
        return;
    }
    m_stopCallback = std::move(callback);
}

void Cancellation::finish(Outcome outcome, bool cancelRequest, std::function<void()> beforeResume)
{
    Completion completion;
    std::shared_ptr<ScheduledWork> timer;
    std::function<void()> stopWorker;
    std::unique_ptr<std::stop_callback<std::function<void()>>> stopCallback;
    Outcome decided = outcome;
    {
        std::unique_lock guard(m_lock);
        if (m_outcome) {
            guard.unlock();
            if (beforeResume)
                beforeResume();
            return;
        }
        bool counted = cancelRequest;
        if (!cancelRequest && m_deadline && m_now() >= *m_deadline) {
            decided = Outcome::of(Outcome::Kind::timedOut);
            counted = true;
        }
        m_outcome = decided;
        m_cancellationRequested = counted;
        completion = std::move(m_completion);
        m_completion = nullptr;
        timer = std::move(m_timer);
        if (counted)
            stopWorker = std::move(m_cancelRequest);
        m_cancelRequest = nullptr;
        stopCallback = std::move(m_stopCallback);
    }
    if (timer)
        timer->cancel();
    if (beforeResume)
        beforeResume();
    if (stopWorker)
        stopWorker();
    stopCallback.reset();
    if (completion)
        completion(decided);
}

void Cancellation::expireIfNeeded()
{
    {
        std::lock_guard guard(m_lock);
        if (m_outcome || !m_deadline || m_now() < *m_deadline)
            return;
    }
    finish(Outcome::of(Outcome::Kind::timedOut), true);
}

std::optional<Outcome> Cancellation::outcome() const
{
    std::lock_guard guard(m_lock);
    return m_outcome;
}

bool Cancellation::cancellationRequested() const
{
    std::lock_guard guard(m_lock);
    return m_cancellationRequested;
}

bool Cancellation::installCancelRequest(std::function<void()> cancelRequest)
{
    std::lock_guard guard(m_lock);
    if (!m_outcome)
        m_cancelRequest = std::move(cancelRequest);
    return m_cancellationRequested;
}

// ---------------------------------------------------------------------------------------
// Coordinator

// The dedicated OCR thread: runs one job at a time, handed over through `pending`.
class Coordinator::Worker {
public:
    Worker()
        : m_thread([this] { loop(); })
    {
    }
    ~Worker()
    {
        {
            std::lock_guard guard(m_lock);
            m_stopped = true;
        }
        m_condition.notify_all();
        m_thread.join();
    }

    void execute(std::function<void()> job)
    {
        {
            std::lock_guard guard(m_lock);
            m_pending = std::move(job);
        }
        m_condition.notify_all();
    }

private:
    void loop()
    {
        pthread_setname_np(pthread_self(), "com.tolvi.ocr");
        std::unique_lock guard(m_lock);
        for (;;) {
            m_condition.wait(guard, [this] { return m_pending != nullptr || m_stopped; });
            if (m_pending) {
                std::function<void()> job = std::move(m_pending);
                m_pending = nullptr;
                guard.unlock();
                job();
                job = nullptr;
                guard.lock();
                continue;
            }
            return;
        }
    }

    std::mutex m_lock;
    std::condition_variable m_condition;
    std::function<void()> m_pending;
    bool m_stopped = false;
    std::thread m_thread;
};

namespace {
double sanitisedDeadline(double seconds)
{
    if (!std::isfinite(seconds))
        return Coordinator::defaultDeadlineSeconds;
    return seconds < 0 ? 0 : seconds;
}
} // namespace

Coordinator::Coordinator(double deadlineSeconds, SteadyClock now, DelayedExecutor* timers)
    : m_deadlineSeconds(sanitisedDeadline(deadlineSeconds))
    , m_now(now ? std::move(now) : systemSteadyClock())
    , m_timers(timers ? *timers : UtilityQueue::shared())
    , m_worker(std::make_unique<Worker>())
{
}

Coordinator::~Coordinator() = default;

Coordinator& Coordinator::shared()
{
    // Lives as long as the program; its thread may be blocked in a recognition at exit.
    static auto* coordinator = new Coordinator(defaultDeadlineSeconds);
    return *coordinator;
}

void Coordinator::freeSlot()
{
    std::lock_guard guard(m_lock);
    m_occupied = false;
}

void Coordinator::run(QByteArray data, Operation operation, Completion completion, std::stop_token stop)
{
    const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(m_deadlineSeconds));
    const auto deadline = m_now() + delay;
    auto cancellation = std::make_shared<Cancellation>(deadline, m_now);
    cancellation->install(std::move(completion));

    // The caller's cancel, for as long as the request is undecided. When a stop was already
    // requested the callback runs right here.
    if (stop.stop_possible()) {
        std::weak_ptr<Cancellation> weak = cancellation;
        cancellation->installStopCallback(std::make_unique<std::stop_callback<std::function<void()>>>(
            stop, std::function<void()>([weak] {
                if (auto strong = weak.lock())
                    strong->finish(Outcome::of(Outcome::Kind::cancelled), true);
            })));
    }

    {
        std::unique_lock guard(m_lock);
        if (m_occupied) {
            guard.unlock();
            cancellation->finish(Outcome::of(Outcome::Kind::busy), false);
            return;
        }
        m_occupied = true;
    }
    if (stop.stop_requested())
        cancellation->finish(Outcome::of(Outcome::Kind::cancelled), true);

    std::weak_ptr<Cancellation> weak = cancellation;
    cancellation->installTimer(m_timers.schedule(deadline - m_now(), [weak] {
        if (auto strong = weak.lock())
            strong->finish(Outcome::of(Outcome::Kind::timedOut), true);
    }));

    m_worker->execute([this, cancellation, data = std::move(data), operation = std::move(operation)] {
        cancellation->expireIfNeeded();
        if (cancellation->outcome()) {
            freeSlot();
            return;
        }
        Outcome result = operation(data, *cancellation);
        cancellation->finish(std::move(result), false, [this] { freeSlot(); });
    });
}

// ---------------------------------------------------------------------------------------
// Entry points

OCRHelperSession& helper()
{
    static auto* session = new OCRHelperSession(OCRHelperSession::bundledExecutable());
    return *session;
}

void recognizeOutcome(const QByteArray& data, Coordinator& coordinator, OCRHelperSession& session, QObject* context,
                      std::function<void(Outcome)> completion, std::stop_token stop)
{
    // The outcome is decided on the OCR thread, the timer thread or here; it is posted to the
    // application object and checked against the receiver there, on the main thread.
    QPointer<QObject> receiver(context);
    auto deliver = [receiver, completion = std::move(completion)](const Outcome& outcome) {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application)
            return;
        QMetaObject::invokeMethod(
            application,
            [receiver, completion, outcome] {
                if (receiver)
                    completion(outcome);
            },
            Qt::QueuedConnection);
    };
    if (!OCRRasterPolicy::metadata(data)) {
        deliver(Outcome::of(Outcome::Kind::unsupportedImage));
        return;
    }
    coordinator.run(
        data, [&session](const QByteArray& bytes, Cancellation& cancellation) { return session.recognize(bytes, cancellation); },
        std::move(deliver), std::move(stop));
}

void recognizeOutcome(const QByteArray& data, QObject* context, std::function<void(Outcome)> completion,
                      std::stop_token stop)
{
    recognizeOutcome(data, Coordinator::shared(), helper(), context, std::move(completion), std::move(stop));
}

} // namespace tolvi::ImageOCRService
