#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <memory>
#include <string_view>

namespace tolvi {

// Character classes, trimming, grapheme counting and case mapping shared by the text transforms,
// the search and the clip formatter. "Characters" are user-perceived characters (extended
// grapheme clusters); the classes below are tested on code points.
namespace TextCharacters {

// Unicode White_Space: the space separators, tab, U+000A to U+000D, U+0085, U+2028, U+2029.
inline bool isWhitespaceOrNewline(char32_t c)
{
    if (c < 0x80)
        return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029
           || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The line-break characters: U+000A to U+000D, U+0085, U+2028 and U+2029.
inline bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// White space without line breaks: the space separators and the tab.
inline bool isWhitespace(char32_t c)
{
    return isWhitespaceOrNewline(c) && !isNewline(c);
}

// True when the code point joins the character before it (grapheme Extend, ZWJ or SpacingMark),
// so that for example a blank followed by a combining accent is one character, not a blank.
bool extendsPreviousCharacter(char32_t c);

// True when the code point at `index` (a UTF-16 offset) begins a mark that joins the character
// before it. False at the end of the text.
bool continuesCharacterAt(QStringView text, qsizetype index);

QStringView trimmedWhitespaceAndNewlines(QStringView text);
QStringView trimmedWhitespace(QStringView text);
QStringView trimmedNewlines(QStringView text);

// Unicode Alphabetic property.
bool isAlphabetic(char32_t c);

// The code point that begins at a UTF-16 offset (an unpaired surrogate stands for itself).
inline char32_t codePointAt(QStringView text, qsizetype index)
{
    const char16_t c = text[index].unicode();
    if (QChar::isHighSurrogate(c) && index + 1 < text.size() && text[index + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[index + 1].unicode());
    return c;
}

// Where a piece of one huge user-perceived character (thousands of combining marks, or of emoji
// joined by U+200D) ends when the character is shown cut into pieces: at most `maxLength` code
// units after `from`, and after at most `maxPictographs` (`piecePictographs`) pictographs, never
// inside a surrogate pair; at least one code point after `from` (the end of the text at most).
// Laying out a piece measures every glyph in it: a pictograph of a colour emoji font is a picture
// decoded for each measurement, so such a piece holds no more of them than about one line of any
// view shows.
qsizetype characterPieceEnd(QStringView text, qsizetype from, qsizetype maxLength);
qsizetype characterPieceEnd(QStringView text, qsizetype from, qsizetype maxLength, int maxPictographs);
constexpr int piecePictographs = 16;
// The pictographs of a piece in the views that show each piece on lines of its own (the editors
// and the inspector): a screenful of such a view shows a few of them a line, not lines full of
// them, each decoded to lay it out.
constexpr int shownPiecePictographs = 4;
// An emoji pictograph or skin-tone modifier (Extended_Pictographic or Emoji_Modifier).
bool isPictograph(char32_t c);
// True when the text holds a pictograph.
bool holdsPictograph(QStringView text);

// Walks a text character by character. Text below U+0300 is walked without the boundary
// finder: two such code points always have a boundary between them unless they are CR and LF.
class CharacterBoundaries {
public:
    explicit CharacterBoundaries(QStringView text);
    ~CharacterBoundaries();
    CharacterBoundaries(const CharacterBoundaries&) = delete;
    CharacterBoundaries& operator=(const CharacterBoundaries&) = delete;

    // The end of the character that begins at `position` (a boundary).
    qsizetype next(qsizetype position);

private:
    struct Finder;
    QStringView text_;
    std::unique_ptr<Finder> finder_;
};

// The visible mark that stands for a bidirectional formatting character (the embeddings,
// overrides, isolates and their ends, and the LRM, RLM and ALM marks), or 0 for any other: a
// text shown with its controls in effect can read differently from the text pasted (an RLO
// shows "exe.txt" for "txt.exe"). One UTF-16 unit for one, so positions stay where they were.
// Leftward controls show a leftward dashed arrow, rightward ones a rightward one, the first
// strong isolate a two-way arrow and the ends an arrow to a bar.
inline char16_t bidiControlMark(char16_t c)
{
    switch (c) {
    case 0x200E: // LRM
    case 0x202A: // LRE
    case 0x202D: // LRO
    case 0x2066: // LRI
        return 0x21E2;
    case 0x200F: // RLM
    case 0x061C: // ALM
    case 0x202B: // RLE
    case 0x202E: // RLO
    case 0x2067: // RLI
        return 0x21E0;
    case 0x2068: // FSI
        return 0x21F9;
    case 0x202C: // PDF
    case 0x2069: // PDI
        return 0x21E4;
    default:
        return 0;
    }
}

// The text with every bidirectional formatting character replaced by its mark (the same length).
QString withVisibleBidiControls(const QString& text);

// Number of characters, counting no further than `stopAfter` (pass -1 to count them all).
qsizetype characterCount(QStringView text, qsizetype stopAfter = -1);

// The first `count` characters of the text (all of it when it has fewer).
QStringView characterPrefix(QStringView text, qsizetype count);

// Unicode default full case mapping, independent of the locale ("ß" upper-cases to "SS", a
// final sigma lower-cases to "ς").
QString upperCased(QStringView text);
QString lowerCased(QStringView text);
QString lowerCased(QStringView text, const QLocale& locale);

// Full upper-case mapping of one character.
QString upperCasedCharacter(QStringView character);

// Capitalises the first letter of every word and lower-cases the other letters in the locale's
// rules. Words are delimited by white space and line breaks.
QString titleCased(QStringView text, const QLocale& locale);

// Full Unicode case folding ("ß" folds to "ss") with the locale's rules for the dotted and
// dotless i, without any normalisation.
QString caseFolded(QStringView text, const QLocale& locale);

// Whether folding well-formed UTF-8 text's case, in any locale, and composing it (NFC) leaves
// every character beyond ASCII as it is: true when each of them is one that case folding does not
// change, that stands as it is in NFC whatever comes before or after it. (ASCII letters are left
// to the caller: folding lower-cases them, but for the capital I in Turkic languages.)
bool foldsToItselfBeyondAscii(std::string_view utf8);

// Folds case and removes diacritics: canonical decomposition, nonspacing marks dropped, full case
// folding, lower case.
QString caseAndDiacriticFolded(QStringView text, const QLocale& locale);

// The name of the locale as ICU expects it ("en_US").
QByteArray icuLocaleName(const QLocale& locale);

} // namespace TextCharacters
} // namespace tolvi
