#include "Tolvi/inspector/IncrementalCharacterCount.h"

#include "Tolvi/inspector/TextChange.h"
#include "TolviCore/model/UnicodeText.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace tolvi {

namespace {

// Characters that form a cluster of their own with anything but combining marks and joiners
// after them: no clustering rule joins them with what precedes, none looks back past them, and
// none of them is a combining mark, joiner, prepended mark, emoji, regional indicator or jamo.
bool isStandalone(char16_t c)
{
    return (c >= 0x20 && c <= 0x7E)         // ASCII
        || (c >= 0xC0 && c <= 0x24F)        // Latin-1 letters, Latin Extended-A and -B
        || (c >= 0x391 && c <= 0x3A9)       // Greek capitals
        || (c >= 0x3B1 && c <= 0x3C9)       // Greek small letters
        || (c >= 0x410 && c <= 0x44F)       // Cyrillic
        || (c >= 0x5D0 && c <= 0x5EA)       // Hebrew letters
        || (c >= 0x621 && c <= 0x64A)       // Arabic letters
        || (c >= 0x3041 && c <= 0x3096)     // Hiragana
        || (c >= 0x30A1 && c <= 0x30FA)     // Katakana
        || (c >= 0x4E00 && c <= 0x9FFF)     // CJK unified ideographs
        || (c >= 0xAC00 && c <= 0xD7A3);    // Hangul syllables
}

// Scripts whose clusters Qt works out per run of text with rules of their own (a run reaches
// across spaces, digits and line breaks): a text holding any of them is always counted whole.
bool isTailoredScript(char16_t c)
{
    return (c >= 0x0E00 && c <= 0x0FFF)     // Thai, Lao, Tibetan
        || (c >= 0x1000 && c <= 0x109F)     // Myanmar
        || (c >= 0x1780 && c <= 0x17FF)     // Khmer
        || (c >= 0x19E0 && c <= 0x19FF)     // Khmer symbols
        || (c >= 0xA9E0 && c <= 0xA9FF)     // Myanmar Extended-B
        || (c >= 0xAA60 && c <= 0xAA7F);    // Myanmar Extended-A
}


// Controls and line or paragraph separators: a cluster boundary lies before and after each
// (except inside CR LF).
bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

qsizetype countRange(const QString& text, qsizetype from, qsizetype to)
{
    if (to <= from)
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData() + from, to - from);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace

bool IncrementalCharacterCount::holdsTailoredScript(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isTailoredScript(c.unicode()); });
}

bool isDefiniteCharacterBoundary(QStringView text, qsizetype position)
{
    if (position <= 0 || position >= text.size())
        return true;
    const char16_t before = text[position - 1].unicode();
    const char16_t after = text[position].unicode();
    if (before == u'\r' && after == u'\n')
        return false;
    if (isControl(before) || isControl(after))
        return true;
    return isStandalone(before) && isStandalone(after);
}

qsizetype IncrementalCharacterCount::countInPieces(const QString& text)
{
    if (text.size() <= countedPieceLength || holdsTailoredScript(text))
        return UnicodeText::characterCount(text);
    qsizetype count = 0;
    qsizetype from = 0;
    const qsizetype n = text.size();
    while (from < n) {
        qsizetype to = std::min(n, from + countedPieceLength);
        const qsizetype limit = std::min(n, to + searchLimit);
        while (to < limit && !isDefiniteCharacterBoundary(text, to))
            ++to;
        if (!isDefiniteCharacterBoundary(text, to))
            to = n; // one character of thousands of code points: the rest is counted whole
        count += countRange(text, from, to);
        from = to;
    }
    return count;
}

qsizetype IncrementalCharacterCount::count(const QString& text)
{
    auto countWhole = [this, &text] {
        m_text = text;
        m_count = countInPieces(text);
        m_tailored = holdsTailoredScript(text);
        return m_count;
    };
    if (m_count < 0 || m_tailored)
        return countWhole();
    const qsizetype oldLength = m_text.size();
    const qsizetype newLength = text.size();
    const TextChange change = TextChange::between(m_text, text);
    if (change.isNone(m_text, text)) {
        m_text = text;
        return m_count;
    }
    const qsizetype prefix = change.prefix;
    const qsizetype suffix = change.suffix;

    // The stretch that changed, widened on both sides to boundaries that lie in the common
    // parts (so they are boundaries of both versions alike).
    qsizetype start = prefix > 0 ? prefix - 1 : 0;
    const qsizetype startLimit = std::max<qsizetype>(0, start - searchLimit);
    while (start > startLimit && !isDefiniteCharacterBoundary(text, start))
        --start;
    qsizetype end = suffix > 0 ? newLength - suffix + 1 : newLength;
    const qsizetype endLimit = std::min(newLength, end + searchLimit);
    while (end < endLimit && !isDefiniteCharacterBoundary(text, end))
        ++end;
    if (!isDefiniteCharacterBoundary(text, start) || !isDefiniteCharacterBoundary(text, end)
        || holdsTailoredScript(QStringView(text).mid(start, end - start)))
        return countWhole();
    const qsizetype oldEnd = end - newLength + oldLength;
    m_count += countRange(text, start, end) - countRange(m_text, start, oldEnd);
    m_text = text;
    return m_count;
}

void IncrementalCharacterCount::seed(const QString& text, qsizetype count, bool tailored)
{
    m_text = text;
    m_count = count;
    m_tailored = tailored;
}

void IncrementalCharacterCount::reset()
{
    m_text.clear();
    m_count = -1;
    m_tailored = false;
}

} // namespace tolvi
