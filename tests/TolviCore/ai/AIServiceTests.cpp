#include "TolviCore/ai/AIResultDelivery.h"
#include "TolviCore/ai/AIService.h"
#include "TolviCore/ai/AIServiceError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QWaitCondition>

#include <gtest/gtest.h>

#include <memory>

using namespace tolvi;

namespace {

class ProviderError final : public AIError {
public:
    QString errorDescription() const override { return QStringLiteral("Provider says no."); }
};

// A provider that records its calls and either answers at once from another thread with the
// scripted result, or holds the completion until the test releases it.
class FakeProvider final : public AIProvider {
public:
    void perform(const AIAction& action, const QString& input, AICompletion completion) override
    {
        QMutexLocker lock(&mutex);
        actions.append(action.id);
        inputs.append(input);
        threads.append(QThread::currentThread());
        if (holdCompletions) {
            held.append(completion);
            return;
        }
        QThreadPool::globalInstance()->start([completion, result = scripted]() { completion(result); });
    }

    int callCount()
    {
        QMutexLocker lock(&mutex);
        return inputs.size();
    }

    QMutex mutex;
    AIResult scripted = AIResult::success(QStringLiteral("result"));
    bool holdCompletions = false;
    QList<AICompletion> held;
    QStringList actions;
    QStringList inputs;
    QList<QThread*> threads;
};

struct Outcome {
    std::optional<AIResult> result;
    QThread* thread = nullptr;
};

// Runs the service and spins the event loop until the result is delivered.
Outcome runAndWait(const AIService& service, const QString& input, QObject* receiver = nullptr)
{
    auto outcome = std::make_shared<Outcome>();
    auto loop = std::make_shared<QEventLoop>();
    service.run(AIAction::fixWriting(), input, receiver, [outcome, loop](AIResult result) {
        outcome->result = std::move(result);
        outcome->thread = QThread::currentThread();
        loop->quit();
    });
    QTimer::singleShot(10000, loop.get(), &QEventLoop::quit);
    loop->exec();
    return *outcome;
}

void spin(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class AIServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeProvider> provider = std::make_shared<FakeProvider>();
    AIService service{provider};
};

TEST_F(AIServiceTest, BlankInputIsRefusedWithoutCallingTheProvider)
{
    for (const QString& input : {QString(), QStringLiteral("   "), QStringLiteral(" \n\t\r\n "),
                                 QStringLiteral("\u00a0\u2003\n")}) {
        const Outcome outcome = runAndWait(service, input);
        ASSERT_TRUE(outcome.result.has_value());
        const auto error = outcome.result->errorAs<AIServiceError>();
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, AIServiceError(AIServiceError::Case::emptyInput));
        EXPECT_EQ(error->errorDescription(), QStringLiteral("Add text before running AI."));
    }
    EXPECT_EQ(provider->callCount(), 0);
}

TEST_F(AIServiceTest, ProviderGetsTheTrimmedInputWithInnerSpacingKept)
{
    const Outcome outcome = runAndWait(service, QStringLiteral("\n\n  Dear Sam,\n\n  thanks  a lot \t\n"));
    ASSERT_TRUE(outcome.result && outcome.result->isSuccess());
    ASSERT_EQ(provider->inputs.size(), 1);
    EXPECT_EQ(provider->inputs.first(), QStringLiteral("Dear Sam,\n\n  thanks  a lot"));
    EXPECT_EQ(provider->actions.first(), QStringLiteral("fix_writing"));
}

TEST_F(AIServiceTest, OutputIsTrimmedAndBlankOutputRefused)
{
    provider->scripted = AIResult::success(QStringLiteral("\n\n  Fixed\n text.  \n\n"));
    Outcome outcome = runAndWait(service, QStringLiteral("x"));
    ASSERT_TRUE(outcome.result && outcome.result->isSuccess());
    EXPECT_EQ(outcome.result->text(), QStringLiteral("Fixed\n text."));

    provider->scripted = AIResult::success(QStringLiteral(" \n\t "));
    outcome = runAndWait(service, QStringLiteral("x"));
    ASSERT_TRUE(outcome.result && outcome.result->errorAs<AIServiceError>());
    EXPECT_EQ(outcome.result->errorAs<AIServiceError>()->kind(), AIServiceError::Case::emptyOutput);
    EXPECT_EQ(outcome.result->error()->errorDescription(), QStringLiteral("AI returned an empty result."));
}

TEST_F(AIServiceTest, ProviderErrorPassesThroughUnchanged)
{
    const auto error = std::make_shared<ProviderError>();
    provider->scripted = AIResult::failure(error);
    const Outcome outcome = runAndWait(service, QStringLiteral("x"));
    ASSERT_TRUE(outcome.result.has_value());
    EXPECT_EQ(outcome.result->error(), error);
    EXPECT_EQ(outcome.result->error()->errorDescription(), QStringLiteral("Provider says no."));
}

TEST_F(AIServiceTest, WorkRunsOffTheCallingThreadAndResultComesBackOnIt)
{
    QThread* mainThread = QThread::currentThread();
    QObject receiver;
    const Outcome outcome = runAndWait(service, QStringLiteral("x"), &receiver);
    ASSERT_TRUE(outcome.result.has_value());
    EXPECT_EQ(outcome.thread, mainThread);
    ASSERT_EQ(provider->threads.size(), 1);
    EXPECT_NE(provider->threads.first(), mainThread);
}

TEST_F(AIServiceTest, ResultGoesToTheReceiversThread)
{
    QThread other;
    other.start();
    QObject receiver;
    receiver.moveToThread(&other);

    auto deliveredOn = std::make_shared<std::atomic<QThread*>>(nullptr);
    service.run(AIAction::draftReply(), QStringLiteral("x"), &receiver,
                [deliveredOn](AIResult) { *deliveredOn = QThread::currentThread(); });
    for (int round = 0; round < 1000 && !deliveredOn->load(); ++round)
        QThread::msleep(5);
    EXPECT_EQ(deliveredOn->load(), &other);
    other.quit();
    other.wait();
}

TEST_F(AIServiceTest, NothingIsDeliveredToADestroyedReceiver)
{
    provider->holdCompletions = true;
    auto receiver = std::make_unique<QObject>();
    bool called = false;
    service.run(AIAction::fixWriting(), QStringLiteral("x"), receiver.get(), [&called](AIResult) { called = true; });
    for (int round = 0; round < 1000 && provider->callCount() == 0; ++round)
        spin(5);
    ASSERT_EQ(provider->callCount(), 1);
    receiver.reset();
    provider->held.first()(AIResult::success(QStringLiteral("late")));
    spin(50);
    EXPECT_FALSE(called);
}

TEST_F(AIServiceTest, RunsInFlightTogetherKeepTheirOwnResults)
{
    provider->holdCompletions = true;
    QStringList delivered;
    service.run(AIAction::fixWriting(), QStringLiteral("first"), nullptr,
                [&delivered](AIResult result) { delivered << QStringLiteral("first:") + result.text(); });
    service.run(AIAction::draftReply(), QStringLiteral("second"), nullptr,
                [&delivered](AIResult result) { delivered << QStringLiteral("second:") + result.text(); });
    for (int round = 0; round < 1000 && provider->callCount() < 2; ++round)
        spin(5);
    ASSERT_EQ(provider->callCount(), 2);
    // Answer in the opposite order of the calls.
    const int firstIndex = provider->inputs.indexOf(QStringLiteral("first"));
    provider->held.at(1 - firstIndex)(AIResult::success(QStringLiteral(" B ")));
    provider->held.at(firstIndex)(AIResult::success(QStringLiteral(" A ")));
    for (int round = 0; round < 1000 && delivered.size() < 2; ++round)
        spin(5);
    EXPECT_EQ(delivered, (QStringList{QStringLiteral("second:B"), QStringLiteral("first:A")}));
}

// A provider whose every call waits, as a request waits for the network, until it is let go.
class WaitingProvider final : public AIProvider {
public:
    void perform(const AIAction&, const QString&, AICompletion completion) override
    {
        QMutexLocker lock(&mutex);
        ++waiting;
        changed.wakeAll();
        while (!released)
            changed.wait(&mutex);
        --waiting;
        completion(AIResult::success(QStringLiteral("done")));
    }

    bool waitUntilWaiting(int count)
    {
        QMutexLocker lock(&mutex);
        QDeadlineTimer deadline(20'000);
        while (waiting < count) {
            if (!changed.wait(&mutex, deadline))
                return false;
        }
        return true;
    }

    void release()
    {
        QMutexLocker lock(&mutex);
        released = true;
        changed.wakeAll();
    }

    QMutex mutex;
    QWaitCondition changed;
    int waiting = 0;
    bool released = false;
};

TEST(AIServiceWaiting, RequestsWaitingForTheirAnswersLeaveQtsPoolFree)
{
    // Qt's painting hands pieces of large fills to its global pool and waits for them: requests
    // that wait for the network must not fill that pool.
    const auto provider = std::make_shared<WaitingProvider>();
    const AIService service(provider);
    const int requests = QThreadPool::globalInstance()->maxThreadCount();
    int answered = 0;
    QObject receiver;
    for (int i = 0; i < requests; ++i)
        service.run(AIAction::fixWriting(), QStringLiteral("text %1").arg(i), &receiver, [&answered](AIResult) {
            ++answered;
        });
    ASSERT_TRUE(provider->waitUntilWaiting(1));

    QMutex ranMutex;
    QWaitCondition ranChanged;
    bool ran = false;
    QThreadPool::globalInstance()->start([&] {
        QMutexLocker lock(&ranMutex);
        ran = true;
        ranChanged.wakeAll();
    });
    {
        QMutexLocker lock(&ranMutex);
        QDeadlineTimer deadline(20'000);
        while (!ran && ranChanged.wait(&ranMutex, deadline)) {
        }
    }
    provider->release();
    EXPECT_TRUE(ran) << "work on Qt's pool waited for the requests";
    QDeadlineTimer deadline(20'000);
    while (answered < requests && !deadline.hasExpired())
        spin(5);
    EXPECT_EQ(answered, requests);
}

} // namespace
