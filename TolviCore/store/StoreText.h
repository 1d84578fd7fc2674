#pragma once

#include <QString>

namespace tolvi::StoreText {

// True when nothing is left after trimming white space and line breaks at both ends.
bool isBlank(const QString& text);

// True when the text has more than `limit` user-perceived characters (extended grapheme
// clusters). Counts no further than needed, so a huge text is refused without segmenting all of it.
bool exceedsCharacterLimit(const QString& text, qint64 limit);

} // namespace tolvi::StoreText
