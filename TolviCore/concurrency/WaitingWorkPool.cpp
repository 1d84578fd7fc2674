#include "TolviCore/concurrency/WaitingWorkPool.h"

#include "TolviCore/concurrency/ApplicationThreadPool.h"

#include <QThread>

#include <algorithm>

namespace tolvi {

QThreadPool& waitingWorkPool()
{
    // Waiting costs no processor: a few more threads than cores keep one slow answer from
    // queueing the others behind it.
    static ApplicationThreadPool waiting(std::max(4, QThread::idealThreadCount()));
    return waiting.pool();
}

} // namespace tolvi
