#pragma once

#include <QString>

// Text measures shared by the archive checks, board names and the store's per-clip limits.
namespace tolvi::TextLimits {

// True when nothing is left after trimming white space and line breaks at both ends.
bool isBlank(const QString& text);

// The most UTF-16 code units a text may hold per character of its limit. The longest emoji
// sequences (a kiss or a couple with two skin tones) take 15 code units for one character, and
// writing systems that stack marks take fewer; a longer cluster is one made to look small
// ("e" followed by millions of accents counts as one character).
inline constexpr qint64 maximumCodeUnitsPerCharacter = 16;

// True when the text has more than `limit` user-perceived characters (extended grapheme
// clusters), or more than `limit` times maximumCodeUnitsPerCharacter UTF-16 code units. Counts no
// further than needed, so a huge text is refused without segmenting all of it.
bool exceedsCharacterLimit(const QString& text, qint64 limit);

// The form under which two names compare equal ignoring case and diacritics, with no locale:
// canonical decomposition, combining marks removed, full case folding. Compatibility forms stay
// apart (a full-width letter is not its half-width one).
QString caseAndDiacriticFolded(const QString& text);

// True when any code point is a control (Cc) or format (Cf) character.
bool hasControlOrFormatCharacter(const QString& text);

} // namespace tolvi::TextLimits
