#include "Tolvi/clipviews/PartitionedClipSearch.h"

#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include <QThread>

#include <algorithm>
#include <latch>

namespace tolvi {

PartitionedClipSearch::PartitionedClipSearch(int parts)
{
    if (parts <= 0)
        parts = std::clamp(QThread::idealThreadCount(), 1, 4);
    for (int i = 0; i < parts; ++i)
        m_caches.push_back(std::make_unique<ClipboardSearchTextCache>());
    m_pool.setMaxThreadCount(std::max(1, parts - 1));
    m_pool.setObjectName(QStringLiteral("tolvi.search"));
    m_preparePool.setMaxThreadCount(parts);
    m_preparePool.setObjectName(QStringLiteral("tolvi.search.prepare"));
}

PartitionedClipSearch::~PartitionedClipSearch()
{
    m_preparePool.waitForDone();
    m_pool.waitForDone();
}

std::vector<std::vector<qsizetype>> PartitionedClipSearch::partitioned(const QList<ClipboardItem>& items) const
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
    const size_t threads = items.size() < parallelThreshold ? 1 : parts;
    m_preparePool.start([this, items, parts, threads] {
        const auto candidates = std::make_shared<const std::vector<std::vector<qsizetype>>>(partitioned(items));
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
    const std::vector<std::vector<qsizetype>> candidates = partitioned(items);

    // Each part marks its own candidates and takes its own copies of the clips that match (marks of
    // one list written by several threads would share cache lines, and the copies are made where
    // the clips' records were just read); the copies are put in list order afterwards.
    struct PartResult {
        std::vector<char> marks;
        QList<ClipboardItem> items;
    };
    std::vector<PartResult> results(parts);
    auto search = [&](size_t part) {
        PartResult& result = results[part];
        const std::vector<qsizetype>& positions = candidates[part];
        ClipboardSearch::markMatches(items, positions, criteria, now, timeZone, *m_caches[part], result.marks);
        result.items.reserve(std::count(result.marks.cbegin(), result.marks.cend(), char(1)));
        for (size_t k = 0; k < positions.size(); ++k) {
            if (result.marks[k])
                result.items.append(items.at(positions[k]));
        }
    };
    if (count < parallelThreshold) {
        for (size_t part = 0; part < parts; ++part)
            search(part);
    } else {
        std::latch done(std::ptrdiff_t(parts - 1));
        for (size_t part = 1; part < parts; ++part) {
            m_pool.start([&search, &done, part] {
                search(part);
                done.count_down();
            });
        }
        search(0);
        done.wait();
    }

    qsizetype total = 0;
    for (const PartResult& result : results)
        total += result.items.size();
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
        next[part] = results[part].items.data();
    QList<ClipboardItem> result;
    result.reserve(total);
    for (const quint8 part : owner) {
        if (part)
            result.append(std::move(*next[part - 1]++));
    }
    return result;
}

} // namespace tolvi
