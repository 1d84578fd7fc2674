#include "TolviCore/model/UnicodeText.h"

#include <QTextBoundaryFinder>

#include <emmintrin.h>

namespace tolvi::UnicodeText {

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

QString canonicalForm(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool hasLoneSurrogates(const QString& text)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

QString replacingLoneSurrogates(const QString& text)
{
    if (!hasLoneSurrogates(text))
        return text;
    QString result = text;
    QChar* s = result.data();
    const qsizetype n = result.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        s[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}

namespace {

// Whether the 16 units at `s` are all ASCII (SSE2, which every x86-64 has).
bool asciiBlock(const QChar* s)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
    const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xff80)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xffff;
}

} // namespace

qsizetype utf8Length(const QString& text)
{
    const qsizetype n = text.size();
    const QChar* s = text.constData();
    qsizetype bytes = 0;
    qsizetype i = 0;
    constexpr qsizetype block = 16;
    while (i < n) {
        // Most text is ASCII: a unit a byte, sixteen at a time.
        if (n - i >= block && asciiBlock(s + i)) {
            bytes += block;
            i += block;
            continue;
        }
        const qsizetype end = std::min(n, i + block);
        for (; i < end; ++i) {
            const char16_t c = s[i].unicode();
            if (c < 0x80)
                bytes += 1;
            else if (c < 0x800)
                bytes += 2;
            else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1].isLowSurrogate()) {
                bytes += 4;
                ++i;
            } else
                bytes += 3;
        }
    }
    return bytes;
}

qsizetype characterCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace tolvi::UnicodeText
