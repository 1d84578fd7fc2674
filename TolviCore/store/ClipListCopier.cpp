#include "TolviCore/store/ClipListCopier.h"

#include "TolviCore/persistence/SerialQueue.h"

#include <utility>

namespace tolvi {

ClipListCopier::ClipListCopier() : slot_(std::make_shared<Slot>()) {}

ClipListCopier::~ClipListCopier() = default;

void ClipListCopier::prepare(const QList<ClipboardItem>& list, quint64 version)
{
    QList<ClipboardItem> dropped;
    {
        std::lock_guard lock(slot_->mutex);
        slot_->wanted = version;
        slot_->readyVersion.reset();
        dropped = std::exchange(slot_->copy, {});
    }
    if (!thread_)
        thread_ = std::make_unique<SerialQueue>("tolvi-list-copy");
    thread_->async([slot = slot_, list = QList<ClipboardItem>(list), version, dropped = std::move(dropped)]() mutable {
        dropped = {};
        {
            std::lock_guard lock(slot->mutex);
            if (slot->wanted != version)
                return; // a later version was asked for meanwhile
        }
        // With room at the front, where new clips land: a QList keeps the room that removing
        // its first elements leaves.
        constexpr qsizetype room = 64;
        QList<ClipboardItem> copy;
        if (!list.isEmpty()) {
            copy.reserve(room + list.size());
            for (qsizetype i = 0; i < room; ++i)
                copy.append(list.constFirst());
            copy.append(list.cbegin(), list.cend());
            copy.remove(0, room);
        }
        list = {};
        std::lock_guard lock(slot->mutex);
        if (slot->wanted != version)
            return; // `copy` goes at the end of this task, on this thread
        slot->copy = std::move(copy);
        slot->readyVersion = version;
    });
}

std::optional<QList<ClipboardItem>> ClipListCopier::take(quint64 version)
{
    QList<ClipboardItem> copy;
    bool matches = false;
    {
        // A copy still being made is of no use once the change it was made for has happened.
        std::lock_guard lock(slot_->mutex);
        matches = slot_->readyVersion == version;
        slot_->readyVersion.reset();
        slot_->wanted = 0;
        copy = std::exchange(slot_->copy, {});
    }
    if (matches)
        return copy;
    release(std::move(copy));
    return std::nullopt;
}

void ClipListCopier::release(QList<ClipboardItem> list)
{
    if (list.isEmpty())
        return;
    if (!thread_)
        thread_ = std::make_unique<SerialQueue>("tolvi-list-copy");
    thread_->async([list = std::move(list)]() mutable { list = {}; });
}

void ClipListCopier::release(std::shared_ptr<const void> held)
{
    if (!held)
        return;
    if (!thread_)
        thread_ = std::make_unique<SerialQueue>("tolvi-list-copy");
    thread_->async([held = std::move(held)]() mutable { held.reset(); });
}

void ClipListCopier::waitForIdle()
{
    if (thread_)
        thread_->sync([] {});
}

} // namespace tolvi
