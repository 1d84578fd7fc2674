#include "Tolvi/clipviews/PartitionedClipSearch.h"

#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/search/PackedClipTexts.h"

#include <QLocale>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <latch>

namespace tolvi {

namespace {

// How many clips ahead of the one being copied into a result its record is fetched.
constexpr size_t copyPrefetchDistance = 16;

} // namespace

PartitionedClipSearch::PartitionedClipSearch(int parts)
{
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    if (parts <= 0)
        parts = threads;
    m_threads = std::min(parts, threads);
    for (int i = 0; i < parts; ++i)
        m_caches.push_back(std::make_unique<ClipboardSearchTextCache>());
    m_pool.setMaxThreadCount(std::max(1, m_threads - 1));
    m_pool.setObjectName(QStringLiteral("tolvi.search"));
    m_preparePool.setMaxThreadCount(m_threads);
    m_preparePool.setObjectName(QStringLiteral("tolvi.search.prepare"));
}

PartitionedClipSearch::~PartitionedClipSearch()
{
    m_preparePool.waitForDone();
    m_pool.waitForDone();
}

PartitionedClipSearch::Positions PartitionedClipSearch::partitioned(const QList<ClipboardItem>& items) const
{
    // Each clip belongs to the part its id names, whatever list it is in (the whole history or an
    // earlier result) and wherever it stands there: the ids are random, so their first bits
    // spread the clips evenly.
    const size_t parts = m_caches.size();
    const qsizetype count = items.size();
    std::vector<std::vector<qsizetype>> candidates(parts);
    for (auto& part : candidates)
        part.reserve(size_t(count) / parts + 16);
    for (qsizetype i = 0; i < count; ++i) {
        if (i + 32 < count)
            __builtin_prefetch(&items.at(i + 32).id());
        candidates[size_t(items.at(i).id().data1) % parts].push_back(i);
    }
    return candidates;
}

void PartitionedClipSearch::prepare(const QList<ClipboardItem>& items)
{
    QList<ClipboardItem> previous;
    {
        QMutexLocker locker(&m_packMutex);
        previous = std::exchange(m_latest, items);
        m_latestWaiting = true;
        if (!m_packing) {
            m_packing = true;
            m_preparePool.start([this] { packLatest(); });
        }
    }
    // The list given before, when nothing else holds it any more (it was not packed): letting it
    // go touches each of its clips, not on this thread.
    if (!previous.isEmpty() && previous.isDetached())
        m_preparePool.start([previous = std::move(previous)]() mutable { previous = {}; });
}

void PartitionedClipSearch::packLatest()
{
    for (;;) {
        QList<ClipboardItem> items;
        std::shared_ptr<const PackedClipTexts> earlier;
        {
            QMutexLocker locker(&m_packMutex);
            if (!m_latestWaiting) {
                m_packing = false;
                return;
            }
            m_latestWaiting = false;
            items = m_latest;
            earlier = m_pack;
        }
        if (earlier && earlier->isPackOf(items) && earlier->localeName() == QLocale().name())
            continue; // a search packed it already
        std::shared_ptr<const PackedClipTexts> made =
            earlier ? PackedClipTexts::repack(*earlier, items) : PackedClipTexts::pack(items);
        std::shared_ptr<const PackedClipTexts> dropped;
        {
            QMutexLocker locker(&m_packMutex);
            // A search may have packed the latest list meanwhile.
            if (m_pack && m_pack != earlier && m_pack->isPackOf(m_latest) && !made->isPackOf(m_latest))
                dropped = std::move(made);
            else
                dropped = std::exchange(m_pack, std::move(made));
        }
        // What earlier searches without a pack kept is not needed any more.
        for (const auto& cache : m_caches) {
            if (cache->size() > 0)
                cache->clear();
        }
        // `dropped` (its clips and records) is let go here, on this thread.
    }
}

void PartitionedClipSearch::adopt(std::shared_ptr<const PackedClipTexts> pack)
{
    std::shared_ptr<const PackedClipTexts> dropped;
    {
        QMutexLocker locker(&m_packMutex);
        dropped = std::exchange(m_pack, std::move(pack));
    }
    // Letting a pack go touches each of its clips: not on this thread.
    if (dropped && dropped.use_count() == 1)
        m_preparePool.start([dropped = std::move(dropped)]() mutable { dropped.reset(); });
}

std::shared_ptr<const PackedClipTexts> PartitionedClipSearch::currentPack() const
{
    QMutexLocker locker(&m_packMutex);
    return m_pack;
}

void PartitionedClipSearch::waitUntilPrepared()
{
    m_preparePool.waitForDone();
}

PartitionedClipSearch& PartitionedClipSearch::shared()
{
    static PartitionedClipSearch search;
    return search;
}

void PartitionedClipSearch::clearCaches()
{
    m_preparePool.waitForDone();
    for (const auto& cache : m_caches)
        cache->clear();
    m_partitions.clear();
    QMutexLocker locker(&m_packMutex);
    m_pack.reset();
    m_latest = {};
    m_latestWaiting = false;
}

std::shared_ptr<const PartitionedClipSearch::Positions> PartitionedClipSearch::partitionOf(
    const QList<ClipboardItem>& items)
{
    if (items.size() < parallelThreshold)
        return std::make_shared<const Positions>(partitioned(items));
    // A list that only this search still holds is never searched again: let its clips go.
    std::erase_if(m_partitions, [](const KeptPartition& partition) { return partition.items.isDetached(); });
    auto kept = std::find_if(m_partitions.begin(), m_partitions.end(),
                             [&items](const KeptPartition& partition) { return partition.describes(items); });
    if (kept == m_partitions.end()) {
        if (m_partitions.size() >= keptPartitionLimit)
            m_partitions.erase(m_partitions.begin());
        m_partitions.push_back(KeptPartition{items, std::make_shared<const Positions>(partitioned(items))});
        return m_partitions.back().positions;
    }
    std::rotate(kept, kept + 1, m_partitions.end());
    return m_partitions.back().positions;
}

std::shared_ptr<const PackedClipTexts> PartitionedClipSearch::packFor(const QList<ClipboardItem>& items,
                                                                      std::vector<quint32>& places, bool& inPlaces)
{
    inPlaces = false;
    std::shared_ptr<const PackedClipTexts> pack;
    bool latest = false;
    {
        QMutexLocker locker(&m_packMutex);
        pack = m_pack;
        latest = items.constData() == m_latest.constData() && items.size() == m_latest.size();
    }
    if (!pack)
        return nullptr;
    if (pack->isPackOf(items))
        return pack;
    // An earlier result, or the history less some clips.
    if (pack->placesOf(items, places)) {
        inPlaces = true;
        return pack;
    }
    // The history changed and its pack is not ready yet: when few clips changed, it is soon made.
    if (!latest)
        return nullptr;
    std::shared_ptr<const PackedClipTexts> made = PackedClipTexts::repack(*pack, items, repackLimit);
    if (made) {
        pack.reset(); // for adopt() to let it go elsewhere
        adopt(made);
    }
    return made;
}

QList<ClipboardItem> PartitionedClipSearch::filter(const QList<ClipboardItem>& items,
                                                   const ClipboardSearchCriteria& criteria, double now,
                                                   const QTimeZone& timeZone)
{
    if (!criteria.hasActiveQuery() && !criteria.hasActiveNonQueryFilters())
        return items;
    if (items.isEmpty())
        return {};
    std::vector<quint32> places;
    bool inPlaces = false;
    if (const std::shared_ptr<const PackedClipTexts> pack = packFor(items, places, inPlaces)) {
        const ClipboardSearch::PackedSearch search(*pack, criteria, now, timeZone);
        if (search.isUsable())
            return searchPack(search, items, inPlaces ? &places : nullptr);
        // Packed in another locale: pack the history again for the next search.
        if (pack->isPackOf(items))
            prepare(items);
    }
    return searchParts(items, criteria, now, timeZone);
}

template <class Search>
void PartitionedClipSearch::runParts(size_t parts, bool parallel, Search& search)
{
    if (!parallel) {
        for (size_t part = 0; part < parts; ++part)
            search(part);
        return;
    }
    // The parts go to whichever thread asks first, this one included, so a pool thread that is
    // slow to start (on a busy machine) holds nothing up: this thread searches what is left and
    // waits only for parts under way. A thread that starts after every part is taken touches
    // only the shared claim.
    struct Claims {
        std::atomic<size_t> next{0};
        std::latch done;
        explicit Claims(size_t parts) : done(std::ptrdiff_t(parts)) {}
    };
    const auto claims = std::make_shared<Claims>(parts);
    auto work = [&search, claims, parts] {
        for (size_t part; (part = claims->next.fetch_add(1)) < parts;) {
            search(part);
            claims->done.count_down();
        }
    };
    for (int thread = 1; thread < m_threads && size_t(thread) < parts; ++thread)
        m_pool.start(work);
    work();
    claims->done.wait();
}

QList<ClipboardItem> PartitionedClipSearch::searchPack(const ClipboardSearch::PackedSearch& search,
                                                       const QList<ClipboardItem>& items,
                                                       const std::vector<quint32>* places)
{
    // Each run keeps the positions in `items` of its matches and, once some clip anywhere has
    // been missed, copies of its matching clips (made where their neighbours were just read, on
    // the run's thread); while none has been, the whole list may match (the usual case for the
    // first characters typed), and the list itself is the result then.
    const quint32 count = quint32(items.size());
    const size_t runs = (size_t(count) + runLength - 1) / runLength;
    struct RunResult {
        std::vector<quint32> matched;
        QList<ClipboardItem> copies;
        bool copied = false;
    };
    std::vector<RunResult> results(runs);
    std::atomic<bool> someMissed{false};
    const quint32* placesData = places ? places->data() : nullptr;
    auto searchRun = [&](size_t run) {
        RunResult& result = results[run];
        const quint32 first = quint32(run) * runLength;
        const quint32 last = std::min(count, first + runLength);
        result.matched.reserve(last - first);
        search.match(placesData, first, last, result.matched);
        if (result.matched.size() < last - first)
            someMissed.store(true, std::memory_order_relaxed);
        if (!someMissed.load(std::memory_order_relaxed))
            return;
        result.copied = true;
        result.copies.reserve(qsizetype(result.matched.size()));
        const size_t matched = result.matched.size();
        for (size_t m = 0; m < matched; ++m) {
            // A copy counts a reference in the clip's record: fetch records ahead, for writing.
            if (m + copyPrefetchDistance < matched)
                __builtin_prefetch(&items.at(result.matched[m + copyPrefetchDistance]).id(), 1);
            result.copies.append(items.at(result.matched[m]));
        }
    };
    runParts(runs, count >= parallelThreshold, searchRun);

    qsizetype total = 0;
    for (const RunResult& result : results)
        total += qsizetype(result.matched.size());
    if (total == qsizetype(count))
        return items;
    QList<ClipboardItem> result;
    result.reserve(total);
    for (RunResult& run : results) {
        if (run.copied) {
            for (ClipboardItem& item : run.copies)
                result.append(std::move(item));
        } else {
            for (const quint32 k : run.matched)
                result.append(items.at(k));
        }
    }
    return result;
}

QList<ClipboardItem> PartitionedClipSearch::searchParts(const QList<ClipboardItem>& items,
                                                        const ClipboardSearchCriteria& criteria, double now,
                                                        const QTimeZone& timeZone)
{
    const size_t parts = m_caches.size();
    if (parts == 1)
        return ClipboardSearch::filter(items, criteria, now, timeZone, *m_caches.front());

    // The parts read the clips in place.
    const qsizetype count = items.size();
    const std::shared_ptr<const Positions> partition = partitionOf(items);
    const Positions& candidates = *partition;

    // Each part marks its own candidates and takes its own copies of the clips that match (marks of
    // one list written by several threads would share cache lines, and the copies are made where
    // the clips' records were just read); the copies are put in list order afterwards. While no
    // part has missed a clip the whole list may match (the usual case for the first characters
    // typed), so a part that matched all of its clips copies none: the list itself is the result
    // then, and otherwise its clips are copied from the list when the result is put together.
    struct PartResult {
        std::vector<char> marks;
        QList<ClipboardItem> items;
        qsizetype matched = 0;
        bool copied = false;
    };
    std::vector<PartResult> results(parts);
    std::atomic<bool> someMissed{false};
    auto search = [&](size_t part) {
        PartResult& result = results[part];
        const std::vector<qsizetype>& positions = candidates[part];
        ClipboardSearch::markMatches(items, positions, criteria, now, timeZone, *m_caches[part], result.marks);
        result.matched = std::count(result.marks.cbegin(), result.marks.cend(), char(1));
        if (size_t(result.matched) < positions.size())
            someMissed.store(true, std::memory_order_relaxed);
        if (!someMissed.load(std::memory_order_relaxed))
            return;
        result.copied = true;
        result.items.reserve(result.matched);
        for (size_t k = 0; k < positions.size(); ++k) {
            if (result.marks[k])
                result.items.append(items.at(positions[k]));
        }
    };
    runParts(parts, count >= parallelThreshold, search);

    qsizetype total = 0;
    for (const PartResult& result : results)
        total += result.matched;
    if (total == count)
        return items;
    // The part of each matching clip, by its place in the list (0 for none).
    std::vector<quint8> owner(size_t(count), 0);
    for (size_t part = 0; part < parts; ++part) {
        for (size_t k = 0; k < candidates[part].size(); ++k) {
            if (results[part].marks[k])
                owner[size_t(candidates[part][k])] = quint8(part + 1);
        }
    }
    std::vector<ClipboardItem*> next(parts);
    for (size_t part = 0; part < parts; ++part)
        next[part] = results[part].copied ? results[part].items.data() : nullptr;
    QList<ClipboardItem> result;
    result.reserve(total);
    for (qsizetype i = 0; i < count; ++i) {
        if (const quint8 part = owner[size_t(i)]) {
            ClipboardItem*& copy = next[part - 1];
            result.append(copy ? std::move(*copy++) : items.at(i));
        }
    }
    return result;
}

} // namespace tolvi
