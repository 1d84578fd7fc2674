#include "TolviCore/persistence/SerialQueue.h"

#include <exception>
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
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
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
