#pragma once

#include <QString>

// Text measures shared by the archive checks, board names and the store's per-clip limits.
namespace tolvi::TextLimits {

// True when nothing is left after trimming white space and line breaks at both ends.
bool isBlank(const QString& text);

// True when the text has more than `limit` user-perceived characters (extended grapheme
// clusters). Counts no further than needed, so a huge text is refused without segmenting all of it.
bool exceedsCharacterLimit(const QString& text, qint64 limit);

// The form under which two names compare equal ignoring case and diacritics, with no locale:
// canonical decomposition, combining marks removed, full case folding. Compatibility forms stay
// apart (a full-width letter is not its half-width one).
QString caseAndDiacriticFolded(const QString& text);

// True when any code point is a control (Cc) or format (Cf) character.
bool hasControlOrFormatCharacter(const QString& text);

} // namespace tolvi::TextLimits
