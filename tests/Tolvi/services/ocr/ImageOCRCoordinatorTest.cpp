// The single-flight coordinator with a manual clock and hand-fired deadline timers.

#include "Tolvi/services/ocr/ImageOCRService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <limits>
#include <thread>

using namespace tolvi;
using namespace tolvi::ImageOCRService;
using Kind = Outcome::Kind;
using namespace std::chrono_literals;

namespace {

class ManualClock {
public:
    std::chrono::steady_clock::time_point now() const
    {
        return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(m_nanoseconds.load()));
    }
    void advance(std::chrono::nanoseconds by) { m_nanoseconds += by.count(); }
    SteadyClock function()
    {
        return [this] { return now(); };
    }

private:
    std::atomic<long long> m_nanoseconds{1'000'000'000};
};

class ManualExecutor final : public DelayedExecutor {
public:
    std::shared_ptr<ScheduledWork> schedule(std::chrono::nanoseconds delay, std::function<void()> work) override
    {
        auto item = std::make_shared<ScheduledWork>(std::move(work));
        std::lock_guard guard(m_lock);
        m_items.push_back({delay, item});
        return item;
    }
    std::chrono::nanoseconds lastDelay()
    {
        std::lock_guard guard(m_lock);
        return m_items.empty() ? -1ns : m_items.back().first;
    }
    // Runs every scheduled item that is still live.
    void fireAll()
    {
        std::vector<std::shared_ptr<ScheduledWork>> items;
        {
            std::lock_guard guard(m_lock);
            for (auto& entry : m_items)
                items.push_back(entry.second);
            m_items.clear();
        }
        for (auto& item : items)
            item->run();
    }
    bool allCancelled()
    {
        std::lock_guard guard(m_lock);
        for (auto& entry : m_items) {
            if (!entry.second->isCancelled())
                return false;
        }
        return true;
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<std::chrono::nanoseconds, std::shared_ptr<ScheduledWork>>> m_items;
};

// Collects the completions of one request.
class Result {
public:
    Completion completion()
    {
        return [this](const Outcome& outcome) {
            std::lock_guard guard(m_lock);
            m_outcomes.push_back(outcome);
            m_changed.notify_all();
        };
    }
    Outcome wait()
    {
        std::unique_lock guard(m_lock);
        m_changed.wait_for(guard, 10s, [this] { return !m_outcomes.empty(); });
        return m_outcomes.empty() ? Outcome::of(Kind::failed) : m_outcomes.front();
    }
    size_t count()
    {
        std::lock_guard guard(m_lock);
        return m_outcomes.size();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Outcome> m_outcomes;
};

// An operation that blocks until released and reports what it saw.
class BlockingOperation {
public:
    Coordinator::Operation operation(Outcome result)
    {
        return [this, result](const QByteArray&, Cancellation& cancellation) {
            cancellation.installCancelRequest([this] { m_stopRequests++; });
            m_started.set_value();
            m_release.get_future().wait();
            m_ran = true;
            return result;
        };
    }
    void waitStarted() { m_startedFuture.wait(); }
    void release() { m_release.set_value(); }
    int stopRequests() const { return m_stopRequests.load(); }

private:
    std::promise<void> m_started;
    std::shared_future<void> m_startedFuture = m_started.get_future().share();
    std::promise<void> m_release;
    std::atomic<int> m_stopRequests{0};
    std::atomic<bool> m_ran{false};
};

Coordinator::Operation immediate(Outcome result, std::atomic<int>* calls = nullptr)
{
    return [result, calls](const QByteArray&, Cancellation&) {
        if (calls)
            ++*calls;
        return result;
    };
}

// Requests until one is not answered busy (the previous job frees the slot shortly).
Outcome runWhenFree(Coordinator& coordinator, Coordinator::Operation operation)
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        Result result;
        coordinator.run("x", operation, result.completion());
        const Outcome outcome = result.wait();
        if (outcome.kind != Kind::busy)
            return outcome;
        std::this_thread::sleep_for(5ms);
    }
    return Outcome::of(Kind::busy);
}

} // namespace

TEST(ImageOCROutcome, Equality)
{
    EXPECT_EQ(Outcome::recognized("a"), Outcome::recognized("a"));
    EXPECT_NE(Outcome::recognized("a"), Outcome::recognized("b"));
    EXPECT_NE(Outcome::of(Kind::noText), Outcome::of(Kind::failed));
}

TEST(ImageOCRCoordinator, DeadlineIsSanitised)
{
    ManualExecutor timers;
    EXPECT_EQ(Coordinator(std::numeric_limits<double>::infinity(), {}, &timers).deadlineSeconds(), 60.0);
    EXPECT_EQ(Coordinator(std::numeric_limits<double>::quiet_NaN(), {}, &timers).deadlineSeconds(), 60.0);
    EXPECT_EQ(Coordinator(-5, {}, &timers).deadlineSeconds(), 0.0);
    EXPECT_EQ(Coordinator(12.5, {}, &timers).deadlineSeconds(), 12.5);
}

TEST(ImageOCRCoordinator, RunsTheOperationOnTheOCRThread)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    std::string threadName;
    Result result;
    coordinator.run(
        "bytes",
        [&](const QByteArray& data, Cancellation&) {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            threadName = name;
            return Outcome::recognized(QString::fromLatin1(data));
        },
        result.completion());
    EXPECT_EQ(result.wait(), Outcome::recognized("bytes"));
    EXPECT_EQ(threadName, "com.tolvi.ocr");
    EXPECT_EQ(timers.lastDelay(), 60s);
}

TEST(ImageOCRCoordinator, ASecondRequestWhileOneRunsIsBusy)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    BlockingOperation blocking;
    Result first;
    coordinator.run("a", blocking.operation(Outcome::recognized("first")), first.completion());
    blocking.waitStarted();

    Result second;
    std::atomic<int> secondCalls{0};
    coordinator.run("b", immediate(Outcome::recognized("second"), &secondCalls), second.completion());
    EXPECT_EQ(second.wait(), Outcome::of(Kind::busy));
    EXPECT_EQ(first.count(), 0u);

    blocking.release();
    EXPECT_EQ(first.wait(), Outcome::recognized("first"));
    EXPECT_EQ(secondCalls.load(), 0);
    EXPECT_EQ(blocking.stopRequests(), 0);
}

TEST(ImageOCRCoordinator, TheSlotIsFreeWhenTheCompletionRuns)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    // The completion of the first request starts the next one at once: not busy.
    Result second;
    Result first;
    std::atomic<bool> chained{false};
    coordinator.run("a", immediate(Outcome::of(Kind::noText)), [&](const Outcome& outcome) {
        first.completion()(outcome);
        coordinator.run("b", immediate(Outcome::recognized("next")), second.completion());
        chained = true;
    });
    EXPECT_EQ(first.wait(), Outcome::of(Kind::noText));
    EXPECT_EQ(second.wait(), Outcome::recognized("next"));
}

TEST(ImageOCRCoordinator, TheDeadlineTimesOutAndStopsTheWorkerButKeepsTheSlotUntilTheJobEnds)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    BlockingOperation blocking;
    Result first;
    coordinator.run("a", blocking.operation(Outcome::recognized("late")), first.completion());
    blocking.waitStarted();

    clock.advance(60s);
    timers.fireAll();
    EXPECT_EQ(first.wait(), Outcome::of(Kind::timedOut));
    EXPECT_EQ(blocking.stopRequests(), 1);

    // Still occupied while the operation has not returned.
    Result meanwhile;
    coordinator.run("b", immediate(Outcome::of(Kind::noText)), meanwhile.completion());
    EXPECT_EQ(meanwhile.wait(), Outcome::of(Kind::busy));

    blocking.release();
    EXPECT_EQ(runWhenFree(coordinator, immediate(Outcome::of(Kind::noText))), Outcome::of(Kind::noText));
    EXPECT_EQ(first.count(), 1u);
}

TEST(ImageOCRCoordinator, AResultAfterTheDeadlineBeforeTheTimerRanIsTimedOut)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    BlockingOperation blocking;
    Result result;
    coordinator.run("a", blocking.operation(Outcome::recognized("text")), result.completion());
    blocking.waitStarted();
    clock.advance(60200ms);
    blocking.release();
    EXPECT_EQ(result.wait(), Outcome::of(Kind::timedOut));
    EXPECT_EQ(blocking.stopRequests(), 1); // counted as cancelled: the worker is stopped
    timers.fireAll();                      // the timer was cancelled; nothing more happens
    EXPECT_EQ(result.count(), 1u);
}

TEST(ImageOCRCoordinator, AZeroDeadlineTimesOutWithoutRunningTheOperation)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(-5, clock.function(), &timers);
    std::atomic<int> calls{0};
    Result result;
    coordinator.run("a", immediate(Outcome::recognized("x"), &calls), result.completion());
    EXPECT_EQ(result.wait(), Outcome::of(Kind::timedOut));
    EXPECT_EQ(runWhenFree(coordinator, immediate(Outcome::recognized("x"), &calls)), Outcome::of(Kind::timedOut));
    EXPECT_EQ(calls.load(), 0);
}

TEST(ImageOCRCoordinator, CancellingTheRequestAnswersAtOnceAndDropsTheLateResult)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    BlockingOperation blocking;
    std::stop_source stop;
    Result result;
    coordinator.run("a", blocking.operation(Outcome::recognized("late")), result.completion(), stop.get_token());
    blocking.waitStarted();
    stop.request_stop();
    EXPECT_EQ(result.wait(), Outcome::of(Kind::cancelled));
    EXPECT_EQ(blocking.stopRequests(), 1);
    blocking.release();
    EXPECT_EQ(runWhenFree(coordinator, immediate(Outcome::of(Kind::noText))), Outcome::of(Kind::noText));
    EXPECT_EQ(result.count(), 1u);
    EXPECT_TRUE(timers.allCancelled()); // every deadline was cancelled once its request was decided
}

TEST(ImageOCRCoordinator, AnAlreadyCancelledRequestNeverRunsAndFreesTheSlot)
{
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    std::stop_source stop;
    stop.request_stop();
    std::atomic<int> calls{0};
    Result result;
    coordinator.run("a", immediate(Outcome::recognized("x"), &calls), result.completion(), stop.get_token());
    EXPECT_EQ(result.wait(), Outcome::of(Kind::cancelled));
    EXPECT_EQ(runWhenFree(coordinator, immediate(Outcome::of(Kind::noText))), Outcome::of(Kind::noText));
    EXPECT_EQ(calls.load(), 0);
}

TEST(ImageOCRCoordinator, TheFirstOutcomeWinsAndTheCompletionRunsOnce)
{
    // The deadline timer and the operation's result race on two threads; whichever wins, the
    // caller hears exactly one outcome, and the worker is stopped only when the deadline won.
    ManualClock clock;
    ManualExecutor timers;
    Coordinator coordinator(60, clock.function(), &timers);
    int timedOut = 0;
    int recognized = 0;
    for (int round = 0; round < 300; ++round) {
        std::atomic<int> completions{0};
        std::promise<Outcome> decided;
        std::atomic<bool> go{false};
        std::atomic<int> stops{0};
        std::thread firer;
        Completion completion = [&](const Outcome& outcome) {
            if (completions.fetch_add(1) == 0)
                decided.set_value(outcome);
        };
        coordinator.run(
            "a",
            [&](const QByteArray&, Cancellation& cancellation) {
                cancellation.installCancelRequest([&] { ++stops; });
                go = true;
                return Outcome::recognized("text");
            },
            completion);
        firer = std::thread([&] {
            while (!go.load()) {
            }
            timers.fireAll();
        });
        const Outcome outcome = decided.get_future().get();
        firer.join();
        // Let the job finish and free the slot before the next round.
        EXPECT_NE(runWhenFree(coordinator, immediate(Outcome::of(Kind::noText))).kind, Kind::busy);
        timers.fireAll();
        EXPECT_EQ(completions.load(), 1);
        if (outcome.kind == Kind::timedOut) {
            ++timedOut;
            EXPECT_EQ(stops.load(), 1);
        } else {
            ++recognized;
            EXPECT_EQ(outcome, Outcome::recognized("text"));
            EXPECT_EQ(stops.load(), 0);
        }
    }
    EXPECT_EQ(timedOut + recognized, 300);
}
