#include "TolviCore/ai/AIResultDelivery.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <memory>
#include <utility>

namespace tolvi {

AICompletion deliverOnThread(QObject* receiver, std::function<void(AIResult)> callback)
{
    // The mailbox is an object of the target thread that nobody else can delete, so posting to
    // it from another thread is always safe; the receiver itself is only looked at on its own
    // thread. If the completion is dropped unused, the mailbox is deleted through the event loop.
    auto* rawMailbox = new QObject;
    if (receiver && receiver->thread() != QThread::currentThread())
        rawMailbox->moveToThread(receiver->thread());
    std::shared_ptr<QObject> mailbox(rawMailbox, [](QObject* object) { object->deleteLater(); });

    const bool guarded = receiver != nullptr;
    QPointer<QObject> guard(receiver);
    auto sharedCallback = std::make_shared<std::function<void(AIResult)>>(std::move(callback));

    return [mailbox, guarded, guard, sharedCallback](AIResult result) {
        QObject* target = mailbox.get();
        QMetaObject::invokeMethod(
            target,
            [mailbox, guarded, guard, sharedCallback, result]() {
                if (guarded && guard.isNull())
                    return;
                if (*sharedCallback)
                    (*sharedCallback)(result);
            },
            Qt::QueuedConnection);
    };
}

} // namespace tolvi
