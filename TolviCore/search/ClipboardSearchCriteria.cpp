#include "TolviCore/search/ClipboardSearchCriteria.h"

#include "TolviCore/text/TextCharacters.h"

#include <array>

namespace tolvi {

namespace {

constexpr std::array<const char16_t*, 5> contentRawValues = {u"all", u"text", u"images", u"links", u"code"};
constexpr std::array<const char16_t*, 4> dateRawValues = {u"anyTime", u"today", u"last7Days", u"last30Days"};

} // namespace

namespace ClipboardSearchFilters {

const QList<ClipboardSearchContentFilter>& allContentFilters()
{
    static const QList<ClipboardSearchContentFilter> filters = {
        ClipboardSearchContentFilter::all,   ClipboardSearchContentFilter::text, ClipboardSearchContentFilter::images,
        ClipboardSearchContentFilter::links, ClipboardSearchContentFilter::code,
    };
    return filters;
}

const QList<ClipboardSearchDateFilter>& allDateFilters()
{
    static const QList<ClipboardSearchDateFilter> filters = {
        ClipboardSearchDateFilter::anyTime, ClipboardSearchDateFilter::today, ClipboardSearchDateFilter::last7Days,
        ClipboardSearchDateFilter::last30Days,
    };
    return filters;
}

QString rawValue(ClipboardSearchContentFilter filter)
{
    return QString::fromUtf16(contentRawValues[std::size_t(filter)]);
}

QString rawValue(ClipboardSearchDateFilter filter)
{
    return QString::fromUtf16(dateRawValues[std::size_t(filter)]);
}

std::optional<ClipboardSearchContentFilter> contentFilter(QStringView raw)
{
    for (std::size_t i = 0; i < contentRawValues.size(); ++i) {
        if (raw == QStringView(contentRawValues[i]))
            return ClipboardSearchContentFilter(i);
    }
    return std::nullopt;
}

std::optional<ClipboardSearchDateFilter> dateFilter(QStringView raw)
{
    for (std::size_t i = 0; i < dateRawValues.size(); ++i) {
        if (raw == QStringView(dateRawValues[i]))
            return ClipboardSearchDateFilter(i);
    }
    return std::nullopt;
}

} // namespace ClipboardSearchFilters

bool ClipboardSearchCriteria::hasActiveQuery() const
{
    return !TextCharacters::trimmedWhitespaceAndNewlines(query).isEmpty();
}

bool ClipboardSearchCriteria::hasActiveNonQueryFilters() const
{
    return contentFilter != ClipboardSearchContentFilter::all || scope.kind() != ClipboardSearchScope::Kind::all
           || dateFilter != ClipboardSearchDateFilter::anyTime || requiresOCRText || sourceAppIdentifier.has_value();
}

} // namespace tolvi
