#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tolvi {

// One background thread that runs tasks one at a time, in submission order.
class SerialQueue {
public:
    // Linux thread names hold at most 15 bytes; a longer name is cut.
    explicit SerialQueue(std::string threadName);
    // Runs every task submitted so far, then stops the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    // Runs the task on the queue and waits for it. A PersistenceError reaches the caller as a
    // copy; any other exception as std::runtime_error with its text. Called on the queue's own
    // thread, it runs the task directly.
    void sync(const std::function<void()>& task);

    bool isCurrentThread() const;

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tolvi
