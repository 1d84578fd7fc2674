#include "TolviCore/concurrency/ApplicationThreadPool.h"

#include <QCoreApplication>
#include <QList>
#include <QThreadPool>

namespace tolvi {

namespace {

// The pools made under the current application, ended together when it goes.
QMutex openMutex;
QList<ApplicationThreadPool*> open;

} // namespace

void ApplicationThreadPool::endAll()
{
    QList<ApplicationThreadPool*> ending;
    {
        QMutexLocker lock(&openMutex);
        ending.swap(open);
    }
    for (ApplicationThreadPool* owner : ending) {
        // Work under way may still hand work on to the pool: it is open until all is done.
        owner->m_pool->waitForDone();
        QMutexLocker lock(&owner->m_mutex);
        delete owner->m_pool;
        owner->m_pool = nullptr;
    }
}

QThreadPool& ApplicationThreadPool::pool()
{
    QMutexLocker lock(&m_mutex);
    if (!m_pool) {
        m_pool = new QThreadPool;
        m_pool->setMaxThreadCount(m_maximumThreads);
        if (QCoreApplication::instance()) {
            QMutexLocker openLock(&openMutex);
            if (open.isEmpty())
                qAddPostRoutine(&ApplicationThreadPool::endAll);
            open.append(this);
        }
    }
    return *m_pool;
}

} // namespace tolvi
