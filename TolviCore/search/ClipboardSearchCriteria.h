#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace tolvi {

// Which kind of content a clip must hold.
enum class ClipboardSearchContentFilter { all, text, images, links, code };

// How recent a clip must be.
enum class ClipboardSearchDateFilter { anyTime, today, last7Days, last30Days };

// The filter values in the order the views list them, their raw values (the case names) and the
// way back from a raw value (nothing for an unknown one).
namespace ClipboardSearchFilters {

const QList<ClipboardSearchContentFilter>& allContentFilters();
const QList<ClipboardSearchDateFilter>& allDateFilters();

QString rawValue(ClipboardSearchContentFilter filter);
QString rawValue(ClipboardSearchDateFilter filter);
std::optional<ClipboardSearchContentFilter> contentFilter(QStringView rawValue);
std::optional<ClipboardSearchDateFilter> dateFilter(QStringView rawValue);

} // namespace ClipboardSearchFilters

// Which part of the history is searched: one board, everything, the pinned clips or every image.
class ClipboardSearchScope {
public:
    enum class Kind { pinboard, all, pinned, screenshots };

    static ClipboardSearchScope pinboard(const QUuid& boardID) { return ClipboardSearchScope(Kind::pinboard, boardID); }
    static ClipboardSearchScope all() { return ClipboardSearchScope(Kind::all); }
    static ClipboardSearchScope pinned() { return ClipboardSearchScope(Kind::pinned); }
    static ClipboardSearchScope screenshots() { return ClipboardSearchScope(Kind::screenshots); }

    Kind kind() const { return kind_; }
    // The board of a pinboard scope; a null id for the other scopes.
    const QUuid& boardID() const { return boardID_; }

    friend bool operator==(const ClipboardSearchScope& a, const ClipboardSearchScope& b) = default;

private:
    explicit ClipboardSearchScope(Kind kind, QUuid boardID = QUuid()) : kind_(kind), boardID_(boardID) {}
    Kind kind_;
    QUuid boardID_;
};

// What the history window and the compact panel filter the history by.
struct ClipboardSearchCriteria {
    ClipboardSearchCriteria(QString query, ClipboardSearchContentFilter contentFilter, ClipboardSearchScope scope,
                            ClipboardSearchDateFilter dateFilter, bool requiresOCRText,
                            std::optional<QString> sourceAppIdentifier = std::nullopt)
        : query(std::move(query)),
          contentFilter(contentFilter),
          scope(scope),
          dateFilter(dateFilter),
          requiresOCRText(requiresOCRText),
          sourceAppIdentifier(std::move(sourceAppIdentifier))
    {
    }

    QString query;
    ClipboardSearchContentFilter contentFilter;
    ClipboardSearchScope scope;
    ClipboardSearchDateFilter dateFilter;
    bool requiresOCRText;
    std::optional<QString> sourceAppIdentifier;

    // The query holds something besides white space and line breaks.
    bool hasActiveQuery() const;
    // Any filter other than the query is set (an empty source identifier counts as set).
    bool hasActiveNonQueryFilters() const;
    bool hasAnyFilter() const { return hasActiveQuery() || hasActiveNonQueryFilters(); }

    friend bool operator==(const ClipboardSearchCriteria& a, const ClipboardSearchCriteria& b) = default;
};

} // namespace tolvi
