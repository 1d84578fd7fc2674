#pragma once

// The app's entry point for recognising the text of one image.
//
// The Coordinator lets exactly one recognition run at a time in the whole program and
// answers a second request at once with busy, bounds every recognition by a deadline, honours
// the caller's cancellation, and runs the blocking work on one dedicated thread
// ("com.tolvi.ocr"). A request's Cancellation is where the four things that can end it meet
// (the result, the deadline, the caller's cancel, a refusal as busy): the first decides the
// outcome, later ones are dropped, and the completion runs exactly once.

#include "Tolvi/services/ocr/DelayedExecutor.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace tolvi {

class OCRHelperSession;

namespace ImageOCRService {

struct Outcome {
    enum class Kind {
        recognized,       // text found (text holds it, as the worker sent it)
        noText,           // recognition ran and found no text
        failed,           // the worker could not be found, started, fed or understood, or failed
        unsupportedImage, // the raster policy refused the bytes (here or in the worker)
        timedOut,         // the deadline passed before a result was accepted
        busy,             // another recognition was running; nothing was done
        cancelled,        // the caller cancelled the request
    };

    Kind kind = Kind::failed;
    QString text; // only with recognized

    static Outcome recognized(QString text) { return {Kind::recognized, std::move(text)}; }
    static Outcome of(Kind kind) { return {kind, QString()}; }

    friend bool operator==(const Outcome& a, const Outcome& b)
    {
        return a.kind == b.kind && (a.kind != Kind::recognized || a.text == b.text);
    }
};

const char* describe(Outcome::Kind kind);

using Completion = std::function<void(const Outcome&)>;

// One request's meeting point. Thread-safe; its lock is never held while a closure runs.
class Cancellation : public std::enable_shared_from_this<Cancellation> {
public:
    Cancellation(std::optional<std::chrono::steady_clock::time_point> deadline, SteadyClock now);
    ~Cancellation();

    // Stores the completion; runs it at once when the outcome is already decided.
    void install(Completion completion);
    // Stores the deadline work; cancels it at once when the outcome is already decided.
    void installTimer(std::shared_ptr<ScheduledWork> timer);
    // Keeps the caller's stop callback for as long as the request is undecided.
    void installStopCallback(std::unique_ptr<std::stop_callback<std::function<void()>>> callback);

    // Decides the outcome unless one is decided already (then only beforeResume runs).
    // cancelRequest: the outcome comes from a cancel or the deadline, and the worker's
    // stop closure is called. A result that arrives at or after the deadline becomes timedOut.
    void finish(Outcome outcome, bool cancelRequest, std::function<void()> beforeResume = {});
    // Decides timedOut when the deadline has passed and nothing is decided yet.
    void expireIfNeeded();

    std::optional<Outcome> outcome() const;
    bool cancellationRequested() const;

    // For the worker process handle: when nothing is decided yet, stores the closure that
    // stops the worker for this request (called by a later cancel or deadline). Returns
    // whether a cancel has already been requested.
    bool installCancelRequest(std::function<void()> cancelRequest);

private:
    mutable std::mutex m_lock;
    const std::optional<std::chrono::steady_clock::time_point> m_deadline;
    const SteadyClock m_now;
    std::optional<Outcome> m_outcome;
    Completion m_completion;
    std::shared_ptr<ScheduledWork> m_timer;
    std::function<void()> m_cancelRequest;
    std::unique_ptr<std::stop_callback<std::function<void()>>> m_stopCallback;
    bool m_cancellationRequested = false;
};

class Coordinator {
public:
    // The blocking recognition; runs on the OCR thread and must be safe to call there.
    using Operation = std::function<Outcome(const QByteArray& data, Cancellation& cancellation)>;

    static constexpr double defaultDeadlineSeconds = 60.0;

    // A deadline that is not finite becomes 60 s; a negative one becomes 0.
    explicit Coordinator(double deadlineSeconds = defaultDeadlineSeconds, SteadyClock now = systemSteadyClock(),
                         DelayedExecutor* timers = nullptr);
    ~Coordinator();
    Coordinator(const Coordinator&) = delete;
    Coordinator& operator=(const Coordinator&) = delete;

    // Runs `operation` on the OCR thread under the rules above. `completion` runs exactly
    // once, on whichever thread decided the outcome (the caller's for busy). Requesting a stop
    // through `stop` cancels the request.
    void run(QByteArray data, Operation operation, Completion completion, std::stop_token stop = {});

    double deadlineSeconds() const { return m_deadlineSeconds; }

    // The program-wide coordinator: 60 s deadline, the system's steady clock.
    static Coordinator& shared();

private:
    class Worker;
    void freeSlot();

    std::mutex m_lock;
    bool m_occupied = false;
    const double m_deadlineSeconds;
    const SteadyClock m_now;
    DelayedExecutor& m_timers;
    std::unique_ptr<Worker> m_worker;
};

// The shared worker process handle: the worker beside the app's own executable, no arguments.
OCRHelperSession& helper();

// Recognises the text of one image and hands the outcome to `completion` on the main thread
// (a queued call through the application object); nothing is delivered when `context` is
// gone by then. `context` must live on the main thread.
// Bytes the raster policy refuses give unsupportedImage without involving the coordinator.
void recognizeOutcome(const QByteArray& data, QObject* context, std::function<void(Outcome)> completion,
                      std::stop_token stop = {});
// The same with a given coordinator and worker process handle.
void recognizeOutcome(const QByteArray& data, Coordinator& coordinator, OCRHelperSession& session, QObject* context,
                      std::function<void(Outcome)> completion, std::stop_token stop = {});

} // namespace ImageOCRService
} // namespace tolvi
