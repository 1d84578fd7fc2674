#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QStringView>
#include <QTimeZone>

#include <memory>
#include <vector>

namespace tolvi {

class ClipboardSearchTextCache;
class PackedClipTexts;

// Which clips match search criteria. Times are seconds since 2001-01-01 00:00:00 UTC, as clips
// keep them; day boundaries are those of `timeZone`. The query is matched without regard to
// case in the current locale's rules (diacritics count) against the clip's searchable text: its
// content's search text, then its source application's name and bundle identifier.
//
// Folded clip texts are kept in a ClipboardSearchTextCache between calls (the shared one unless
// another is given), so that filtering on every keystroke folds only clips that changed.
namespace ClipboardSearch {

// The clips that match, in input order. With an empty query and no other filter the input list
// itself comes back (shared, not copied).
QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                            const QTimeZone& timeZone = QTimeZone::systemTimeZone());
QList<ClipboardItem> filter(const QList<ClipboardItem>& items, const ClipboardSearchCriteria& criteria, double now,
                            const QTimeZone& timeZone, ClipboardSearchTextCache& cache);

// Marks, for each of the `candidates` (positions in `items`), whether its clip matches: matched
// becomes as long as the candidates, and matched[k] is 1 or 0 for candidates[k]. For searching
// parts of one list side by side, each part with its own cache and its own marks.
void markMatches(const QList<ClipboardItem>& items, const std::vector<qsizetype>& candidates,
                 const ClipboardSearchCriteria& criteria, double now, const QTimeZone& timeZone,
                 ClipboardSearchTextCache& cache, std::vector<char>& matched);
bool matches(const ClipboardItem& item, const ClipboardSearchCriteria& criteria, double now,
             const QTimeZone& timeZone = QTimeZone::systemTimeZone());

// A search of the clips of a PackedClipTexts, worked out once and then run over runs of the
// pack's clips, on any number of threads at once. It matches what filter() matches, and reads a
// clip's record in the list only for the filters besides the query and the kind of content. The
// criteria and the pack are read, not copied: they outlive the search.
class PackedSearch {
public:
    PackedSearch(const PackedClipTexts& pack, const ClipboardSearchCriteria& criteria, double now,
                 const QTimeZone& timeZone);
    ~PackedSearch();
    PackedSearch(const PackedSearch&) = delete;
    PackedSearch& operator=(const PackedSearch&) = delete;

    // Whether the pack can be searched so: it was folded in the locale searches use now.
    bool isUsable() const;
    // Appends to `matched` each k of [first, last) whose clip matches: the pack's clip at
    // places[k], or at k itself when there are no places.
    void match(const quint32* places, quint32 first, quint32 last, std::vector<quint32>& matched) const;

private:
    struct Prepared;
    const PackedClipTexts& pack_;
    std::unique_ptr<const Prepared> prepared_;
    bool readsItems_ = false;
};

// Whether a text looks like program code: after trimming it contains one of "```", "func ",
// "let ", "const ", "=>", "</", or both a "{" and a "}".
bool looksLikeCode(QStringView text);

} // namespace ClipboardSearch
} // namespace tolvi
