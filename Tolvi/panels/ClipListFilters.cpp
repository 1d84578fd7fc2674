#include "Tolvi/panels/ClipListFilters.h"

namespace tolvi {

namespace {

template <typename T>
bool assignChanged(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

bool ClipListFilters::setQuery(const QString& value)
{
    return assignChanged(query, value);
}

bool ClipListFilters::setContentFilter(ClipboardSearchContentFilter value)
{
    return assignChanged(contentFilter, value);
}

bool ClipListFilters::setDateFilter(ClipboardSearchDateFilter value)
{
    return assignChanged(dateFilter, value);
}

bool ClipListFilters::setRequiresOCRText(bool value)
{
    return assignChanged(requiresOCRText, value);
}

bool ClipListFilters::narrowsBeyondQuery() const
{
    return contentFilter != ClipboardSearchContentFilter::all || dateFilter != ClipboardSearchDateFilter::anyTime
        || requiresOCRText;
}

void ClipListFilters::clearBeyondQuery()
{
    contentFilter = ClipboardSearchContentFilter::all;
    dateFilter = ClipboardSearchDateFilter::anyTime;
    requiresOCRText = false;
}

QString ClipListFilters::cacheKey() const
{
    return QStringLiteral("%1|%2|%3").arg(int(contentFilter)).arg(int(dateFilter)).arg(requiresOCRText);
}

namespace FilteredClips {

bool idsChanged(const QList<ClipboardItem>& before, const QList<ClipboardItem>& now)
{
    if (now.isSharedWith(before))
        return false;
    if (now.size() != before.size())
        return true;
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (!now.at(i).sharesDataWith(before.at(i)) && now.at(i).id() != before.at(i).id())
            return true;
    }
    return false;
}

int rowOf(const QList<ClipboardItem>& items, const QUuid& id)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).id() == id)
            return int(i);
    }
    return -1;
}

std::optional<QUuid> settledSelection(const QList<ClipboardItem>& items, const std::optional<QUuid>& selected)
{
    if (items.isEmpty())
        return std::nullopt;
    if (selected && rowOf(items, *selected) >= 0)
        return selected;
    return items.first().id();
}

} // namespace FilteredClips

} // namespace tolvi
