#include "Tolvi/clipviews/NarrowingClipSearch.h"

#include "Tolvi/clipviews/PartitionedClipSearch.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/text/TextCharacters.h"

#include <QLocale>

namespace tolvi {

QList<ClipboardItem> NarrowingClipSearch::filter(const QList<ClipboardItem>& items,
                                                 const ClipboardSearchCriteria& criteria, double now,
                                                 const QTimeZone& timeZone, const QString& filters)
{
    const bool dateBound = criteria.dateFilter != ClipboardSearchDateFilter::anyTime;
    if (dateBound || filters != m_filters) {
        m_recentResults.clear();
        m_filters = filters;
    }
    if (dateBound)
        return PartitionedClipSearch::shared().filter(items, criteria, now, timeZone);

    const QByteArray folded = ClipboardSearchTextCache::foldedForMatching(
        TextCharacters::trimmedWhitespaceAndNewlines(criteria.query), QLocale());
    const RecentResult* narrowest = nullptr;
    for (const RecentResult& recent : std::as_const(m_recentResults)) {
        if (recent.foldedQuery == folded)
            return recent.items;
        if (folded.contains(recent.foldedQuery)
            && (!narrowest || recent.foldedQuery.size() > narrowest->foldedQuery.size()))
            narrowest = &recent;
    }
    QList<ClipboardItem> result =
        PartitionedClipSearch::shared().filter(narrowest ? narrowest->items : items, criteria, now, timeZone);
    if (m_recentResults.size() >= keptResultLimit)
        m_recentResults.removeFirst();
    m_recentResults.append({folded, result});
    return result;
}

} // namespace tolvi
