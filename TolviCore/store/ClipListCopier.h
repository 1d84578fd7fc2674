#pragma once

#include "TolviCore/model/ClipboardItem.h"

#include <QList>

#include <memory>
#include <mutex>
#include <optional>

namespace tolvi {

class SerialQueue;

// Copies a clip list on a thread of its own, ahead of the change that will need the copy.
//
// The store's list is shared with the save being written and with the search, so changing it on
// the main thread would first copy it whole (a step per clip). Once a change is published, the
// store asks for a private copy here; the next change adopts that copy and edits it in place, so
// that it costs what the change costs, not what the history holds. Lists the store lets go of
// are released here as well: the last reference to a list lets go of every clip in it (and the
// index of a list, of every entry in it).
class ClipListCopier {
public:
    ClipListCopier();
    // Waits for the copy under way, if any.
    ~ClipListCopier();
    ClipListCopier(const ClipListCopier&) = delete;
    ClipListCopier& operator=(const ClipListCopier&) = delete;

    // A private copy of `list`, known by `version`, is made; a copy asked for earlier and not
    // taken is dropped.
    void prepare(const QList<ClipboardItem>& list, quint64 version);
    // The copy of `version` when it is ready and nothing else holds it; nothing otherwise (a copy
    // of another version is dropped then).
    std::optional<QList<ClipboardItem>> take(quint64 version);
    // Lets go of the list on the copier's thread.
    void release(QList<ClipboardItem> list);
    // The same for anything else the store lets go of (a list's index).
    void release(std::shared_ptr<const void> held);
    // Returns once the work asked for so far is done.
    void waitForIdle();

private:
    struct Slot {
        std::mutex mutex;
        quint64 wanted = 0;
        std::optional<quint64> readyVersion;
        QList<ClipboardItem> copy;
    };
    std::shared_ptr<Slot> slot_;
    std::unique_ptr<SerialQueue> thread_;
};

} // namespace tolvi
