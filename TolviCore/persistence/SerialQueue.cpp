#include "TolviCore/persistence/SerialQueue.h"

#include "TolviCore/persistence/PersistenceError.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <future>
#include <pthread.h>

namespace tolvi {

SerialQueue::SerialQueue(std::string threadName) : name_(std::move(threadName))
{
    if (name_.size() > 15)
        name_.resize(15);
    thread_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& task)
{
    if (isCurrentThread()) {
        task();
        return;
    }
    // A failure is copied into the caller's thread rather than shared with it: the exception
    // object then never crosses threads.
    std::optional<PersistenceError> persistenceError;
    std::optional<std::string> otherError;
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        try {
            task();
        } catch (const PersistenceError& error) {
            persistenceError = error;
        } catch (const std::exception& error) {
            otherError = error.what();
        } catch (...) {
            otherError = "unknown failure";
        }
        done.set_value();
    });
    finished.get();
    if (persistenceError)
        throw *persistenceError;
    if (otherError)
        throw std::runtime_error(*otherError);
}

bool SerialQueue::isCurrentThread() const
{
    return std::this_thread::get_id() == thread_.get_id();
}

void SerialQueue::run()
{
    pthread_setname_np(pthread_self(), name_.c_str());
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty())
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

} // namespace tolvi
