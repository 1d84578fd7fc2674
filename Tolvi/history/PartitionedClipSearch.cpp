#include "Tolvi/history/PartitionedClipSearch.h"

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
}

PartitionedClipSearch::~PartitionedClipSearch()
{
    m_pool.waitForDone();
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

    // Each clip belongs to the part its id names, whatever list it is in (the whole history or an
    // earlier result) and wherever it stands there: the ids are random, so their first bits
    // spread the clips evenly. The parts read the clips in place.
    const qsizetype count = items.size();
    std::vector<std::vector<qsizetype>> candidates(parts);
    for (auto& part : candidates)
        part.reserve(size_t(count) / parts + 16);
    for (qsizetype i = 0; i < count; ++i)
        candidates[size_t(items.at(i).id().data1) % parts].push_back(i);

    std::vector<char> matched(size_t(count), 0);
    auto search = [&](size_t part) {
        ClipboardSearch::markMatches(items, candidates[part], criteria, now, timeZone, *m_caches[part], matched);
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

    const qsizetype total = std::count(matched.cbegin(), matched.cend(), char(1));
    if (total == count)
        return items;
    QList<ClipboardItem> result;
    result.reserve(total);
    for (qsizetype i = 0; i < count; ++i) {
        if (matched[size_t(i)])
            result.append(items.at(i));
    }
    return result;
}

} // namespace tolvi
