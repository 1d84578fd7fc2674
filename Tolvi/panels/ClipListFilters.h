#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tolvi {

// The search text and filters a clip window narrows the history with. Each setter says whether
// the value changed, so the window recomputes its list only when it must.
struct ClipListFilters {
    QString query;
    ClipboardSearchContentFilter contentFilter = ClipboardSearchContentFilter::all;
    ClipboardSearchDateFilter dateFilter = ClipboardSearchDateFilter::anyTime;
    bool requiresOCRText = false;

    bool setQuery(const QString& value);
    bool setContentFilter(ClipboardSearchContentFilter value);
    bool setDateFilter(ClipboardSearchDateFilter value);
    bool setRequiresOCRText(bool value);

    // Whether any filter but the search text narrows the list.
    bool narrowsBeyondQuery() const;
    // Puts every filter but the search text back to showing everything.
    void clearBeyondQuery();
    // The filters as one text, for telling cached results apart.
    QString cacheKey() const;
};

// What the two windows' filtered clip lists have in common: where a clip stands and which clip a
// selection settles on.
namespace FilteredClips {

// Whether any row of `now` holds another clip than the same row of `before`.
bool idsChanged(const QList<ClipboardItem>& before, const QList<ClipboardItem>& now);
// The row that holds the clip, or -1.
int rowOf(const QList<ClipboardItem>& items, const QUuid& id);
// The clip a selection settles on: the selected one while it is listed, else the first; none for
// an empty list.
std::optional<QUuid> settledSelection(const QList<ClipboardItem>& items, const std::optional<QUuid>& selected);

} // namespace FilteredClips

} // namespace tolvi
