#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QList>
#include <QStringView>
#include <QTimeZone>

#include <vector>

namespace tolvi {

class ClipboardSearchTextCache;

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

// Whether a text looks like program code: after trimming it contains one of "```", "func ",
// "let ", "const ", "=>", "</", or both a "{" and a "}".
bool looksLikeCode(QStringView text);

} // namespace ClipboardSearch
} // namespace tolvi
