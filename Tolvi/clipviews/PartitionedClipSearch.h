#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QThreadPool>
#include <QTimeZone>

#include <memory>
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
    // parts: how many parts (and threads) at most; the ideal thread count up to 4 when 0.
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

private:
    // Each clip's position in `items` under the part it belongs to.
    std::vector<std::vector<qsizetype>> partitioned(const QList<ClipboardItem>& items) const;

    std::vector<std::unique_ptr<ClipboardSearchTextCache>> m_caches;
    QThreadPool m_pool;
    QThreadPool m_preparePool;
};

} // namespace tolvi
