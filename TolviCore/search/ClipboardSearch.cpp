#include "TolviCore/search/ClipboardSearch.h"

#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"
#include "TolviCore/search/PackedClipTexts.h"
#include "TolviCore/text/TextCharacters.h"

#include <QDateTime>

#include <array>
#include <cmath>

namespace tolvi::ClipboardSearch {

namespace {

// QDateTime covers far more than this; beyond it a time is treated as impossible to place.
constexpr double maximumUnixMilliseconds = 8.64e15;

struct DateBounds {
    std::optional<double> lower;
    std::optional<double> upper;
};

std::optional<QDateTime> localDateTime(double referenceSeconds, const QTimeZone& timeZone)
{
    const double ms = std::floor(ReferenceDate::toUnixSeconds(referenceSeconds) * 1000.0);
    if (!std::isfinite(ms) || std::fabs(ms) > maximumUnixMilliseconds)
        return std::nullopt;
    QDateTime dateTime = QDateTime::fromMSecsSinceEpoch(qint64(ms), timeZone);
    if (!dateTime.isValid())
        return std::nullopt;
    return dateTime;
}

double referenceSeconds(const QDateTime& dateTime)
{
    return ReferenceDate::fromUnixSeconds(double(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

// `now` moved back by whole calendar days at the same wall-clock time (so across a
// daylight-saving change the distance is not a multiple of 24 hours); `now` itself when the
// calendar cannot place it.
double daysBefore(double now, int days, const QTimeZone& timeZone)
{
    const std::optional<QDateTime> current = localDateTime(now, timeZone);
    if (!current)
        return now;
    const QDateTime earlier = current->addDays(-days);
    if (!earlier.isValid())
        return now;
    // Apply the calendar's offset to the exact time rather than the millisecond-rounded one.
    return now + double(earlier.toMSecsSinceEpoch() - current->toMSecsSinceEpoch()) / 1000.0;
}

DateBounds dateBounds(ClipboardSearchDateFilter filter, double now, const QTimeZone& timeZone)
{
    switch (filter) {
    case ClipboardSearchDateFilter::anyTime:
        return {};
    case ClipboardSearchDateFilter::today: {
        const std::optional<QDateTime> current = localDateTime(now, timeZone);
        if (!current)
            return {now, std::nullopt};
        const QDate day = current->date();
        const QDateTime start = day.startOfDay(timeZone);
        const QDateTime end = day.addDays(1).startOfDay(timeZone);
        DateBounds bounds;
        bounds.lower = start.isValid() ? referenceSeconds(start) : now;
        if (end.isValid())
            bounds.upper = referenceSeconds(end);
        return bounds;
    }
    case ClipboardSearchDateFilter::last7Days:
        return {daysBefore(now, 7, timeZone), std::nullopt};
    case ClipboardSearchDateFilter::last30Days:
        return {daysBefore(now, 30, timeZone), std::nullopt};
    }
    return {};
}

// How many clips ahead of the one being looked at the next clips' records are fetched (and half
// as many ahead, their texts; in a pack, whose records stand one after another, the texts as far
// ahead).
constexpr qsizetype prefetchDistance = 8;

struct PreparedCriteria {
    const ClipboardSearchCriteria& criteria;
    ClipboardSearchTextCache::Query query; // empty when there is none
    DateBounds bounds;
};

bool hasUsableRecognizedText(const ClipboardItem& item)
{
    const ClipboardImage* image = item.content().imageIf();
    return image && image->recognizedText()
           && !TextCharacters::trimmedWhitespaceAndNewlines(*image->recognizedText()).isEmpty();
}

bool passesScope(const ClipboardItem& item, const ClipboardSearchScope& scope)
{
    switch (scope.kind()) {
    case ClipboardSearchScope::Kind::pinboard:
        return item.pinboardIDs().contains(scope.boardID());
    case ClipboardSearchScope::Kind::all:
        return true;
    case ClipboardSearchScope::Kind::pinned:
        return item.isPinned();
    case ClipboardSearchScope::Kind::screenshots:
        return item.content().isImage();
    }
    return false;
}

// Whether a search reads the clips' records for anything besides their texts.
bool readsItems(const ClipboardSearchCriteria& criteria, const DateBounds& bounds)
{
    return criteria.scope.kind() != ClipboardSearchScope::Kind::all || criteria.sourceAppIdentifier
           || bounds.lower || bounds.upper || criteria.requiresOCRText;
}

// The filters besides the query and the kind of content.
bool passesItemFilters(const PreparedCriteria& prepared, const ClipboardItem& item)
{
    const ClipboardSearchCriteria& criteria = prepared.criteria;
    if (!passesScope(item, criteria.scope))
        return false;
    if (criteria.sourceAppIdentifier) {
        const auto& app = item.sourceApp();
        if (!app)
            return false;
        const QString& identifier = app->bundleIdentifier() ? *app->bundleIdentifier() : app->name();
        if (identifier != *criteria.sourceAppIdentifier)
            return false;
    }
    // Written so that a time that is not a number fails every bound.
    if (prepared.bounds.lower && !(item.createdAt() >= *prepared.bounds.lower))
        return false;
    if (prepared.bounds.upper && !(item.createdAt() < *prepared.bounds.upper))
        return false;
    if (criteria.requiresOCRText && !hasUsableRecognizedText(item))
        return false;
    return true;
}

bool preparedMatch(const PreparedCriteria& prepared, const ClipboardItem& item, ClipboardSearchTextCache::Pass& pass)
{
    if (!passesItemFilters(prepared, item))
        return false;
    switch (prepared.criteria.contentFilter) {
    case ClipboardSearchContentFilter::all:
        break;
    case ClipboardSearchContentFilter::text:
        if (!item.content().isText())
            return false;
        break;
    case ClipboardSearchContentFilter::images:
        if (!item.content().isImage())
            return false;
        break;
    case ClipboardSearchContentFilter::links:
        if (!pass.isWebURL(item))
            return false;
        break;
    case ClipboardSearchContentFilter::code:
        if (!pass.looksLikeCode(item))
            return false;
        break;
    }

    if (prepared.query.isEmpty())
        return true;
    return pass.contains(item, prepared.query);
}

PreparedCriteria prepare(const ClipboardSearchCriteria& criteria, double now, const QTimeZone& timeZone,
                         const QLocale& locale)
{
    PreparedCriteria prepared{criteria, {}, dateBounds(criteria.dateFilter, now, timeZone)};
    const QStringView query = TextCharacters::trimmedWhitespaceAndNewlines(criteria.query);
    if (!query.isEmpty())
        prepared.query = ClipboardSearchTextCache::Query(query, locale);
    return prepared;
}

} // namespace

QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                            const QTimeZone& timeZone, ClipboardSearchTextCache& cache)
{
    if (!criteria.hasActiveQuery() && !criteria.hasActiveNonQueryFilters())
        return items;
    ClipboardSearchTextCache::Pass pass(cache);
    const PreparedCriteria prepared = prepare(criteria, now, timeZone, pass.locale());
    QList<ClipboardItem> result;
    const qsizetype count = items.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (i + prefetchDistance < count)
            ClipboardSearchTextCache::Pass::prefetch(items.at(i + prefetchDistance));
        if (i + prefetchDistance / 2 < count)
            ClipboardSearchTextCache::Pass::prefetchText(items.at(i + prefetchDistance / 2));
        if (preparedMatch(prepared, items.at(i), pass))
            result.append(items.at(i));
    }
    return result;
}

void markMatches(const QList<ClipboardItem>& items, const std::vector<qsizetype>& candidates,
                 const ClipboardSearchCriteria& criteria, double now, const QTimeZone& timeZone,
                 ClipboardSearchTextCache& cache, std::vector<char>& matched)
{
    matched.assign(candidates.size(), 1);
    if (!criteria.hasActiveQuery() && !criteria.hasActiveNonQueryFilters())
        return;
    ClipboardSearchTextCache::Pass pass(cache);
    const PreparedCriteria prepared = prepare(criteria, now, timeZone, pass.locale());
    for (size_t k = 0; k < candidates.size(); ++k) {
        if (k + prefetchDistance < candidates.size())
            ClipboardSearchTextCache::Pass::prefetch(items.at(candidates[k + prefetchDistance]));
        if (k + prefetchDistance / 2 < candidates.size())
            ClipboardSearchTextCache::Pass::prefetchText(items.at(candidates[k + prefetchDistance / 2]));
        matched[k] = preparedMatch(prepared, items.at(candidates[k]), pass) ? 1 : 0;
    }
}

QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                            const QTimeZone& timeZone)
{
    return filter(items, criteria, now, timeZone, ClipboardSearchTextCache::shared());
}

bool matches(const ClipboardItem& item, const ClipboardSearchCriteria& criteria, double now,
             const QTimeZone& timeZone)
{
    ClipboardSearchTextCache::Pass pass(ClipboardSearchTextCache::shared());
    return preparedMatch(prepare(criteria, now, timeZone, pass.locale()), item, pass);
}

struct PackedSearch::Prepared {
    PreparedCriteria criteria;
    bool usable;
};

PackedSearch::PackedSearch(const PackedClipTexts& pack, const ClipboardSearchCriteria& criteria, double now,
                           const QTimeZone& timeZone)
    : pack_(pack)
{
    const QLocale locale;
    prepared_.reset(new Prepared{prepare(criteria, now, timeZone, locale), locale.name() == pack.localeName()});
    readsItems_ = readsItems(criteria, prepared_->criteria.bounds);
}

PackedSearch::~PackedSearch() = default;

bool PackedSearch::isUsable() const
{
    return prepared_->usable;
}

void PackedSearch::match(const quint32* places, quint32 first, quint32 last, std::vector<quint32>& matched) const
{
    const PreparedCriteria& prepared = prepared_->criteria;
    const ClipboardSearchContentFilter content = prepared.criteria.contentFilter;
    const ClipboardSearchTextCache::Query& query = prepared.query;
    const QList<ClipboardItem>& items = pack_.items();
    std::string joint;
    for (quint32 k = first; k < last; ++k) {
        const quint32 place = places ? places[k] : k;
        if (k + prefetchDistance < last)
            pack_.prefetch(places ? places[k + prefetchDistance] : k + prefetchDistance);
        if (readsItems_ && !passesItemFilters(prepared, items.at(place)))
            continue;
        switch (content) {
        case ClipboardSearchContentFilter::all:
            break;
        case ClipboardSearchContentFilter::text:
            if (pack_.isImage(place))
                continue;
            break;
        case ClipboardSearchContentFilter::images:
            if (!pack_.isImage(place))
                continue;
            break;
        case ClipboardSearchContentFilter::links:
            if (!pack_.isWebURL(place))
                continue;
            break;
        case ClipboardSearchContentFilter::code:
            if (!pack_.looksLikeCode(place))
                continue;
            break;
        }
        if (query.isEmpty() || pack_.contains(place, query, joint))
            matched.push_back(k);
    }
}

bool looksLikeCode(QStringView text)
{
    // Every token is ASCII, so finding it among UTF-16 code units is finding its bytes in UTF-8.
    static constexpr std::array<QStringView, 6> tokens = {u"```", u"func ", u"let ", u"const ", u"=>", u"</"};
    const QStringView trimmed = TextCharacters::trimmedWhitespaceAndNewlines(text);
    if (trimmed.isEmpty())
        return false;
    for (QStringView token : tokens) {
        if (trimmed.contains(token))
            return true;
    }
    return trimmed.contains(u'{') && trimmed.contains(u'}');
}

} // namespace tolvi::ClipboardSearch
