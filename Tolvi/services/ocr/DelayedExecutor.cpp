#include "Tolvi/services/ocr/DelayedExecutor.h"

#include <algorithm>
#include <pthread.h>

namespace tolvi {

SteadyClock systemSteadyClock()
{
    return [] { return std::chrono::steady_clock::now(); };
}

void ScheduledWork::cancel()
{
    std::function<void()> dropped;
    {
        std::lock_guard guard(m_lock);
        m_cancelled = true;
        dropped = std::move(m_work);
        m_work = nullptr;
    }
}

bool ScheduledWork::isCancelled() const
{
    std::lock_guard guard(m_lock);
    return m_cancelled;
}

void ScheduledWork::run()
{
    std::function<void()> work;
    {
        std::lock_guard guard(m_lock);
        if (m_cancelled || !m_work)
            return;
        work = std::move(m_work);
        m_work = nullptr;
    }
    work();
}

namespace {
bool later(const auto& a, const auto& b)
{
    return a.due != b.due ? a.due > b.due : a.order > b.order;
}
} // namespace

UtilityQueue::UtilityQueue() : m_thread([this] { loop(); }) {}

UtilityQueue::~UtilityQueue()
{
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

UtilityQueue& UtilityQueue::shared()
{
    // Never destroyed: work may still be scheduled while the program exits.
    static auto* queue = new UtilityQueue;
    return *queue;
}

std::shared_ptr<ScheduledWork> UtilityQueue::schedule(std::chrono::nanoseconds delay, std::function<void()> work)
{
    auto item = std::make_shared<ScheduledWork>(std::move(work));
    {
        std::lock_guard guard(m_lock);
        m_entries.push_back({std::chrono::steady_clock::now() + std::max(delay, std::chrono::nanoseconds(0)),
                             m_nextOrder++, item});
        std::push_heap(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return later(a, b); });
    }
    m_changed.notify_all();
    return item;
}

void UtilityQueue::loop()
{
    pthread_setname_np(pthread_self(), "tolvi-utility");
    std::unique_lock guard(m_lock);
    for (;;) {
        if (m_stopping)
            return;
        if (m_entries.empty()) {
            m_changed.wait(guard);
            continue;
        }
        const auto due = m_entries.front().due;
        if (std::chrono::steady_clock::now() < due) {
            m_changed.wait_until(guard, due);
            continue;
        }
        std::pop_heap(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return later(a, b); });
        std::shared_ptr<ScheduledWork> work = std::move(m_entries.back().work);
        m_entries.pop_back();
        guard.unlock();
        work->run();
        work.reset();
        guard.lock();
    }
}

} // namespace tolvi
