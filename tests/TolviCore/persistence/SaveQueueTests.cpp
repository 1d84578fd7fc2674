#include "SampleHistory.h"
#include "TestFiles.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <thread>

using namespace tolvi;
using namespace tolvi::samples;

namespace {

// Holds writes open on demand, and records each written state's generation.
class WriteGate {
public:
    void close()
    {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open()
    {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void waitUntilWriting()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_ > 0; });
    }
    void pass(const QString& temporaryPath)
    {
        const ClipboardHistoryState state = HistoryJsonCodec::decodeState(readFile(temporaryPath));
        std::unique_lock lock(mutex_);
        written_.push_back(generationOf(state));
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        --waiting_;
        if (failNext_) {
            failNext_ = false;
            throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
        }
    }
    void failNextWrite()
    {
        std::lock_guard lock(mutex_);
        failNext_ = true;
    }
    std::vector<int> written()
    {
        std::lock_guard lock(mutex_);
        return written_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool failNext_ = false;
    int waiting_ = 0;
    std::vector<int> written_;
};

// The main queue of a test: completions are collected here and run when the test says so.
class ManualQueue {
public:
    void post(std::function<void()> task)
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    std::size_t size()
    {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }
    void runAll()
    {
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(mutex_);
            tasks.swap(tasks_);
        }
        for (auto& task : tasks)
            task();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> tasks_;
};

struct Completion {
    int call;
    bool success;
    std::thread::id thread;
};

class SaveQueueTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    WriteGate gate;
    ManualQueue mainQueue;
    std::vector<Completion> completions; // touched on the test thread only
    std::unique_ptr<FileClipboardHistoryPersistence> persistence;

    void SetUp() override
    {
        FileClipboardHistoryPersistence::Options options;
        options.mainExecutor = [this](std::function<void()> task) { mainQueue.post(std::move(task)); };
        options.beforeReplace = [this](const QString& temporary) { gate.pass(temporary); };
        persistence = std::make_unique<FileClipboardHistoryPersistence>(dir.filePath("history.json"), options);
    }

    void enqueue(int generation)
    {
        persistence->enqueueSave(generationHistory(generation, 16), [this, generation](const SaveResult& result) {
            completions.push_back({generation, result.isSuccess(), std::this_thread::get_id()});
        });
    }

    int fileGeneration() { return generationOf(persistence->load()); }

    // Waits until the writer has handed that many completions to the main queue.
    void waitForCompletions(std::size_t count)
    {
        for (int i = 0; i < 2000 && mainQueue.size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(mainQueue.size(), count);
    }
};

} // namespace

TEST_F(SaveQueueTest, BurstDuringAWriteGivesOneMoreWriteAndEveryCompletionInOrder)
{
    gate.close();
    enqueue(0);
    gate.waitUntilWriting();
    for (int i = 1; i <= 1000; ++i)
        enqueue(i);
    EXPECT_EQ(mainQueue.size(), 0u);
    gate.open();
    persistence->flush();

    EXPECT_EQ(gate.written(), (std::vector<int>{0, 1000}));
    EXPECT_EQ(fileGeneration(), 1000);
    EXPECT_TRUE(completions.empty()); // nothing runs before the main queue does
    mainQueue.runAll();
    ASSERT_EQ(completions.size(), 1001u);
    for (int i = 0; i <= 1000; ++i) {
        EXPECT_EQ(completions[i].call, i);
        EXPECT_TRUE(completions[i].success);
        EXPECT_EQ(completions[i].thread, std::this_thread::get_id());
    }
}

TEST_F(SaveQueueTest, CallsBeforeTheWorkerRunsCoalesceIntoOneWrite)
{
    // Hold the queue busy with a synchronous save on another thread, so the worker cannot start.
    gate.close();
    std::thread blocker([&] { persistence->save(generationHistory(100, 16)); });
    gate.waitUntilWriting();
    for (int i = 1; i <= 10; ++i)
        enqueue(i);
    gate.open();
    blocker.join();
    persistence->flush();
    EXPECT_EQ(gate.written(), (std::vector<int>{100, 10}));
    mainQueue.runAll();
    ASSERT_EQ(completions.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(completions[i].call, i + 1);
}

TEST_F(SaveQueueTest, SaveWritesThePendingStateFirst)
{
    gate.close();
    enqueue(0);
    gate.waitUntilWriting();
    enqueue(1); // pending while the first write runs
    std::thread saver([&] { persistence->save(generationHistory(2, 16)); });
    gate.open();
    saver.join();
    persistence->flush();
    EXPECT_EQ(gate.written(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(fileGeneration(), 2);
    mainQueue.runAll();
    ASSERT_EQ(completions.size(), 2u);
    EXPECT_EQ(completions[0].call, 0);
    EXPECT_EQ(completions[1].call, 1);
}

TEST_F(SaveQueueTest, AFailedWriteReachesItsCallbackAndIsWrittenAgainByFlush)
{
    gate.failNextWrite();
    enqueue(1);
    waitForCompletions(1);
    mainQueue.runAll();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_FALSE(completions[0].success);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("history.json")));

    // Flush with nothing pending writes the failed state again, and reports a second failure.
    gate.failNextWrite();
    try {
        persistence->flush();
        FAIL() << "flush hid the failed write";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.code(), ENOSPC);
    }
    EXPECT_EQ(gate.written(), (std::vector<int>{1, 1}));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("history.json")));
    // Once there is room, the flush (as at quit) puts it on disk; then there is nothing to write.
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_EQ(gate.written(), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(fileGeneration(), 1);
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_EQ(gate.written().size(), 3u);

    // A newer state replaces the failed one: after it is written, the failed one never is.
    gate.failNextWrite();
    enqueue(2);
    waitForCompletions(1);
    enqueue(3);
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_EQ(gate.written(), (std::vector<int>{1, 1, 1, 2, 3}));
    EXPECT_EQ(fileGeneration(), 3);
}

TEST_F(SaveQueueTest, ARefusedSynchronousStateIsNeverWrittenByAFlush)
{
    enqueue(1);
    persistence->flush();
    gate.failNextWrite();
    EXPECT_THROW(persistence->save(generationHistory(2, 16)), PersistenceError);
    // The caller did not adopt the refused state: the file keeps the last state handed over.
    EXPECT_NO_THROW(persistence->flush());
    EXPECT_EQ(fileGeneration(), 1);
}

TEST_F(SaveQueueTest, DestructionWritesAFailedStateAgain)
{
    gate.failNextWrite();
    enqueue(5);
    waitForCompletions(1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("history.json")));
    persistence.reset();
    FileClipboardHistoryPersistence reader(dir.filePath("history.json"),
                                           {[](std::function<void()> task) { task(); }, {}, {}});
    EXPECT_EQ(generationOf(reader.load()), 5);
}

TEST_F(SaveQueueTest, ManyThreadsEnqueueingLoseNoCallback)
{
    std::atomic<int> called{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                persistence->enqueueSave(generationHistory(t * 1000 + i, 8), [&](const SaveResult&) { ++called; });
        });
    }
    for (auto& thread : threads)
        thread.join();
    persistence->flush();
    mainQueue.runAll();
    EXPECT_EQ(called.load(), 800);
    EXPECT_GE(fileGeneration(), 0);
    EXPECT_LE(gate.written().size(), 800u);
}

TEST_F(SaveQueueTest, DestructionWritesWhatIsPending)
{
    gate.close();
    enqueue(0);
    gate.waitUntilWriting();
    enqueue(7);
    gate.open();
    persistence.reset();
    FileClipboardHistoryPersistence reader(dir.filePath("history.json"),
                                           {[](std::function<void()> task) { task(); }, {}, {}});
    EXPECT_EQ(generationOf(reader.load()), 7);
}
