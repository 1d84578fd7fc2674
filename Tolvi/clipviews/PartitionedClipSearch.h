#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QMutex>
#include <QThreadPool>
#include <QTimeZone>

#include <memory>
#include <optional>
#include <vector>

namespace tolvi {

class ClipboardSearchTextCache;
class PackedClipTexts;
namespace ClipboardSearch {
class PackedSearch;
}

// ClipboardSearch::filter over a long list on several threads at once, with the same result.
// - The history is packed for searching (PackedClipTexts) on a thread of its own after it is
//   loaded and after every change, so that a search, the first one included, finds its texts
//   ready. The pack of the history serves its search and the searches of lists of some of its
//   clips in its order (earlier results, while the user types on). Threads claim runs of
//   neighbouring clips of the pack and search them side by side; the matches are joined in order.
// - A search of a history that changed in no more than `repackLimit` clips since the last pack,
//   before the new pack is ready, makes the new pack itself from the last one.
// - Any other list is split by id into a fixed number of parts, each with a search cache of its
//   own, so a clip is always folded and kept by the same part; the parts are searched side by
//   side, reading the clips in place, and the matches are taken in list order.
// Call from one thread at a time (the windows' main thread).
class PartitionedClipSearch {
public:
    // parts: how many parts; as many as threads when 0. Threads: the ideal thread count, up to 4
    // (and no more than the parts).
    explicit PartitionedClipSearch(int parts = 0);
    ~PartitionedClipSearch();

    // The one the clip lists of the program share.
    static PartitionedClipSearch& shared();

    QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                                const QTimeZone& timeZone = QTimeZone::systemTimeZone());

    // Packs `items`, the history as it is now, on a thread of its own (from the last pack when
    // there is one), so that the next search finds it ready. Returns at once; lists given while
    // a pack is being made are packed after it, the latest only.
    void prepare(const QList<ClipboardItem>& items);
    // Waits until the packing that prepare() started is done (for tests and measurements).
    void waitUntilPrepared();
    // The pack searches use (for tests and measurements).
    std::shared_ptr<const PackedClipTexts> currentPack() const;

    int partCount() const { return int(m_caches.size()); }
    // Forgets what earlier searches worked out and the pack, as a new program start would.
    void clearCaches();
    // Below this many clips a list is searched on one thread.
    static constexpr qsizetype parallelThreshold = 4096;
    // How many long lists' partitions are kept for their next search.
    static constexpr size_t keptPartitionLimit = 2;
    // How many neighbouring clips of a pack a thread searches at a time.
    static constexpr quint32 runLength = 2048;
    // How many changed clips a search works out itself to pack a changed history.
    static constexpr qsizetype repackLimit = 256;

private:
    using Positions = std::vector<std::vector<qsizetype>>;
    // Each clip's position in `items` under the part it belongs to.
    Positions partitioned(const QList<ClipboardItem>& items) const;

    // A long list's partition, kept with (a shared copy of) the list: the same list searched
    // again (the whole history, at every new query) is not split again. A copy held here keeps
    // the list's storage from being reused for another list while it is kept; a list nothing
    // else holds any more is let go at the next search.
    struct KeptPartition {
        QList<ClipboardItem> items;
        std::shared_ptr<const Positions> positions;
        bool describes(const QList<ClipboardItem>& list) const
        {
            return items.constData() == list.constData() && items.size() == list.size();
        }
    };
    std::shared_ptr<const Positions> partitionOf(const QList<ClipboardItem>& items);

    // The pack that `items` can be searched in, with the clips' places in it unless it is the
    // pack of `items` itself; nullptr for none.
    std::shared_ptr<const PackedClipTexts> packFor(const QList<ClipboardItem>& items, std::vector<quint32>& places,
                                                   bool& inPlaces);
    QList<ClipboardItem> searchPack(const ClipboardSearch::PackedSearch& search, const QList<ClipboardItem>& items,
                                    const std::vector<quint32>* places);
    QList<ClipboardItem> searchParts(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria,
                                     double now, const QTimeZone& timeZone);
    // Runs `search(part)` for parts 0..parts-1, on this thread alone or on the pool's threads too.
    template <class Search>
    void runParts(size_t parts, bool parallel, Search& search);
    // Makes the pack of the latest list prepare() was given until there is no newer one.
    void packLatest();
    // Makes `pack` the one searches use; a pack let go is freed on a pool thread.
    void adopt(std::shared_ptr<const PackedClipTexts> pack);

    std::vector<std::unique_ptr<ClipboardSearchTextCache>> m_caches;
    int m_threads = 1;
    QThreadPool m_pool;
    QThreadPool m_preparePool;
    std::vector<KeptPartition> m_partitions; // the most recently used last

    mutable QMutex m_packMutex; // guards the next four
    std::shared_ptr<const PackedClipTexts> m_pack;
    QList<ClipboardItem> m_latest; // the list prepare() was given last
    bool m_latestWaiting = false;  // and it is not packed yet
    bool m_packing = false;
};

} // namespace tolvi
