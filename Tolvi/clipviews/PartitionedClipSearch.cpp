#include "Tolvi/clipviews/PartitionedClipSearch.h"

#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <latch>

namespace tolvi {

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
    if (items.isEmpty())
        return;
    // A short history is prepared on one thread (another thread costs a heap of its own), a long
    // one on a thread per part, so that it is ready soon after the load.
    const size_t parts = m_caches.size();
    const size_t threads = items.size() < parallelThreshold ? 1 : size_t(m_threads);
    m_preparePool.start([this, items, parts, threads] {
        const auto candidates = std::make_shared<const Positions>(partitioned(items));
        if (items.size() >= parallelThreshold) {
            QMutexLocker locker(&m_preparedMutex);
            m_prepared = KeptPartition{items, candidates};
        }
        auto prepareParts = [this, items, parts, threads, candidates](size_t first) {
            for (size_t part = first; part < parts; part += threads)
                m_caches[part]->prepare(items, (*candidates)[part]);
        };
        for (size_t thread = 1; thread < threads; ++thread)
            m_preparePool.start([prepareParts, thread] { prepareParts(thread); });
        prepareParts(0);
    });
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
    for (const auto& cache : m_caches)
        cache->clear();
    m_partitions.clear();
    QMutexLocker locker(&m_preparedMutex);
    m_prepared.reset();
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
        std::optional<KeptPartition> prepared;
        {
            QMutexLocker locker(&m_preparedMutex);
            // What was prepared is for the first search of the loaded history, or of none.
            if (m_prepared && m_prepared->describes(items))
                prepared.swap(m_prepared);
            m_prepared.reset();
        }
        if (m_partitions.size() >= keptPartitionLimit)
            m_partitions.erase(m_partitions.begin());
        m_partitions.push_back(prepared ? std::move(*prepared)
                                        : KeptPartition{items, std::make_shared<const Positions>(partitioned(items))});
        return m_partitions.back().positions;
    }
    std::rotate(kept, kept + 1, m_partitions.end());
    return m_partitions.back().positions;
}

QList<ClipboardItem> PartitionedClipSearch::filter(const QList<ClipboardItem>& items,
                                                   const ClipboardSearchCriteria& criteria, double now,
                                                   const QTimeZone& timeZone)
{
    if (!criteria.hasActiveQuery() && !criteria.hasActiveNonQueryFilters())
        return items;
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
    if (count < parallelThreshold) {
        for (size_t part = 0; part < parts; ++part)
            search(part);
    } else {
        // The parts go to whichever thread asks first, this one included, so a pool thread that
        // is slow to start (on a busy machine) holds nothing up: this thread searches what is
        // left and waits only for parts under way. A thread that starts after every part is
        // taken touches only the shared claim.
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
        for (int thread = 1; thread < m_threads; ++thread)
            m_pool.start(work);
        work();
        claims->done.wait();
    }

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
