#include "TolviCore/text/TextCharacters.h"

#include <QTextBoundaryFinder>

#include <algorithm>

#include <emmintrin.h>

#include <unicode/casemap.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf8.h>
#include <unicode/ustring.h>


namespace tolvi::TextCharacters {

namespace {

const UChar* icuChars(QStringView text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

// Runs an ICU string function that writes into a buffer, growing the buffer once when the
// result does not fit. Returns the text unchanged when ICU reports an error.
template <typename Mapper>
QString mapWithICU(QStringView text, Mapper&& mapper)
{
    if (text.isEmpty())
        return QString();
    QString result(text.size() + text.size() / 8 + 8, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = mapper(reinterpret_cast<UChar*>(result.data()), int32_t(result.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result = QString(length, Qt::Uninitialized);
        status = U_ZERO_ERROR;
        length = mapper(reinterpret_cast<UChar*>(result.data()), int32_t(result.size()), &status);
    }
    if (U_FAILURE(status))
        return text.toString();
    result.truncate(length);
    return result;
}

bool usesTurkicCasing(const QLocale& locale)
{
    return locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani;
}

} // namespace

struct CharacterBoundaries::Finder {
    QTextBoundaryFinder finder;
};

CharacterBoundaries::CharacterBoundaries(QStringView text) : text_(text) {}

CharacterBoundaries::~CharacterBoundaries() = default;

qsizetype CharacterBoundaries::next(qsizetype position)
{
    const qsizetype n = text_.size();
    if (position + 1 >= n)
        return n;
    const char16_t c = text_[position].unicode();
    const char16_t d = text_[position + 1].unicode();
    if (c < 0x300 && d < 0x300 && !(c == u'\r' && d == u'\n'))
        return position + 1;
    if (!finder_)
        finder_.reset(new Finder{QTextBoundaryFinder(QTextBoundaryFinder::Grapheme, text_.data(), text_.size())});
    finder_->finder.setPosition(position);
    const qsizetype end = finder_->finder.toNextBoundary();
    return end < 0 ? n : end;
}

bool isAlphabetic(char32_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    return u_hasBinaryProperty(UChar32(c), UCHAR_ALPHABETIC);
}

bool extendsPreviousCharacter(char32_t c)
{
    if (c < 0x300)
        return false;
    const int value = u_getIntPropertyValue(UChar32(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return value == U_GCB_EXTEND || value == U_GCB_ZWJ || value == U_GCB_SPACING_MARK;
}

bool continuesCharacterAt(QStringView text, qsizetype index)
{
    if (index >= text.size() || text[index].unicode() < 0x300)
        return false;
    return extendsPreviousCharacter(codePointAt(text, index));
}

QStringView trimmedWhitespaceAndNewlines(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin].unicode()))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

QStringView trimmedWhitespace(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespace(text[begin].unicode()))
        ++begin;
    while (end > begin && isWhitespace(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

QStringView trimmedNewlines(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isNewline(text[begin].unicode()))
        ++begin;
    while (end > begin && isNewline(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

qsizetype characterCount(QStringView text, qsizetype stopAfter)
{
    CharacterBoundaries walker(text);
    qsizetype count = 0;
    qsizetype position = 0;
    while (position < text.size() && (stopAfter < 0 || count < stopAfter)) {
        position = walker.next(position);
        ++count;
    }
    return count;
}

QStringView characterPrefix(QStringView text, qsizetype count)
{
    if (count <= 0)
        return text.first(0);
    CharacterBoundaries walker(text);
    qsizetype position = 0;
    for (qsizetype i = 0; i < count && position < text.size(); ++i)
        position = walker.next(position);
    return text.first(position);
}

QByteArray icuLocaleName(const QLocale& locale)
{
    return locale.name().toLatin1();
}

QString upperCased(QStringView text)
{
    return mapWithICU(text, [&](UChar* out, int32_t capacity, UErrorCode* status) {
        return u_strToUpper(out, capacity, icuChars(text), int32_t(text.size()), "", status);
    });
}

QString lowerCased(QStringView text)
{
    return mapWithICU(text, [&](UChar* out, int32_t capacity, UErrorCode* status) {
        return u_strToLower(out, capacity, icuChars(text), int32_t(text.size()), "", status);
    });
}

QString lowerCased(QStringView text, const QLocale& locale)
{
    const QByteArray name = icuLocaleName(locale);
    return mapWithICU(text, [&](UChar* out, int32_t capacity, UErrorCode* status) {
        return u_strToLower(out, capacity, icuChars(text), int32_t(text.size()), name.constData(), status);
    });
}

QString upperCasedCharacter(QStringView character)
{
    if (character.size() == 1) {
        const char16_t c = character[0].unicode();
        if (c < 0x80)
            return QString(QChar(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c));
    }
    return upperCased(character);
}

namespace {

// Full title-case mapping of one code point, without lower-casing anything around it.
QString titleCasedCodePoint(char32_t c, const char* localeName)
{
    const QString single = QString::fromUcs4(&c, 1);
    return mapWithICU(single, [&](UChar* out, int32_t capacity, UErrorCode* status) {
        return icu::CaseMap::toTitle(localeName,
                                     U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_BREAK_ADJUSTMENT
                                         | U_TITLECASE_NO_LOWERCASE,
                                     nullptr, icuChars(single), int32_t(single.size()), out, capacity, nullptr,
                                     *status);
    });
}

} // namespace

QString titleCased(QStringView text, const QLocale& locale)
{
    const QByteArray name = icuLocaleName(locale);
    const QString lowered = lowerCased(text, locale);

    // Title-case forms of the ASCII letters in this locale (the Turkic i differs).
    QString asciiTitle[26];
    for (int i = 0; i < 26; ++i)
        asciiTitle[i] = titleCasedCodePoint(char32_t(u'a' + i), name.constData());

    QString result;
    result.reserve(lowered.size() + 16);
    const qsizetype n = lowered.size();
    const QChar* s = lowered.constData();
    bool seekingFirstLetter = true;
    for (qsizetype i = 0; i < n;) {
        const char32_t c = codePointAt(lowered, i);
        const qsizetype width = c > 0xFFFF ? 2 : 1;
        if (isWhitespaceOrNewline(c)) {
            seekingFirstLetter = true;
            result.append(s[i]);
        } else if (seekingFirstLetter && u_hasBinaryProperty(UChar32(c), UCHAR_ALPHABETIC)) {
            seekingFirstLetter = false;
            if (c >= u'a' && c <= u'z')
                result.append(asciiTitle[c - u'a']);
            else if (c < 0x80)
                result.append(s[i]);
            else
                result.append(titleCasedCodePoint(c, name.constData()));
        } else {
            result.append(s + i, width);
        }
        i += width;
    }
    return result;
}

QString caseFolded(QStringView text, const QLocale& locale)
{
    const uint32_t options = usesTurkicCasing(locale) ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
    return mapWithICU(text, [&](UChar* out, int32_t capacity, UErrorCode* status) {
        return u_strFoldCase(out, capacity, icuChars(text), int32_t(text.size()), options, status);
    });
}

bool foldsToItselfBeyondAscii(std::string_view utf8)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = int32_t(std::min<std::size_t>(utf8.size(), INT32_MAX));
    for (int32_t i = 0; i < length;) {
        // ASCII goes by sixteen bytes at a time.
        if (i + 16 <= length) {
            const auto high = unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i))));
            if (high == 0) {
                i += 16;
                continue;
            }
            i += int32_t(__builtin_ctz(high));
        } else if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0 || u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_CASEFOLDED))
            return false;
        // Below U+0300 every character has NFC's quick check yes and combines with nothing.
        if (c >= 0x300
            && (u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) != UNORM_YES || u_getCombiningClass(c) != 0))
            return false;
    }
    return true;
}

QString caseAndDiacriticFolded(QStringView text, const QLocale& locale)
{
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    const qsizetype n = decomposed.size();
    for (qsizetype i = 0; i < n;) {
        const char32_t c = codePointAt(decomposed, i);
        const qsizetype width = c > 0xFFFF ? 2 : 1;
        if (c < 0x300 || u_charType(UChar32(c)) != U_NON_SPACING_MARK)
            stripped.append(decomposed.constData() + i, width);
        i += width;
    }
    return lowerCased(caseFolded(stripped, locale));
}

bool isPictograph(char32_t c)
{
    // Every pictograph lies at or above U+00A9 (the copyright sign).
    return c >= 0xA9
        && (u_hasBinaryProperty(UChar32(c), UCHAR_EXTENDED_PICTOGRAPHIC)
            || u_hasBinaryProperty(UChar32(c), UCHAR_EMOJI_MODIFIER));
}

bool holdsPictograph(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i].unicode() < 0xA9)
            continue;
        const char32_t c = codePointAt(text, i);
        if (isPictograph(c))
            return true;
        if (c > 0xFFFF)
            ++i;
    }
    return false;
}

qsizetype characterPieceEnd(QStringView text, qsizetype from, qsizetype maxLength)
{
    return characterPieceEnd(text, from, maxLength, piecePictographs);
}

qsizetype characterPieceEnd(QStringView text, qsizetype from, qsizetype maxLength, int maxPictographs)
{
    const qsizetype size = text.size();
    if (from >= size)
        return size;
    const qsizetype limit = std::min(size, from + std::max<qsizetype>(maxLength, 1));
    qsizetype at = from;
    int pictographs = 0;
    while (at < limit) {
        const char32_t c = codePointAt(text, at);
        const qsizetype width = c > 0xFFFF ? 2 : 1;
        if (at + width > limit)
            break;
        if (isPictograph(c) && ++pictographs > maxPictographs)
            break;
        at += width;
    }
    if (at == from)
        at = std::min(size, from + (codePointAt(text, from) > 0xFFFF ? 2 : 1));
    return at;
}

QString withVisibleBidiControls(const QString& text)
{
    const char16_t* data = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    qsizetype first = 0;
    while (first < n && !bidiControlMark(data[first]))
        ++first;
    if (first == n)
        return text;
    QString shown = text;
    for (qsizetype i = first; i < n; ++i) {
        if (const char16_t mark = bidiControlMark(data[i]))
            shown[i] = QChar(mark);
    }
    return shown;
}

} // namespace tolvi::TextCharacters
