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

    // Each clip belongs to the part its id names, whatever its place in the list (the ids are
    // random, so their first bits spread the clips evenly).
    std::vector<QList<ClipboardItem>> inputs(parts);
    std::vector<std::vector<qsizetype>> positions(parts);
    for (auto& input : inputs)
        input.reserve(items.size() / qsizetype(parts) + 16);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const size_t part = size_t(items[i].id().data1) % parts;
        inputs[part].append(items[i]);
        positions[part].push_back(i);
    }

    std::vector<QList<ClipboardItem>> matches(parts);
    auto search = [&](size_t part) {
        matches[part] = ClipboardSearch::filter(inputs[part], criteria, now, timeZone, *m_caches[part]);
    };
    if (items.size() < parallelThreshold) {
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

    // A part's matches keep its input order: walk both to find each match's place.
    std::vector<char> matched(size_t(items.size()), 0);
    qsizetype total = 0;
    for (size_t part = 0; part < parts; ++part) {
        const QList<ClipboardItem>& input = inputs[part];
        qsizetype at = 0;
        for (const ClipboardItem& match : matches[part]) {
            while (at < input.size() && input[at].id() != match.id())
                ++at;
            if (at == input.size())
                break;
            matched[size_t(positions[part][size_t(at)])] = 1;
            ++at;
            ++total;
        }
    }
    QList<ClipboardItem> result;
    result.reserve(total);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (matched[size_t(i)])
            result.append(items[i]);
    }
    return result;
}

} // namespace tolvi
