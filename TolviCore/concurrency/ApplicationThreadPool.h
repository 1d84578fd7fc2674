#pragma once

#include <QMutex>

class QThreadPool;

namespace tolvi {

// A thread pool of the program's own, made at its first use and gone with the application once
// the work under way has ended (as Qt's global pool goes). Kept apart from Qt's global pool, on
// which the main thread waits whenever the raster engine paints a large area. Lives as a static.
class ApplicationThreadPool {
public:
    explicit ApplicationThreadPool(int maximumThreads) : m_maximumThreads(maximumThreads) {}
    ApplicationThreadPool(const ApplicationThreadPool&) = delete;
    ApplicationThreadPool& operator=(const ApplicationThreadPool&) = delete;

    QThreadPool& pool();

private:
    static void endAll();

    const int m_maximumThreads;
    QMutex m_mutex;
    QThreadPool* m_pool = nullptr;
};

} // namespace tolvi
