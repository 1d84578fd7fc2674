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

// ClipboardSearch::filter over a long list on several threads at once. The clips are split by
// id into a fixed number of parts, each with a search cache of its own, so a clip is always
// folded and kept by the same part; the parts are searched side by side, reading the clips in
// place, and the matches are taken in list order. The result is exactly ClipboardSearch::filter's.
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

    // Works out on threads of its own what searching `items` needs (which texts can be searched
    // where they stand, the folded copies of the others), so that the first search after the
    // history is loaded finds it ready. Returns at once; a search that comes sooner does what is
    // left of its clips itself.
    void prepare(const QList<ClipboardItem>& items);
    // Waits until the work that prepare() started is done (for tests and measurements).
    void waitUntilPrepared();

    int partCount() const { return int(m_caches.size()); }
    // Forgets what earlier searches worked out, as a new program start would.
    void clearCaches();
    // Below this many clips the parts are searched (and prepared) one after another on one thread.
    static constexpr qsizetype parallelThreshold = 4096;
    // How many long lists' partitions are kept for their next search.
    static constexpr size_t keptPartitionLimit = 2;

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

    std::vector<std::unique_ptr<ClipboardSearchTextCache>> m_caches;
    int m_threads = 1;
    QThreadPool m_pool;
    QThreadPool m_preparePool;
    std::vector<KeptPartition> m_partitions; // the most recently used last
    QMutex m_preparedMutex;
    std::optional<KeptPartition> m_prepared; // what prepare() split last, for the main thread to take

};

} // namespace tolvi
