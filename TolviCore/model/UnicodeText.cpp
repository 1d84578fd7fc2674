#include "TolviCore/model/UnicodeText.h"

#include <QTextBoundaryFinder>

#include <emmintrin.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>

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

qsizetype utf16Length(QByteArrayView utf8)
{
    // A code unit for every byte that begins a character, and a second for each of four bytes.
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto size = std::size_t(utf8.size());
    std::size_t at = 0;
    // Sixteen bytes at a time, counted in each lane (a match is -1 there: up to two a round), the
    // lanes summed every 127 rounds at most.
    // As signed bytes, every byte that begins a character compares above the last continuation byte.
    const __m128i lastContinuation = _mm_set1_epi8(char(0xBF));
    const __m128i firstOfFour = _mm_set1_epi8(char(0xF0));
    __m128i sums = _mm_setzero_si128();
    while (at + 16 <= size) {
        __m128i counts = _mm_setzero_si128();
        for (int round = 0; round < 127 && at + 16 <= size; ++round, at += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
            counts = _mm_sub_epi8(counts, _mm_cmpgt_epi8(chunk, lastContinuation));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(_mm_max_epu8(chunk, firstOfFour), chunk));
        }
        sums = _mm_add_epi64(sums, _mm_sad_epu8(counts, _mm_setzero_si128()));
    }
    std::size_t units =
        std::size_t(_mm_cvtsi128_si64(sums)) + std::size_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    for (; at < size; ++at) {
        units += (bytes[at] & 0xC0) != 0x80;
        units += bytes[at] >= 0xF0;
    }
    return qsizetype(units);
}

bool isCanonical(QByteArrayView utf8)
{
    // Below U+0300 (0xCC 0x80) no character decomposes or composes with another.
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto size = std::size_t(utf8.size());
    const __m128i lastPlain = _mm_set1_epi8(char(0xCB));
    __m128i plain = _mm_set1_epi8(-1);
    std::size_t at = 0;
    for (; at + 16 <= size; at += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        plain = _mm_and_si128(plain, _mm_cmpeq_epi8(_mm_min_epu8(chunk, lastPlain), chunk));
    }
    bool allPlain = _mm_movemask_epi8(plain) == 0xFFFF;
    for (; at < size && allPlain; ++at)
        allPlain = bytes[at] < 0xCC;
    if (allPlain)
        return true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status) && utf8.size() <= INT32_MAX) {
        const bool normalized = nfc->isNormalizedUTF8(icu::StringPiece(utf8.data(), int32_t(utf8.size())), status);
        if (U_SUCCESS(status))
            return normalized;
    }
    const QString text = QString::fromUtf8(utf8);
    return canonicalForm(text) == text;
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
