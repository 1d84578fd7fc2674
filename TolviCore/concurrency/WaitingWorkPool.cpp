#include "TolviCore/concurrency/WaitingWorkPool.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace tolvi {

namespace {

QMutex poolMutex;
QThreadPool* pool = nullptr;

} // namespace

QThreadPool& waitingWorkPool()
{
    QMutexLocker lock(&poolMutex);
    if (!pool) {
        pool = new QThreadPool;
        // Waiting costs no processor: a few more threads than cores keep one slow answer from
        // queueing the others behind it.
        pool->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        if (QCoreApplication::instance()) {
            qAddPostRoutine([] {
                // Work under way may still hand work on to the pool: it is open until all is done.
                pool->waitForDone();
                QMutexLocker lock(&poolMutex);
                delete pool;
                pool = nullptr;
            });
        }
    }
    return *pool;
}

} // namespace tolvi
