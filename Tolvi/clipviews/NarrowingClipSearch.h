#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimeZone>

namespace tolvi {

// A clip list's search as the user types: the results of the latest queries are kept while the
// clips and the filters stay the same. A query that contains an earlier one can only match fewer
// clips, so typing on searches the earlier result only, and deleting characters finds its result
// again. Date-bound filters are never kept (the time moves on). The searching itself is the
// shared PartitionedClipSearch's. Main thread only.
class NarrowingClipSearch {
public:
    // `filters`: everything besides the query that decides the result (the clips' generation and
    // every filter); a different value forgets the kept results.
    QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                                const QTimeZone& timeZone, const QString& filters);

    static constexpr qsizetype keptResultLimit = 16;

private:
    struct RecentResult {
        QByteArray foldedQuery;
        QList<ClipboardItem> items;
    };
    QList<RecentResult> m_recentResults;
    QString m_filters;
};

} // namespace tolvi
